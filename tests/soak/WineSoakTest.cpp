// Minutes of real one-second ticks of VelmarisDiag.exe under Wine with the simulated component:
// the process's GDI and USER object counts, its kernel handle count and its windows are sampled
// every 30 seconds and must not grow beyond a small margin over the first sample.
//
// Wine answers 0 to GetGuiResources and to GetProcessHandleCount for another process. There the
// kernel handles are counted by duplicating every possible handle value out of the process, and
// the windows by enumeration; the GDI and USER counts are checked only where they are reported.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "AppUnderTest.h"

namespace velmaris::e2e {
namespace {

constexpr DWORD kSampleIntervalMs = 30000;
constexpr DWORD kDefaultSoakSeconds = 180;
// Objects a process may gain or lose for reasons of Wine's own (a cached brush, a timer queue).
constexpr long kMargin = 3;

DWORD SoakSeconds() {
  const char* text = std::getenv("VELMARIS_SOAK_SECONDS");
  const long seconds = text != nullptr ? std::atol(text) : 0;
  return seconds > 0 ? static_cast<DWORD>(seconds) : kDefaultSoakSeconds;
}

// The process of a window, opened for queries only, closed with the object.
class ProcessQuery {
 public:
  explicit ProcessQuery(HWND window) {
    GetWindowThreadProcessId(window, &id_);
    process_ = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_DUP_HANDLE, FALSE, id_);
  }
  ~ProcessQuery() {
    if (process_ != nullptr) CloseHandle(process_);
  }
  ProcessQuery(const ProcessQuery&) = delete;
  ProcessQuery& operator=(const ProcessQuery&) = delete;

  HANDLE handle() const { return process_; }
  DWORD id() const { return id_; }

 private:
  DWORD id_ = 0;
  HANDLE process_ = nullptr;
};

// GetProcessHandleCount is looked up at run time: it is not in every Windows the tool targets.
using HandleCountFunction = BOOL(WINAPI*)(HANDLE, PDWORD);
HandleCountFunction HandleCountQuery() {
  return reinterpret_cast<HandleCountFunction>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetProcessHandleCount")));
}

// The process's kernel handles, counted by duplicating each handle value it could hold.
long ProbedHandleCount(HANDLE process) {
  constexpr uintptr_t kHighestProbed = 0x10000;
  long count = 0;
  for (uintptr_t value = 4; value < kHighestProbed; value += 4) {
    HANDLE copy = nullptr;
    if (DuplicateHandle(process, reinterpret_cast<HANDLE>(value), GetCurrentProcess(), &copy, 0,
                        FALSE, DUPLICATE_SAME_ACCESS)) {
      ++count;
      CloseHandle(copy);
    }
  }
  return count;
}

long HandleCount(HANDLE process) {
  DWORD count = 0;
  const HandleCountFunction query = HandleCountQuery();
  if (query != nullptr && query(process, &count) && count > 0) return static_cast<long>(count);
  return ProbedHandleCount(process);
}

struct WindowCount {
  DWORD process;
  long count = 0;
};

BOOL CALLBACK CountWindow(HWND window, LPARAM lParam) {
  auto* windows = reinterpret_cast<WindowCount*>(lParam);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == windows->process) ++windows->count;
  return TRUE;
}

BOOL CALLBACK CountTopLevelWindow(HWND window, LPARAM lParam) {
  auto* windows = reinterpret_cast<WindowCount*>(lParam);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != windows->process) return TRUE;
  ++windows->count;
  EnumChildWindows(window, &CountWindow, lParam);
  return TRUE;
}

long WindowsOf(DWORD process) {
  WindowCount windows{process};
  EnumWindows(&CountTopLevelWindow, reinterpret_cast<LPARAM>(&windows));
  return windows.count;
}

struct Sample {
  DWORD second;
  long gdi;
  long user;
  long handles;
  long windows;
};

Sample Take(const ProcessQuery& process, DWORD second) {
  const Sample sample{second, static_cast<long>(GetGuiResources(process.handle(), GR_GDIOBJECTS)),
                      static_cast<long>(GetGuiResources(process.handle(), GR_USEROBJECTS)),
                      HandleCount(process.handle()), WindowsOf(process.id())};
  std::printf("t=%4lus  GDI %ld  USER %ld  kernel handles %ld  windows %ld\n",
              static_cast<unsigned long>(second), sample.gdi, sample.user, sample.handles,
              sample.windows);
  std::fflush(stdout);
  return sample;
}

// Runs the program on a scenario for the soak's length and checks the counts never grow
// beyond the margin. `ready` says when the run has reached the state to watch.
void Soak(const char* scenario, const std::function<bool(AppUnderTest&)>& ready) {
  AppUnderTest app(AppUnderTest::Options{scenario});
  ASSERT_NE(app.WaitForWindow(), nullptr);
  ASSERT_TRUE(app.WaitUntil([&] { return ready(app); }, 30000)) << Utf8(Text(app.StatusBox()));
  const ProcessQuery process(app.window());
  ASSERT_NE(process.handle(), nullptr) << "cannot open the program's process";

  const DWORD seconds = SoakSeconds();
  const size_t callsBefore = app.Log().size();
  std::vector<Sample> samples = {Take(process, 0)};
  for (DWORD elapsed = 0; elapsed < seconds * 1000;) {
    const DWORD wait = std::min(kSampleIntervalMs, seconds * 1000 - elapsed);
    ASSERT_FALSE(app.WaitForExit(wait)) << "the program ended during the soak";
    elapsed += wait;
    ASSERT_EQ(app.MessageBoxOf(), nullptr) << "a message box came up during the soak";
    samples.push_back(Take(process, elapsed / 1000));
  }

  // Each tick calls the component at least once: the ticks really ran all along.
  EXPECT_GE(app.Log().size(), callsBefore + seconds * 3 / 4) << "too few ticks";

  const Sample& first = samples.front();
  if (first.gdi == 0 && first.user == 0) {
    std::printf(
        "GetGuiResources reads 0 for a process with windows here (Wine): the GDI and "
        "USER object counts are not checked.\n");
  }
  ASSERT_GT(first.handles, 0) << "the program's kernel handles cannot be counted";
  ASSERT_GT(first.windows, 0) << "the program's windows cannot be counted";
  for (const Sample& sample : samples) {
    EXPECT_LE(sample.gdi, first.gdi + kMargin) << "GDI objects at " << sample.second << " s";
    EXPECT_LE(sample.user, first.user + kMargin) << "USER objects at " << sample.second << " s";
    EXPECT_LE(sample.handles, first.handles + kMargin)
        << "kernel handles at " << sample.second << " s";
    EXPECT_LE(sample.windows, first.windows) << "windows at " << sample.second << " s";
  }
}

TEST(WineSoak, ConnectedUnitTicksWithoutGrowingHandles) {
  Soak("com3-unit", [](AppUnderTest& app) { return Text(app.StatusBox()) == L"CONECTADO"; });
}

// Every port opens and nobody answers: the scan goes on for hours, one port every two ticks,
// with a port write, an open, a close and a DeviceInfo read each time.
TEST(WineSoak, EndlessScanTicksWithoutGrowingHandles) {
  Soak("all-open-silent",
       [](AppUnderTest& app) { return app.LogText().find("DeviceInfo") != std::string::npos; });
}

}  // namespace
}  // namespace velmaris::e2e
