// Doubles at the platform seams: message boxes that record and answer as told (a modal box never
// returns offscreen), and an event pump whose pauses take no time and let a test act at chosen points.
#pragma once

#include <QCoreApplication>
#include <functional>
#include <string>
#include <vector>

#include "platform/DocumentOpener.h"
#include "platform/EventPump.h"
#include "platform/MessageBoxes.h"

namespace vd::test {

struct ShownMessage {
  std::string text;
  std::string title;
  MessageIcon icon;
};

class RecordingMessageBoxes : public MessageBoxes {
 public:
  void show(const std::string& text, const std::string& title, MessageIcon icon) override {
    shown.push_back(ShownMessage{text, title, icon});
  }
  bool askYesNo(const std::string& text, const std::string& title) override {
    asked.push_back(ShownMessage{text, title, MessageIcon::None});
    return answerYes;
  }
  std::vector<ShownMessage> shown;
  std::vector<ShownMessage> asked;
  bool answerYes = false;
};

// Records what would have been opened on the desktop.
class RecordingDocumentOpener : public DocumentOpener {
 public:
  using DocumentOpener::open;
  bool open(const std::string& target, Failure /*failed*/) override {
    opened.push_back(target);
    return true;
  }
  std::vector<std::string> opened;
};

// Processes the real pending events, then runs the test's hooks. Each hook receives the
// number of calls so far (1 for the first).
class ScriptedEventPump : public EventPump {
 public:
  void processEvents() override {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    ++processEventsCalls;
    if (onProcessEvents) onProcessEvents(processEventsCalls);
  }
  void pause(int milliseconds) override {
    ++pauses;
    pausedMilliseconds += milliseconds;
    if (onPause) onPause(pauses);
  }
  void rest(int) override { ++rests; }

  std::function<void(int)> onProcessEvents;
  std::function<void(int)> onPause;
  int processEventsCalls = 0;
  int pauses = 0;
  int pausedMilliseconds = 0;
  int rests = 0;
};

}  // namespace vd::test
