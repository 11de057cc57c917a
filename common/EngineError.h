// The one kind of error the conversion engine raises: a number, a source and a
// description, as its callers (the scan cycle, other clients) expect.
#pragma once

#include <stdexcept>
#include <string>

namespace vd {

class EngineError : public std::runtime_error {
 public:
  // The number of every error the engine raises itself (hexadecimal 80004100).
  static constexpr long kNumber = -2147467008;
  static constexpr const char* kSource = "Vellumdock";

  explicit EngineError(const std::string& description, long number = kNumber, std::string source = kSource)
      : std::runtime_error(description), number_(number), source_(std::move(source)) {}

  long number() const { return number_; }
  const std::string& source() const { return source_; }
  std::string description() const { return what(); }

 private:
  long number_;
  std::string source_;
};

}  // namespace vd
