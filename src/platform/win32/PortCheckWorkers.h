#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/AfterScanSchedule.h"
#include "platform/PortCheck.h"

namespace velmaris {

// Opens one port: the Windows error, or 0 for a port that opened (and was closed again).
using PortOpener = std::function<uint32_t(int16_t port)>;

// Opens \\.\COMn for reading and writing, unshared, and closes it at once: no configuration,
// nothing read or written. It can block for as long as the port's driver takes.
uint32_t OpenAndClosePort(int16_t port);

// Whether a worker of any check may still be running: one given up ends only when its call into
// Windows returns.
bool WorkersStillRunning();

// The port check's threads. AfterScanSchedule decides every step; this carries its orders out.
// Each step runs on a worker thread, and the thread that has the news tells the schedule: a
// worker its step's outcome, the moment it has it, and the window's thread the time, on each tick
// of a timer (id `timer`). A worker goes on to the next open it is ordered without waiting for the
// window, whose one contact with the workers is `message`, posted once the check is over. The
// window procedure hands both to OnMessage and OnTimer, and the check is complete when one of them
// answers true, once per check.
//
// A worker given up is left to end when its call returns (CancelSynchronousIo is tried where
// Windows has it); its late outcome goes to the schedule, which ignores it. Nothing ever waits
// for a worker, so a blocked one holds neither the window nor the program's end.
class PortCheckWorkers : public PortCheck {
 public:
  PortCheckWorkers(HWND window, UINT message, UINT_PTR timer, PortOpener opener = OpenAndClosePort,
                   ScheduleTimes times = {});
  ~PortCheckWorkers() override;
  PortCheckWorkers(const PortCheckWorkers&) = delete;
  PortCheckWorkers& operator=(const PortCheckWorkers&) = delete;

  // Throws Failure while a check runs.
  uint32_t Start(WindowsDevicesReader read, PortChooser choose) override;
  WindowsDevices Devices() override;
  // Before completion, the ports not decided yet are NotChecked.
  std::vector<PortCheckResult> Results() override;

  // True when the check has just completed; false for anything else, other messages included.
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  bool OnTimer(UINT_PTR timer);

 private:
  struct Check;
  struct Worker;
  static DWORD WINAPI Work(void* worker);
  bool StopIfFinished();

  HWND window_;
  UINT message_;
  UINT_PTR timer_;
  PortOpener opener_;
  ScheduleTimes times_;
  std::shared_ptr<Check> check_;  // the running or last check's, shared with its workers
  bool running_ = false;
};

}  // namespace velmaris
