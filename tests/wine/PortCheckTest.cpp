// The port check's threads under Wine: the schedule's bounds carried out against steps that hang,
// and real opens of ports.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Environment.h"
#include "WineTestSupport.h"
#include "common/Failure.h"
#include "platform/win32/PortCheckWorkers.h"

namespace velmaris {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

constexpr UINT kCheckMessage = WM_APP + 1;
constexpr UINT_PTR kCheckTimer = 1;
// Keeps the window's thread waking, so that any wait of the check on it would show.
constexpr UINT_PTR kHeartbeat = 2;
constexpr UINT kHeartbeatMs = 10;
constexpr DWORD kUndecided = MAXDWORD;

std::string Described(const PortCheckResult& result) {
  static const char* const kStates[] = {"Free",        "InUse", "Gone",      "NoAnswer",
                                        "DriverFails", "Error", "NotChecked"};
  return "COM" + std::to_string(result.port) + " " + kStates[static_cast<int>(result.state)] + " " +
         std::to_string(result.error);
}

std::vector<std::string> Described(const std::vector<PortCheckResult>& results) {
  std::vector<std::string> described;
  for (const PortCheckResult& result : results) described.push_back(Described(result));
  return described;
}

// What the window's thread saw of a check; times in ms from the moment before its start.
struct Watch {
  DWORD startedAt = GetTickCount();
  DWORD lastMessageAt = startedAt;
  DWORD longestWaitMs = 0;  // the longest the thread went without a message, Start included
  std::vector<DWORD> decidedAtMs;
  int completions = 0;
  DWORD completedAtMs = 0;
  std::vector<std::string> results;  // as they were at the completion
};

// The window thread's message loop for `forMs`, handing the check its message and its timer as
// the window procedure does.
void Pump(PortCheckWorkers& check, HWND window, DWORD forMs, Watch& watch) {
  SetTimer(window, kHeartbeat, kHeartbeatMs, nullptr);
  const DWORD end = GetTickCount() + forMs;
  MSG message;
  while (static_cast<LONG>(end - GetTickCount()) > 0 && GetMessageW(&message, nullptr, 0, 0) > 0) {
    const DWORD now = GetTickCount();
    watch.longestWaitMs = std::max(watch.longestWaitMs, now - watch.lastMessageAt);
    watch.lastMessageAt = now;
    bool complete = false;
    if (message.hwnd == window && message.message == kCheckMessage) {
      complete = check.OnMessage(message.message, message.wParam, message.lParam);
    } else if (message.hwnd == window && message.message == WM_TIMER) {
      complete = check.OnTimer(message.wParam);
    } else {
      DispatchMessageW(&message);
    }
    const std::vector<PortCheckResult> results = check.Results();
    watch.decidedAtMs.resize(results.size(), kUndecided);
    for (size_t i = 0; i < results.size(); ++i) {
      if (watch.decidedAtMs[i] == kUndecided &&
          (complete || results[i].state != PortState::NotChecked)) {
        watch.decidedAtMs[i] = now - watch.startedAt;
      }
    }
    if (complete) {
      ++watch.completions;
      watch.completedAtMs = now - watch.startedAt;
      watch.results = Described(results);
    }
  }
  KillTimer(window, kHeartbeat);
}

using SharedHandle = std::shared_ptr<void>;

SharedHandle ManualEvent() {
  return SharedHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr), CloseHandle);
}

// Answers the ports in `answers` at once; any other port hangs until `release` is set, and then
// opens. The opener holds the event, since a given-up worker may outlive the test.
PortOpener HangingOpener(std::map<int16_t, uint32_t> answers, SharedHandle release) {
  return [answers, release](int16_t port) -> uint32_t {
    const auto answer = answers.find(port);
    if (answer != answers.end()) return answer->second;
    WaitForSingleObject(release.get(), INFINITE);
    return 0;
  };
}

// A reading that finds nothing, at once; the check then opens `ports`.
WindowsDevicesReader NothingToRead() {
  return [] { return WindowsDevices{}; };
}
PortChooser Ports(std::vector<int16_t> ports) {
  return [ports](const WindowsDevices&) { return ports; };
}

