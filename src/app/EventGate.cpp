#include "app/EventGate.h"

#include <utility>

namespace velmaris {

namespace {

bool IsCloseRequest(FormEvent event) {
  return event == FormEvent::CloseRequest || event == FormEvent::cmdExit_Click;
}

bool HasAButton(FormEvent kept) {
  return kept != FormEvent::CloseRequest && kept != FormEvent::PortCheck_Done;
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
  if (running_) {
    // A close request ends the queue: nothing is kept after it.
    const bool closeKept = !kept_.empty() && IsCloseRequest(kept_.back());
    if (event != FormEvent::Timer1_Timer && !closeKept) kept_.push_back(event);
    return;
  }
  RunToEnd(event);
  while (TakeNextKept(event)) RunToEnd(event);
}

// The next kept event that can still run: a click whose button was hidden or disabled meanwhile
// is dropped. The close box and the port check have no button, so their events always run.
bool EventGate::TakeNextKept(FormEvent& event) {
  while (!kept_.empty() && !unloading_) {
    event = kept_.front();
    kept_.pop_front();
    if (!HasAButton(event) || canBeClicked_(event)) return true;
  }
  return false;
}

void EventGate::RunToEnd(FormEvent event) {
  // A second close request during the unload (the control's deactivation may let messages
  // through) finds the gate shut.
  if (IsCloseRequest(event)) unloading_ = true;
  const Running running(running_);
  run_(event);
}

}  // namespace velmaris
