// A dialog a printer driver shows while it prints: a window of the window table, of the
// print session the job belongs to (platform/PrintSession.h), that takes a typed text and
// a key from whoever answers it (a keystroke helper, or a person through a tool of the
// window table). The window is in the table from construction to destruction.
#pragma once

#include <optional>
#include <string>

#include "platform/WindowTable.h"

namespace vd {

class PrintDialog {
 public:
  explicit PrintDialog(const std::string& caption);
  ~PrintDialog();
  PrintDialog(const PrintDialog&) = delete;
  PrintDialog& operator=(const PrintDialog&) = delete;

  struct Answer {
    bool confirmed = false;  // Enter; false for Escape or a close request
    std::string text;        // the field's text when the answer came
  };
  // Waits up to boundSeconds for Enter, Escape or a close request; nothing when none came.
  std::optional<Answer> waitForAnswer(double boundSeconds);

 private:
  WindowHandle window_;
  std::string text_;
};

}  // namespace vd