class PortCheckWorkersTest : public ::testing::Test {
 protected:
  test::HiddenWindow window_;
};

// The program's own bounds, carried out by real threads: each open gets its time, one
// after another, a fresh worker each; at the cap the open under way has had no answer either, and
// the ports not reached are not checked.
TEST_F(PortCheckWorkersTest, OpensThatAllHangAreGivenUpOneByOneUntilTheWholeTimeIsUp) {
  const SharedHandle release = ManualEvent();
  constexpr ScheduleTimes kTimes = {};
  PortCheckWorkers check(window_.get(), kCheckMessage, kCheckTimer, HangingOpener({}, release),
                         kTimes);
  Watch watch;
  EXPECT_EQ(check.Start(NothingToRead(), Ports({1, 2, 3, 4, 5, 6, 7, 8})), 0u);
  Pump(check, window_.get(), kTimes.checkMs + 600, watch);
  SetEvent(release.get());

  EXPECT_EQ(watch.completions, 1);
  EXPECT_THAT(watch.results, ElementsAre("COM1 NoAnswer 0", "COM2 NoAnswer 0", "COM3 NoAnswer 0",
                                         "COM4 NoAnswer 0", "COM5 NoAnswer 0", "COM6 NoAnswer 0",
                                         "COM7 NotChecked 0", "COM8 NotChecked 0"));
  ASSERT_EQ(watch.decidedAtMs.size(), 8u);
  for (size_t i = 0; i < 5; ++i) {
    const DWORD took = watch.decidedAtMs[i] - (i == 0 ? 0 : watch.decidedAtMs[i - 1]);
    EXPECT_GE(took, kTimes.openMs - 20) << "COM" << i + 1;
    EXPECT_LT(took, kTimes.openMs + 200) << "COM" << i + 1;
  }
  EXPECT_GE(watch.completedAtMs, kTimes.checkMs);
  EXPECT_LT(watch.completedAtMs, kTimes.checkMs + 300);
  EXPECT_LT(watch.longestWaitMs, 250u) << "the window's thread stays free";
}

// A reading that hangs is given up in its time: no port is opened, and what Windows sees says
// why. The reading ends later on its own.
TEST_F(PortCheckWorkersTest, AReadingThatHangsIsGivenUpAndNoPortIsOpened) {
  const SharedHandle release = ManualEvent();
  constexpr ScheduleTimes kTimes = {300};
  int opens = 0;
  PortCheckWorkers check(
      window_.get(), kCheckMessage, kCheckTimer,
      [&opens](int16_t) {
        ++opens;
        return 0u;
      },
      kTimes);
  Watch watch;
  EXPECT_EQ(check.Start(
                [release] {
                  WaitForSingleObject(release.get(), INFINITE);
                  return WindowsDevices{};
                },
                Ports({1})),
            0u);
  Pump(check, window_.get(), 600, watch);
  EXPECT_EQ(watch.completions, 1);
  EXPECT_GE(watch.completedAtMs, kTimes.readingMs);
  EXPECT_LT(watch.completedAtMs, kTimes.readingMs + 150);
  EXPECT_LT(watch.longestWaitMs, 250u) << "the window's thread stays free";
  const WindowsDevices devices = check.Devices();
  ASSERT_EQ(devices.unread.size(), 1u);
  EXPECT_EQ(devices.unread[0].fact, DeviceFact::All);
  EXPECT_EQ(devices.unread[0].description, ReadingOutOfTime(kTimes.readingMs));

  SetEvent(release.get());
  Pump(check, window_.get(), 200, watch);
  EXPECT_EQ(watch.completions, 1) << "the late reading changes nothing";
  EXPECT_TRUE(check.Results().empty());
  EXPECT_EQ(opens, 0);
}

