// An hour of one-second ticks in the core, three times over: a connected unit, a scan that never
// ends (every port opens, no unit answers) and a component whose every call fails. The program's
// live heap allocations after the hour must be what they were after a short warm-up.

#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <new>

#include "Fakes.h"
#include "app/frmQel.h"
#include "link/PortScan.h"

namespace {

// Live allocations and bytes through operator new in this program, counted by the replacements
// below. Everything runs on one thread.
long liveAllocations = 0;
long liveBytes = 0;

void* Allocate(std::size_t size) {
  void* memory = std::malloc(size == 0 ? 1 : size);
  if (memory == nullptr) throw std::bad_alloc();
  ++liveAllocations;
  liveBytes += static_cast<long>(malloc_usable_size(memory));
  return memory;
}

void Release(void* memory) noexcept {
  if (memory == nullptr) return;
  --liveAllocations;
  liveBytes -= static_cast<long>(malloc_usable_size(memory));
  std::free(memory);
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* memory) noexcept { Release(memory); }
void operator delete[](void* memory) noexcept { Release(memory); }
void operator delete(void* memory, std::size_t) noexcept { Release(memory); }
void operator delete[](void* memory, std::size_t) noexcept { Release(memory); }

namespace velmaris {
namespace {

using fakes::FakeControl;
using fakes::FakeView;

constexpr int kWarmUpTicks = 120;
constexpr int kTicksPerHour = 3600;

struct Heap {
  long allocations;
  long bytes;
};

Heap Now() { return {liveAllocations, liveBytes}; }

struct Soak : ::testing::Test {
  FakeView view;
  FakeControl control;
  fakes::FakePortCheck portCheck;
  fakes::FakeComponentLookup component;
  frmQel form{view,      control,  [] { return int16_t{8}; }, [] { return WindowsDevices{}; },
              portCheck, component};

  // One tick as the shell delivers it. The fake's call log is the test's, not the program's,
  // memory: it is emptied after each tick.
  void Tick() {
    form.Raise(FormEvent::Timer1_Timer);
    control.calls.clear();
  }

  // Loads the window, runs the warm-up and then an hour of ticks; the heap at both points.
  std::pair<Heap, Heap> RunHour() {
    form.Form_Load();
    for (int i = 0; i < kWarmUpTicks; ++i) Tick();
    const Heap warm = Now();
    for (int i = 0; i < kTicksPerHour; ++i) Tick();
    const Heap end = Now();
    std::printf("warm-up: %ld allocations, %ld bytes; after %d ticks: %ld allocations, %ld bytes\n",
                warm.allocations, warm.bytes, kTicksPerHour, end.allocations, end.bytes);
    return {warm, end};
  }
};

TEST_F(Soak, AnHourOfAConnectedUnitKeepsItsMemory) {
  control.defaultPort = 1;
  control.openablePorts = {3};
  control.deviceInfo[3] = fakes::IdentificationArray(
      Value::integer(21, 16, true), Value::text("3.10"), Value::integer(300, 32, true));
  const auto [warm, end] = RunHour();
  EXPECT_EQ(view.status, kConnected);
  EXPECT_TRUE(view.messages.empty());
  EXPECT_TRUE(view.timerEnabled);
  EXPECT_EQ(end.allocations, warm.allocations);
  EXPECT_EQ(end.bytes, warm.bytes);
}

TEST_F(Soak, AnHourOfScanningPortsThatOpenWithoutAnAnswerKeepsItsMemory) {
  control.everyPortOpens = true;
  const auto [warm, end] = RunHour();
  EXPECT_EQ(fakes::ReportLines(view.report).size(), 4u);  // the head only
  EXPECT_TRUE(view.messages.empty());
  EXPECT_GT(control.port, kTicksPerHour / 2) << "the last port tried";
  EXPECT_EQ(end.allocations, warm.allocations);
  EXPECT_EQ(end.bytes, warm.bytes);
}

TEST_F(Soak, AnHourOfAComponentFailingEveryTickKeepsItsMemory) {
  control.failing.emplace("LinkOpen", Failure("QelCtrlInertial", "Error catastrófico"));
  const auto [warm, end] = RunHour();
  EXPECT_EQ(view.messages.size(), 1u);
  EXPECT_EQ(end.allocations, warm.allocations);
  EXPECT_EQ(end.bytes, warm.bytes);
}

}  // namespace
}  // namespace velmaris
