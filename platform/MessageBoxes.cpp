#include "platform/MessageBoxes.h"

#include <cstdio>

namespace vd {
namespace {

// A program without windows has nobody to press OK: the message goes where such a
// program's operator reads what it says, its standard error (the journal, for a service),
// one line each, and the program goes on at once.
class StandardErrorMessageBoxes : public MessageBoxes {
 public:
  void show(const std::string& text, const std::string& title, MessageIcon /*icon*/) override {
    std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
    std::fflush(stderr);
  }
};

}  // namespace

template <>
MessageBoxes& Seam<MessageBoxes>::defaultInstance() {
  static StandardErrorMessageBoxes instance;
  return instance;
}

}  // namespace vd
