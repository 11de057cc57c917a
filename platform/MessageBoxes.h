// Message boxes. Every box of this program has one OK button and the program's title;
// tests answer them through a double. Without windows (the default) a message is written
// to standard error; the program with windows installs the Qt dialogs of platform/window/.
#pragma once

#include <string>

#include "common/Seam.h"

namespace vd {

enum class MessageIcon { None, Information, Warning, Critical };

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  virtual void show(const std::string& text, const std::string& title, MessageIcon icon) = 0;
};

template <>
MessageBoxes& Seam<MessageBoxes>::defaultInstance();
inline MessageBoxes& messageBoxes() { return Seam<MessageBoxes>::get(); }

}  // namespace vd
