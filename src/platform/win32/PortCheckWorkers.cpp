#include "platform/win32/PortCheckWorkers.h"

#include <deque>
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

// What one check's workers hand back to the window's thread. It outlives the check for as long
// as one of its workers still waits in a call.
struct PortCheckWorkers::Outbox {
  Outbox(HWND window, UINT message, WindowsDevicesReader read, PortOpener open)
      : window(window), message(message), read(std::move(read)), open(std::move(open)) {
    InitializeCriticalSection(&section);
  }
  ~Outbox() { DeleteCriticalSection(&section); }
  Outbox(const Outbox&) = delete;
  Outbox& operator=(const Outbox&) = delete;

  const HWND window;
  const UINT message;
  const WindowsDevicesReader read;
  const PortOpener open;
  CRITICAL_SECTION section;
  std::deque<StepOutcome> outcomes;  // under the section
};

// One worker thread, which waits for its next step until it is told to end.
struct PortCheckWorkers::Worker {
  Worker(std::shared_ptr<Outbox> outbox, unsigned number)
      : outbox(std::move(outbox)),
        number(number),
        wake(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

  const std::shared_ptr<Outbox> outbox;
  const unsigned number;
  const UniqueHandle wake;  // set when a step or the end is handed over
  // Under the outbox's section.
  std::optional<ScheduleOrder> step;
  bool end = false;
  // The window's thread alone touches it.
  UniqueHandle thread;
};

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
  if (running_) Stop();
}

uint32_t PortCheckWorkers::Start(WindowsDevicesReader read, PortChooser choose) {
  if (running_) FailInTool("Ya se están comprobando los puertos");
  outbox_ = std::make_shared<Outbox>(window_, message_, std::move(read), opener_);
  schedule_ = std::make_unique<AfterScanSchedule>(std::move(choose), times_);
  if (SetTimer(window_, timer_, kScheduleTickMs, nullptr) == 0) return GetLastError();
  if (!StartWorker(schedule_->Start(GetTickCount()))) {
    const DWORD error = GetLastError();
    KillTimer(window_, timer_);
    if (error == 0) FailInTool("No se pudo iniciar la comprobación de los puertos");
    return error;
  }
  running_ = true;
  return 0;
}

WindowsDevices PortCheckWorkers::Devices() {
  return schedule_ ? schedule_->devices() : WindowsDevices{};
}

std::vector<PortCheckResult> PortCheckWorkers::Results() {
  return schedule_ ? schedule_->results() : std::vector<PortCheckResult>{};
}

bool PortCheckWorkers::OnMessage(UINT message, WPARAM, LPARAM) {
  if (message != message_ || !running_) return false;
  std::deque<StepOutcome> outcomes;
  {
    const Lock lock(outbox_->section);
    outcomes.swap(outbox_->outcomes);
  }
  for (StepOutcome& outcome : outcomes) {
    if (CarryOut(schedule_->Done(GetTickCount(), std::move(outcome)))) return true;
  }
  return false;
}

bool PortCheckWorkers::OnTimer(UINT_PTR timer) {
  return timer == timer_ && running_ && CarryOut(schedule_->Tick(GetTickCount()));
}

// True once the check has finished.
bool PortCheckWorkers::CarryOut(const std::vector<ScheduleOrder>& orders) {
  for (const ScheduleOrder& order : orders) {
    switch (order.kind) {
      case ScheduleOrder::Kind::Read:
      case ScheduleOrder::Kind::Open:
        if (!order.fresh) {
          Hand(order);
        } else if (!StartWorker(order)) {
          return CarryOut(schedule_->WorkerNotStarted(GetTickCount()));
        }
        break;
      case ScheduleOrder::Kind::GiveUp:
        EndWorker(true);
        break;
      case ScheduleOrder::Kind::Finish:
        Stop();
        return true;
    }
  }
  return false;
}

// Starts a worker on the order's step; false, with the thread's last error, when Windows cannot.
bool PortCheckWorkers::StartWorker(const ScheduleOrder& order) {
  auto worker = std::make_shared<Worker>(outbox_, order.worker);
  if (!worker->wake) return false;
  worker->step = order;
  auto ticket = std::make_unique<std::shared_ptr<Worker>>(worker);
  InterlockedIncrement(&workersRunning);
  const HANDLE thread = CreateThread(nullptr, 0, &Work, ticket.get(), 0, nullptr);
  if (thread == nullptr) {
    const DWORD error = GetLastError();
    InterlockedDecrement(&workersRunning);
    SetLastError(error);
    return false;
  }
  ticket.release();  // the worker's now
  worker->thread.reset(thread);
  SetEvent(worker->wake.get());
  worker_ = std::move(worker);
  return true;
}

void PortCheckWorkers::Hand(const ScheduleOrder& order) {
  {
    const Lock lock(outbox_->section);
    worker_->step = order;
  }
  SetEvent(worker_->wake.get());
}

// The worker under way is told to end after its step, never waited for.
void PortCheckWorkers::EndWorker(bool givenUp) {
  if (!worker_) return;
  {
    const Lock lock(outbox_->section);
    worker_->end = true;
  }
  SetEvent(worker_->wake.get());
  if (givenUp) TryToCancelBlockedCall(worker_->thread.get());
  worker_.reset();
}

void PortCheckWorkers::Stop() {
  KillTimer(window_, timer_);
  EndWorker(false);
  running_ = false;
}

DWORD WINAPI PortCheckWorkers::Work(void* parameter) {
  {
    const std::unique_ptr<std::shared_ptr<Worker>> ticket(
        static_cast<std::shared_ptr<Worker>*>(parameter));
    Worker& worker = **ticket;
    Outbox& outbox = *worker.outbox;
    try {
      for (;;) {
        WaitForSingleObject(worker.wake.get(), INFINITE);
        ScheduleOrder step{ScheduleOrder::Kind::Read};
        {
          const Lock lock(outbox.section);
          if (worker.end) break;
          if (!worker.step) continue;
          step = *worker.step;
          worker.step.reset();
        }
        StepOutcome outcome{worker.number, StepOutcome::Step::Open};
        if (step.kind == ScheduleOrder::Kind::Read) {
          outcome.step = StepOutcome::Step::Reading;
          outcome.devices = WhatWindowsSees(outbox.read);
        } else {
          outcome.error = outbox.open(step.port);
        }
        {
          const Lock lock(outbox.section);
          outbox.outcomes.push_back(std::move(outcome));
        }
        PostMessageW(outbox.window, outbox.message, 0, 0);
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
