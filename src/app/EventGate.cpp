#include "app/EventGate.h"

#include <exception>
#include <utility>

namespace velmaris {

namespace {

bool IsCloseRequest(FormEvent event) {
  return event == FormEvent::CloseRequest || event == FormEvent::cmdExit_Click;
}

bool HasAButton(FormEvent kept) {
  return kept != FormEvent::CloseRequest && kept != FormEvent::PortCheck_Done &&
         kept != FormEvent::Form_Loaded;
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
// hidden or disabled meanwhile is dropped. The close box and the port check have no button, so
// their events always run.
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
    if (!HasAButton(event) || canBeClicked_(event)) return true;
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
