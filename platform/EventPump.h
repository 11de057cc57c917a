// The window thread's two ways of passing time: letting the windows process their
// pending events (only at the program's check points), and the blocking pause.
#pragma once

#include "common/Seam.h"

namespace vd {

class EventPump {
 public:
  virtual ~EventPump() = default;
  virtual void processEvents() = 0;
  // Blocks the thread; the windows process no events meanwhile.
  virtual void pause(int milliseconds) = 0;
};

template <>
EventPump& Seam<EventPump>::defaultInstance();
inline EventPump& eventPump() { return Seam<EventPump>::get(); }

class QtEventPump : public EventPump {
 public:
  void processEvents() override;
  void pause(int milliseconds) override;
};

}  // namespace vd
