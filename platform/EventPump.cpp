#include "EventPump.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <thread>

namespace vd {

template <>
EventPump& Seam<EventPump>::defaultInstance() {
  static QtEventPump instance;
  return instance;
}

void QtEventPump::processEvents() {
  if (QCoreApplication::instance() != nullptr) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtEventPump::pause(int milliseconds) {
  if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void QtEventPump::rest(int milliseconds) {
  if (milliseconds <= 0) return;
  if (QCoreApplication::instance() == nullptr) {
    pause(milliseconds);
    return;
  }
  QEventLoop loop;
  QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
  loop.exec();
}

}  // namespace vd