TEST_F(PortCheckWorkersTest, AnOpenThatHangsIsNoAnswerAndTheLaterPortsAreStillChecked) {
  const SharedHandle release = ManualEvent();
  constexpr uint32_t kOpenMs = 300;
  PortCheckWorkers check(window_.get(), kCheckMessage, kCheckTimer,
                         HangingOpener({{1, 2}, {3, 0}, {4, 5}}, release),
                         {kReadingMs, kOpenMs, 5000});
  Watch watch;
  check.Start(NothingToRead(), Ports({1, 2, 3, 4}));
  EXPECT_THROW(check.Start(NothingToRead(), Ports({1})), Failure) << "one check at a time";
  Pump(check, window_.get(), 1000, watch);

  const std::vector<std::string> expected = {"COM1 Gone 2", "COM2 NoAnswer 0", "COM3 Free 0",
                                             "COM4 InUse 5"};
  EXPECT_EQ(watch.completions, 1);
  EXPECT_THAT(watch.results, ElementsAreArray(expected));
  ASSERT_EQ(watch.decidedAtMs.size(), 4u);
  EXPECT_GE(watch.decidedAtMs[1], kOpenMs - 20);
  EXPECT_LT(watch.decidedAtMs[1], kOpenMs + 150);
  EXPECT_LT(watch.completedAtMs, kOpenMs + 250);
  EXPECT_LT(watch.longestWaitMs, 250u) << "the window's thread stays free";

  // The hung open returns late, and opens: the port stays as judged, and no completion follows.
  SetEvent(release.get());
  Pump(check, window_.get(), 300, watch);
  EXPECT_EQ(watch.completions, 1);
  EXPECT_THAT(Described(check.Results()), ElementsAreArray(expected));

  // A check that has completed lets the next one start. Its worker goes from open to open
  // while the window's thread is busy elsewhere, which hears only of the end.
  Watch next;
  check.Start(NothingToRead(), Ports({3, 1, 4}));
  Sleep(200);
  const std::vector<std::string> nextExpected = {"COM3 Free 0", "COM1 Gone 2", "COM4 InUse 5"};
  EXPECT_THAT(Described(check.Results()), ElementsAreArray(nextExpected));
  Pump(check, window_.get(), 300, next);
  EXPECT_EQ(next.completions, 1);
  EXPECT_THAT(next.results, ElementsAreArray(nextExpected));

  // A check dropped while its open hangs is not waited for: its worker ends later on its own.
  const SharedHandle hang = ManualEvent();
  const DWORD dropping = GetTickCount();
  {
    PortCheckWorkers dropped(window_.get(), kCheckMessage, kCheckTimer, HangingOpener({}, hang));
    dropped.Start(NothingToRead(), Ports({5}));
    Sleep(20);
  }
  EXPECT_LT(GetTickCount() - dropping, 100u);
  SetEvent(hang.get());
  Sleep(50);
}

// wine-com-links makes the ports: the first opens, and the second is held here without sharing,
// as another program would hold it. COM250 has no link, nor a /dev/ttyS249 behind it.
TEST_F(PortCheckWorkersTest, RealPortsOpenFreeInUseOrGone) {
  const std::string links = test::RequiredEnvironment("VELMARIS_COM_LINKS");
  const auto free = static_cast<int16_t>(std::stoi(links));
  const auto held = static_cast<int16_t>(std::stoi(links.substr(links.find(',') + 1)));
  const std::wstring heldName = L"\\\\.\\COM" + std::to_wstring(held);
  const SharedHandle holding(CreateFileW(heldName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                         OPEN_EXISTING, 0, nullptr),
                             CloseHandle);
  ASSERT_NE(holding.get(), INVALID_HANDLE_VALUE) << "error " << GetLastError();

  PortCheckWorkers check(window_.get(), kCheckMessage, kCheckTimer);
  Watch watch;
  check.Start(NothingToRead(), Ports({free, held, 250}));
  Pump(check, window_.get(), 1000, watch);
  EXPECT_EQ(watch.completions, 1);
  EXPECT_THAT(watch.results,
              ElementsAre("COM" + std::to_string(free) + " Free 0",
                          "COM" + std::to_string(held) + " InUse 32", "COM250 Gone 2"));
  EXPECT_LT(watch.completedAtMs, 500u);
  EXPECT_EQ(OpenAndClosePort(free), 0u) << "the check let the port go";
}

}  // namespace
}  // namespace velmaris
