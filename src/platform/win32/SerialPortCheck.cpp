#include "platform/win32/SerialPortCheck.h"

#include <string>
#include <utility>

#include "common/Failure.h"
#include "common/win32/Scoped.h"
#include "common/win32/Utf16.h"

namespace velmaris {

namespace {

// Windows XP has no CancelSynchronousIo, and a serial driver may ignore it anyway: it is only
// tried.
void TryToCancelBlockedCall(HANDLE thread) {
  using CancelFunction = BOOL(WINAPI*)(HANDLE);
  static const auto cancel = reinterpret_cast<CancelFunction>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "CancelSynchronousIo")));
  if (cancel != nullptr && thread != nullptr) cancel(thread);
}

std::string WithLastError(const char* what) {
  return std::string(what) + " (" + std::to_string(GetLastError()) + ")";
}

}  // namespace

// What the window's thread and the workers share. It outlives the SerialPortCheck that made it
// for as long as a worker still waits in an open.
struct SerialPortCheck::Shared {
  Shared(HWND window, UINT message, PortOpener opener, const std::vector<int16_t>& ports)
      : window(window), message(message), opener(std::move(opener)), ports(ports) {
    InitializeCriticalSection(&section);
    for (const int16_t port : ports) results.push_back({port, PortState::NotChecked});
  }
  ~Shared() { DeleteCriticalSection(&section); }
  Shared(const Shared&) = delete;
  Shared& operator=(const Shared&) = delete;

  void Decide(size_t index, PortState state, uint32_t error = 0) {
    if (decided[index]) return;
    results[index].state = state;
    results[index].error = error;
    decided[index] = true;
    --undecided;
  }
  void LeaveTheRestUnchecked() {
    for (size_t i = 0; i < ports.size(); ++i) Decide(i, PortState::NotChecked);
  }

  const HWND window;
  const UINT message;
  const PortOpener opener;
  const std::vector<int16_t> ports;

  CRITICAL_SECTION section;
  // Under the section from here on.
  std::vector<PortCheckResult> results;
  std::vector<bool> decided = std::vector<bool>(ports.size());
  size_t undecided = ports.size();
  size_t next = 0;       // the next port to open
  bool opening = false;  // ports[openingIndex] is being opened since openingSince
  size_t openingIndex = 0;
  DWORD openingSince = 0;
  unsigned worker = 0;  // the worker whose results count; the others were given up
  bool over = false;    // no more opens: the check is complete, or its window gone

  // The counting worker's thread, which the window's thread alone touches.
  UniqueHandle thread;
};

struct SerialPortCheck::Ticket {
  std::shared_ptr<Shared> shared;
  unsigned worker;
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

SerialPortCheck::SerialPortCheck(HWND window, UINT message, UINT_PTR timer, PortOpener opener,
                                 PortCheckTimes times)
    : window_(window),
      message_(message),
      timer_(timer),
      opener_(std::move(opener)),
      times_(times) {}

SerialPortCheck::~SerialPortCheck() {
  if (!running_) return;
  KillTimer(window_, timer_);
  // Never waited for: a worker stops after the open it is in.
  const Lock lock(shared_->section);
  shared_->over = true;
}

void SerialPortCheck::Start(const std::vector<int16_t>& ports) {
  if (running_) FailInTool("Ya se están comprobando los puertos");
  shared_ = std::make_shared<Shared>(window_, message_, opener_, ports);
  startedAt_ = GetTickCount();
  if (SetTimer(window_, timer_, times_.watchMs, nullptr) == 0) {
    FailInTool(WithLastError("No se pudo vigilar la comprobación de los puertos"));
  }
  running_ = true;
  if (ports.empty()) {
    PostMessageW(window_, message_, 0, 0);
  } else if (!StartWorker()) {
    const std::string failure = WithLastError("No se pudo iniciar la comprobación de los puertos");
    Stop();
    FailInTool(failure);
  }
}

std::vector<PortCheckResult> SerialPortCheck::Results() {
  if (!shared_) return {};
  const Lock lock(shared_->section);
  return shared_->results;
}

bool SerialPortCheck::OnMessage(UINT message, WPARAM, LPARAM) {
  return message == message_ && Judge();
}

bool SerialPortCheck::OnTimer(UINT_PTR timer) { return timer == timer_ && Judge(); }

// On the window's thread: gives up an open past its time, ends the check when its time is up,
// and tells whether it is complete now.
bool SerialPortCheck::Judge() {
  if (!running_) return false;
  Shared& shared = *shared_;
  bool givenUp = false;
  bool complete = false;
  {
    const Lock lock(shared.section);
    const DWORD now = GetTickCount();
    const bool timeUp = now - startedAt_ >= times_.checkMs;
    if (shared.opening && (timeUp || now - shared.openingSince >= times_.openMs)) {
      shared.Decide(shared.openingIndex, PortState::NoAnswer);
      shared.opening = false;
      ++shared.worker;
      givenUp = true;
    }
    if (timeUp) shared.LeaveTheRestUnchecked();
    complete = shared.undecided == 0;
  }
  if (givenUp) TryToCancelBlockedCall(shared.thread.get());
  if (givenUp && !complete && !StartWorker()) {
    // Without a worker the ports left are not checked.
    const Lock lock(shared.section);
    shared.LeaveTheRestUnchecked();
    complete = true;
  }
  if (complete) Stop();
  return complete;
}

// Starts a worker on the next port to open; false when Windows cannot.
bool SerialPortCheck::StartWorker() {
  auto ticket = std::make_unique<Ticket>(Ticket{shared_, shared_->worker});
  DWORD id = 0;
  const HANDLE thread = CreateThread(nullptr, 0, &Work, ticket.get(), 0, &id);
  if (thread == nullptr) return false;
  ticket.release();  // the worker's now
  shared_->thread.reset(thread);
  return true;
}

void SerialPortCheck::Stop() {
  KillTimer(window_, timer_);
  running_ = false;
  const Lock lock(shared_->section);
  shared_->over = true;
  shared_->thread.reset();
}

DWORD WINAPI SerialPortCheck::Work(void* parameter) {
  const std::unique_ptr<Ticket> ticket(static_cast<Ticket*>(parameter));
  Shared& shared = *ticket->shared;
  try {
    for (;;) {
      size_t index = 0;
      {
        const Lock lock(shared.section);
        if (shared.worker != ticket->worker || shared.over || shared.next == shared.ports.size()) {
          return 0;
        }
        index = shared.next++;
        shared.opening = true;
        shared.openingIndex = index;
        shared.openingSince = GetTickCount();
      }
      const uint32_t error = shared.opener(shared.ports[index]);
      {
        const Lock lock(shared.section);
        // A worker given up meanwhile ends here: the port was judged without it.
        if (shared.worker != ticket->worker) return 0;
        shared.opening = false;
        shared.Decide(index, PortStateOfOpen(error), error);
      }
      PostMessageW(shared.window, shared.message, 0, 0);
    }
  } catch (...) {
    // An opener that fails leaves its open unanswered: the watch judges it as one that hangs.
  }
  return 0;
}

}  // namespace velmaris
