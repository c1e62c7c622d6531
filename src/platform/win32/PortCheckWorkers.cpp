#include "platform/win32/PortCheckWorkers.h"

#include <optional>
#include <string>
#include <utility>

#include "common/Failure.h"
#include "common/win32/Scoped.h"
#include "common/win32/Utf16.h"

namespace velmaris {

namespace {

// Workers started and not yet at their very end, of every check.
volatile LONG workersRunning = 0;

// Windows XP has no CancelSynchronousIo, and a serial driver may ignore it anyway: it is only
// tried.
void TryToCancelBlockedCall(HANDLE thread) {
  using CancelFunction = BOOL(WINAPI*)(HANDLE);
  static const auto cancel = reinterpret_cast<CancelFunction>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "CancelSynchronousIo")));
  if (cancel != nullptr && thread != nullptr) cancel(thread);
}

}  // namespace

// One check: its schedule and the threads that carry out its orders, shared by the window's
// thread and the workers for as long as one of them still waits in a call. Everything but the
// constants is under `section`.
struct PortCheckWorkers::Check : std::enable_shared_from_this<Check> {
  Check(HWND window, UINT message, WindowsDevicesReader read, PortOpener open,
        AfterScanSchedule schedule)
      : window(window),
        message(message),
        read(std::move(read)),
        open(std::move(open)),
        schedule(std::move(schedule)) {
    InitializeCriticalSection(&section);
  }
  ~Check() { DeleteCriticalSection(&section); }
  Check(const Check&) = delete;
  Check& operator=(const Check&) = delete;

  // True once the schedule has finished.
  bool CarryOut(const std::vector<ScheduleOrder>& orders);
  bool StartWorker(const ScheduleOrder& order);
  void EndWorker(bool givenUp);

  const HWND window;
  const UINT message;
  const WindowsDevicesReader read;
  const PortOpener open;
  CRITICAL_SECTION section;
  AfterScanSchedule schedule;
  std::shared_ptr<Worker> worker;  // the worker whose outcome counts
  bool dropped = false;            // the window no longer waits for the check
};

