#pragma once

#include <deque>
#include <exception>
#include <functional>
#include <optional>

#include "app/FormEvent.h"

namespace velmaris {

// Which event runs when. A component that waits on its port may run a message loop of its own
// inside a call, so the window's messages can arrive while an event is still running. Nothing
// runs inside another event: a click, a close request or the port check's end that arrives
// meanwhile is kept and carried out, in arrival order and exactly once, when the running event
// ends; a tick that arrives meanwhile is skipped (the timer's next one comes as usual). A close
// request ends the queue, and once the window unloads no event runs again, so the window and the
// control are never destroyed under a running event.
class EventGate {
 public:
  // `run` carries one event out to its end and reports its own failures; `canBeClicked` says
  // whether a kept click's button is still shown and enabled when its turn comes.
  EventGate(std::function<void(FormEvent)> run, std::function<bool(FormEvent)> canBeClicked);

  // Runs the event, or keeps it while another runs. Should `run` throw all the same, the events
  // kept meanwhile still run, and the first failure is thrown once they have.
  void Raise(FormEvent event);
  // No event runs any more: the window unloads without a close request of its own.
  void Shut() { unloading_ = true; }

 private:
  void Keep(FormEvent event);
  bool TakeNextKept(FormEvent& event);
  void RunToEnd(FormEvent event, std::exception_ptr& failure);

  std::function<void(FormEvent)> run_;
  std::function<bool(FormEvent)> canBeClicked_;
  bool running_ = false;
  bool unloading_ = false;  // a close request has begun: from now on nothing runs
  std::deque<FormEvent> kept_;
  // The close request kept, which ends the queue. It needs no allocation, so running out of
  // memory cannot lose it.
  std::optional<FormEvent> closeKept_;
};

}  // namespace velmaris
