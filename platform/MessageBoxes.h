// Message boxes. A message has one OK button and the program's title; a question has Yes
// and No. Tests answer them through a double. Without windows (the default) a message is
// written to standard error and a question is answered No; the program with windows
// installs the Qt dialogs of platform/window/.
#pragma once

#include <string>

#include "common/Seam.h"

namespace vd {

enum class MessageIcon { None, Information, Warning, Critical };

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  virtual void show(const std::string& text, const std::string& title, MessageIcon icon) = 0;
  // A message that does not hold up the caller: shown, and the caller goes on at once (a
  // scan keeps converting while it is on the screen).
  virtual void tell(const std::string& text, const std::string& title, MessageIcon icon) { show(text, title, icon); }
  // True for Yes. With nobody to ask, the answer is No, the one that changes nothing.
  virtual bool askYesNo(const std::string& /*text*/, const std::string& /*title*/) { return false; }
};

template <>
MessageBoxes& Seam<MessageBoxes>::defaultInstance();
inline MessageBoxes& messageBoxes() { return Seam<MessageBoxes>::get(); }

}  // namespace vd