// One worker thread, which waits for its next step until it is told to end.
struct PortCheckWorkers::Worker {
  Worker(std::shared_ptr<Check> check, unsigned number)
      : check(std::move(check)),
        number(number),
        wake(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

  const std::shared_ptr<Check> check;
  const unsigned number;
  const UniqueHandle wake;  // set when a step or the end is handed over
  // Under the check's section.
  std::optional<ScheduleOrder> step;
  bool end = false;
  UniqueHandle thread;
};

bool PortCheckWorkers::Check::CarryOut(const std::vector<ScheduleOrder>& orders) {
  for (const ScheduleOrder& order : orders) {
    switch (order.kind) {
      case ScheduleOrder::Kind::Read:
      case ScheduleOrder::Kind::Open:
        if (!order.fresh) {
          worker->step = order;
          SetEvent(worker->wake.get());
        } else if (!StartWorker(order)) {
          return CarryOut(schedule.WorkerNotStarted(GetTickCount()));
        }
        break;
      case ScheduleOrder::Kind::GiveUp:
        EndWorker(true);
        break;
      case ScheduleOrder::Kind::Finish:
        EndWorker(false);
        return true;
    }
  }
  return false;
}

// Starts a worker on the order's step; false, with the thread's last error, when Windows cannot.
bool PortCheckWorkers::Check::StartWorker(const ScheduleOrder& order) {
  auto started = std::make_shared<Worker>(shared_from_this(), order.worker);
  if (!started->wake) return false;
  started->step = order;
  auto ticket = std::make_unique<std::shared_ptr<Worker>>(started);
  InterlockedIncrement(&workersRunning);
  const HANDLE thread = CreateThread(nullptr, 0, &Work, ticket.get(), 0, nullptr);
  if (thread == nullptr) {
    const DWORD error = GetLastError();
    InterlockedDecrement(&workersRunning);
    SetLastError(error);
    return false;
  }
  ticket.release();  // the worker's now
  started->thread.reset(thread);
  SetEvent(started->wake.get());
  worker = std::move(started);
  return true;
}

// The worker under way is told to end after its step, never waited for.
void PortCheckWorkers::Check::EndWorker(bool givenUp) {
  if (!worker) return;
  worker->end = true;
  SetEvent(worker->wake.get());
  if (givenUp) TryToCancelBlockedCall(worker->thread.get());
  worker.reset();
}

uint32_t OpenAndClosePort(int16_t port) {
  const std::wstring name = L"\\\\.\\COM" + Widen(std::to_string(port));
  const HANDLE handle = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return GetLastError();
  // However late the open returned, the port is let go at once.
  const UniqueHandle opened(handle);
  return 0;
}

bool WorkersStillRunning() { return InterlockedCompareExchange(&workersRunning, 0, 0) != 0; }

PortCheckWorkers::PortCheckWorkers(HWND window, UINT message, UINT_PTR timer, PortOpener opener,
                                   ScheduleTimes times)
    : window_(window),
      message_(message),
      timer_(timer),
      opener_(std::move(opener)),
      times_(times) {}

PortCheckWorkers::~PortCheckWorkers() {
  if (!running_) return;
  KillTimer(window_, timer_);
  const Lock lock(check_->section);
  check_->dropped = true;
  check_->EndWorker(false);
}

uint32_t PortCheckWorkers::Start(WindowsDevicesReader read, PortChooser choose) {
  if (running_) FailInTool("Ya se están comprobando los puertos");
  check_ = std::make_shared<Check>(window_, message_, std::move(read), opener_,
                                   AfterScanSchedule(std::move(choose), times_));
  if (SetTimer(window_, timer_, kScheduleTickMs, nullptr) == 0) return GetLastError();
  bool started = false;
  {
    const Lock lock(check_->section);
    started = check_->StartWorker(check_->schedule.Start(GetTickCount()));
  }
  if (!started) {
    const DWORD error = GetLastError();
    KillTimer(window_, timer_);
    if (error == 0) FailInTool("No se pudo iniciar la comprobación de los puertos");
    return error;
  }
  running_ = true;
  return 0;
}

WindowsDevices PortCheckWorkers::Devices() {
  if (!check_) return {};
  const Lock lock(check_->section);
  return check_->schedule.devices();
}

std::vector<PortCheckResult> PortCheckWorkers::Results() {
  if (!check_) return {};
  const Lock lock(check_->section);
  return check_->schedule.results();
}

bool PortCheckWorkers::OnMessage(UINT message, WPARAM, LPARAM) {
  if (message != message_ || !running_) return false;
  return StopIfFinished();
}

bool PortCheckWorkers::OnTimer(UINT_PTR timer) {
  if (timer != timer_ || !running_) return false;
  {
    const Lock lock(check_->section);
    check_->CarryOut(check_->schedule.Tick(GetTickCount()));
  }
  return StopIfFinished();
}

// A check a worker finished is complete at whichever of its message or a tick comes first.
bool PortCheckWorkers::StopIfFinished() {
  {
    const Lock lock(check_->section);
    if (!check_->schedule.finished()) return false;
  }
  KillTimer(window_, timer_);
  running_ = false;
  return true;
}

DWORD WINAPI PortCheckWorkers::Work(void* parameter) {
  {
    const std::unique_ptr<std::shared_ptr<Worker>> ticket(
        static_cast<std::shared_ptr<Worker>*>(parameter));
    Worker& worker = **ticket;
    Check& check = *worker.check;
    try {
      for (;;) {
        WaitForSingleObject(worker.wake.get(), INFINITE);
        ScheduleOrder step{ScheduleOrder::Kind::Read};
        {
          const Lock lock(check.section);
          if (worker.end) break;
          if (!worker.step) continue;
          step = *worker.step;
          worker.step.reset();
        }
        StepOutcome outcome{worker.number, StepOutcome::Step::Open};
        if (step.kind == ScheduleOrder::Kind::Read) {
          outcome.step = StepOutcome::Step::Reading;
          outcome.devices = WhatWindowsSees(check.read);
        } else {
          outcome.error = check.open(step.port);
        }
        // The next step is ordered here and now; the window hears only of the end.
        bool finished = false;
        {
          const Lock lock(check.section);
          if (check.dropped) break;
          finished = check.CarryOut(check.schedule.Done(GetTickCount(), std::move(outcome)));
        }
        if (finished) PostMessageW(check.window, check.message, 0, 0);
      }
    } catch (...) {
      // A step that fails says nothing: the schedule gives it up when its time is over.
    }
  }
  // The very last thing the worker does: the program may end outright from here on.
  InterlockedDecrement(&workersRunning);
  return 0;
}

}  // namespace velmaris
