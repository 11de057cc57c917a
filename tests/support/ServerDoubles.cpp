#include "ServerDoubles.h"

#include <QCoreApplication>

namespace vd::test {

void ScriptedEventPump::processEvents() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  ++processEventsCalls;
  if (onProcessEvents) onProcessEvents(processEventsCalls);
}

void ScriptedEventPump::pause(int milliseconds) {
  ++pauses;
  pausedMilliseconds += milliseconds;
  if (onPause) onPause(pauses);
}

}  // namespace vd::test
