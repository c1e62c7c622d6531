#include "app/EventGate.h"

#include <exception>
#include <utility>

namespace velmaris {

namespace {

bool IsCloseRequest(FormEvent event) {
  return event == FormEvent::CloseRequest || event == FormEvent::cmdExit_Click;
}

// The events of the window's buttons. Any other event (the close box, the port check's end) has no
// button that could be hidden or disabled meanwhile.
bool IsAClick(FormEvent event) {
  return event == FormEvent::cmdReset_Click || event == FormEvent::cmdDetect_Click ||
         event == FormEvent::cmdCopy_Click || event == FormEvent::cmdExit_Click;
}

// Marks an event as running for as long as it lives, whatever way it ends.
class Running {
 public:
  explicit Running(bool& flag) : flag_(flag) { flag_ = true; }
  ~Running() { flag_ = false; }
  Running(const Running&) = delete;
  Running& operator=(const Running&) = delete;

 private:
  bool& flag_;
};

}  // namespace

EventGate::EventGate(std::function<void(FormEvent)> run,
                     std::function<bool(FormEvent)> canBeClicked)
    : run_(std::move(run)), canBeClicked_(std::move(canBeClicked)) {}

void EventGate::Raise(FormEvent event) {
  if (unloading_) return;
  if (running_) return Keep(event);
  std::exception_ptr failure;
  RunToEnd(event, failure);
  while (TakeNextKept(event)) RunToEnd(event, failure);
  if (failure) std::rethrow_exception(failure);
}

void EventGate::Keep(FormEvent event) {
  if (closeKept_ || event == FormEvent::Timer1_Timer) return;
  if (IsCloseRequest(event)) {
    closeKept_ = event;
  } else {
    kept_.push_back(event);
  }
}

// The next kept event that can still run, the close request last: a click whose button was
// hidden or disabled meanwhile is dropped; every other kept event runs.
bool EventGate::TakeNextKept(FormEvent& event) {
  while (!unloading_) {
    if (!kept_.empty()) {
      event = kept_.front();
      kept_.pop_front();
    } else if (closeKept_) {
      event = *std::exchange(closeKept_, std::nullopt);
    } else {
      return false;
    }
    if (!IsAClick(event) || canBeClicked_(event)) return true;
  }
  return false;
}

void EventGate::RunToEnd(FormEvent event, std::exception_ptr& failure) {
  // A second close request during the unload (the control's deactivation may let messages
  // through) finds the gate shut.
  if (IsCloseRequest(event)) unloading_ = true;
  const Running running(running_);
  try {
    run_(event);
  } catch (...) {
    if (!failure) failure = std::current_exception();
  }
}

}  // namespace velmaris
