#pragma once

#include <deque>
#include <functional>

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

  void Raise(FormEvent event);

 private:
  bool TakeNextKept(FormEvent& event);
  void RunToEnd(FormEvent event);

  std::function<void(FormEvent)> run_;
  std::function<bool(FormEvent)> canBeClicked_;
  bool running_ = false;
  bool unloading_ = false;  // a close request has begun: from now on nothing runs
  std::deque<FormEvent> kept_;
};

}  // namespace velmaris
