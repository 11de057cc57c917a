// A Distiller job that fails is no error of the engine's operation: it leaves no PDF and
// writes its log beside where the PDF would have been. Watched around one operation, that
// log gives the failure the reason an operator needs (the interpreter's error, such as
// "/undefined in foo"), where otherwise only the missing PDF would be reported.
#pragma once

#include <optional>
#include <string>

#include "platform/FileSystem.h"

namespace vd {

class DistillerLogWatch {
 public:
  // Before the operation that writes pdf.
  explicit DistillerLogWatch(std::string pdf);

  // After it: when it left no PDF and the Distiller wrote its log meanwhile, why the PDF
  // of input was not made, naming the log.
  std::optional<std::string> failure(const std::string& input) const;

 private:
  std::string pdf_;
  std::string log_;
  std::optional<FileStamp> logBefore_;
};

}  // namespace vd
