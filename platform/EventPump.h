// The window thread's ways of passing time: letting the windows process their pending
// events (only at the program's check points), the blocking pause, and the rest that
// handles events as they come while it waits.
#pragma once

#include "common/Seam.h"

namespace vd {

class EventPump {
 public:
  virtual ~EventPump() = default;
  virtual void processEvents() = 0;
  // Blocks the thread; the windows process no events meanwhile.
  virtual void pause(int milliseconds) = 0;
  // Waits about this long, handling events as they arrive (a click, a stop signal); the
  // thread uses no processor time while nothing happens.
  virtual void rest(int milliseconds) = 0;
};

template <>
EventPump& Seam<EventPump>::defaultInstance();
inline EventPump& eventPump() { return Seam<EventPump>::get(); }

class QtEventPump : public EventPump {
 public:
  void processEvents() override;
  void pause(int milliseconds) override;
  void rest(int milliseconds) override;
};

}  // namespace vd
