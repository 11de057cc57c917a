// Opening a file with the application the desktop associates with its type, as a
// double-click in a file manager does, or a link (a web or mail address) in the browser or
// mail program; the program does not wait for that application.
#pragma once

#include <functional>
#include <string>

#include "common/Seam.h"

namespace vd {

class DocumentOpener {
 public:
  virtual ~DocumentOpener() = default;
  // Why nothing opened the target, in words for the operator ("no program on this desktop
  // opens it").
  using Failure = std::function<void(const std::string& why)>;

  // target: an absolute path, or a link with its scheme ("mailto:...", "https://...").
  // Returns at once. When nothing can open the target, failed(why) is called: before open
  // returns false when nothing could be started (no opener, a file that is not there), or
  // later, from the event loop, when the opener started ends without having opened it.
  virtual bool open(const std::string& target, Failure failed) = 0;
  // The same, for callers that let a failure pass unsaid.
  bool open(const std::string& target) { return open(target, {}); }
};

template <>
DocumentOpener& Seam<DocumentOpener>::defaultInstance();
inline DocumentOpener& documentOpener() { return Seam<DocumentOpener>::get(); }

// Opens target for the operator; when nothing can, a message says so and names the file or
// address. The message does not hold up the caller (a scan goes on meanwhile).
void openOrSayWhyNot(const std::string& target);

}  // namespace vd
