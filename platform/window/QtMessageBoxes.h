// Message boxes as Qt dialogs: one OK button, the title and the icon asked for; questions
// with Yes and No and the question icon. The
// program with windows installs them in place of the core's standard-error realisation.
#pragma once

#include "platform/MessageBoxes.h"

namespace vd {

class QtMessageBoxes : public MessageBoxes {
 public:
  void show(const std::string& text, const std::string& title, MessageIcon icon) override;
  // A box that is not modal and goes away when closed.
  void tell(const std::string& text, const std::string& title, MessageIcon icon) override;
  bool askYesNo(const std::string& text, const std::string& title) override;
};

}  // namespace vd
