// The PDF being replaced under "Overwrite existing PDFs" is the only copy of an earlier
// document (its input is long gone). It is kept aside, hidden beside it, until its
// replacement exists; anything else that ends the replacement puts it back under its own
// name: a failed conversion, an input that vanished, a stop, this object's end, and the end
// of the program.
#pragma once

#include <string>

namespace vd {

class SetAsidePdf {
 public:
  // Sets the PDF at path aside as .NAME.replaced in its folder. Throws FileError when it
  // cannot be; then nothing is set aside and the PDF is where it was.
  explicit SetAsidePdf(std::string path);
  // Puts the PDF back unless it was settled.
  ~SetAsidePdf();
  SetAsidePdf(const SetAsidePdf&) = delete;
  SetAsidePdf& operator=(const SetAsidePdf&) = delete;

  // The replacement exists: the old PDF goes.
  void discard();
  // The replacement did not come about: the old PDF goes back under its own name, in
  // place of whatever a failed conversion left there. Errors are not reported: the PDF
  // then stays aside, hidden but kept.
  void putBack();

  const std::string& path() const { return path_; }
  // Where the old PDF is kept meanwhile, for a reader of its old content.
  const std::string& asidePath() const { return aside_; }

  // After a program that set PDFs aside was killed: each one in folder goes back under its
  // own name when nothing holds that name, and is removed when a PDF holds it (its
  // replacement, or itself put back already). Errors are not reported.
  static void settleLeftoversIn(const std::string& folder);

 private:
  std::string path_;
  std::string aside_;
  bool settled_ = false;
};

}  // namespace vd
