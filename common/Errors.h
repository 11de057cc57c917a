// Exceptions that carry what was being done and to which file, so that a log line or
// a failed/ note tells an operator what went wrong.
#pragma once

#include <stdexcept>
#include <string>

namespace vd {

class FileError : public std::runtime_error {
 public:
  FileError(std::string operation, std::string path, std::string reason)
      : std::runtime_error(operation + " " + path + ": " + reason),
        operation_(std::move(operation)), path_(std::move(path)), reason_(std::move(reason)) {}
  const std::string& operation() const { return operation_; }
  const std::string& path() const { return path_; }
  const std::string& reason() const { return reason_; }

 private:
  std::string operation_;
  std::string path_;
  std::string reason_;
};

}  // namespace vd
