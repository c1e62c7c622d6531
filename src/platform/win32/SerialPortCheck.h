#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/PortCheck.h"

namespace velmaris {

// Opens one port: the Windows error, or 0 for a port that opened (and was closed again).
using PortOpener = std::function<uint32_t(int16_t port)>;

// Opens \\.\COMn for reading and writing, unshared, and closes it at once: no configuration,
// nothing read or written. It can block for as long as the port's driver takes.
uint32_t OpenAndClosePort(int16_t port);

struct PortCheckTimes {
  uint32_t openMs = kPortOpenMs;
  uint32_t checkMs = kPortCheckMs;
  // How often the window's thread looks at the open under way.
  uint32_t watchMs = 50;
};

// The port check of the shell. The opens run on a worker thread, one port after another; the
// window's thread times them, since an open cannot be made asynchronous, and stays free meanwhile.
// The worker's one contact with the window is posting `message` to it as each result comes in;
// the watch is a timer of the window's, with the id `timer`. The window procedure hands both to
// OnMessage and OnTimer, and the check is complete when one of them answers true, once per check.
//
// A worker whose open is judged as no answer is given up: its late result is ignored, it ends
// when its open returns, and a fresh worker takes the next port. Nothing ever waits for a worker,
// so a blocked one does not hold the window or the program's end.
class SerialPortCheck : public PortCheck {
 public:
  SerialPortCheck(HWND window, UINT message, UINT_PTR timer, PortOpener opener = OpenAndClosePort,
                  PortCheckTimes times = {});
  ~SerialPortCheck() override;
  SerialPortCheck(const SerialPortCheck&) = delete;
  SerialPortCheck& operator=(const SerialPortCheck&) = delete;

  // Throws Failure while a check runs, or when its watch or its worker cannot be started.
  void Start(const std::vector<int16_t>& ports) override;
  // Before completion, the ports not decided yet are NotChecked.
  std::vector<PortCheckResult> Results() override;

  // True when the check has just completed; false for anything else, other messages included.
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  bool OnTimer(UINT_PTR timer);

 private:
  struct Shared;
  struct Ticket;
  static DWORD WINAPI Work(void* ticket);
  bool Judge();
  bool StartWorker();
  void Stop();

  HWND window_;
  UINT message_;
  UINT_PTR timer_;
  PortOpener opener_;
  PortCheckTimes times_;
  std::shared_ptr<Shared> shared_;  // the running or last check's; its workers share it
  DWORD startedAt_ = 0;
  bool running_ = false;
};

}  // namespace velmaris
