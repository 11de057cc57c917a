// Passwords for the set-up program, never from its command line (other accounts can read
// command lines): typed at the terminal without echo and asked twice, or, when standard
// input is no terminal, one line each.
#pragma once

#include <ostream>
#include <stdexcept>
#include <string>

namespace vd {

// A password that cannot be taken: missing, empty, too long, holding a NUL byte, or typed
// differently twice. The text never holds the password.
class PasswordRefused : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class PasswordInput {
 public:
  static constexpr std::size_t kMaximumLength = 1024;

  // Reads from the descriptor; prompts go to prompts (only when it is a terminal).
  PasswordInput(int descriptor, std::ostream& prompts) : descriptor_(descriptor), prompts_(prompts) {}

  // The next password; label names it in prompts and errors ("open password"). Throws
  // PasswordRefused.
  std::string read(const std::string& label);

 private:
  bool fromTerminal() const;
  // One line without its end; false at the end of the input with nothing read.
  bool readLine(std::string& line);
  // Prompts and reads one line; echo is already off.
  std::string readHidden(const std::string& prompt);

  int descriptor_;
  std::ostream& prompts_;
};

}  // namespace vd
