#include "outside/setup/PasswordInput.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <iterator>

namespace vd {
namespace {

// What a signal during a prompt must put back: a shell left without echo is unusable.
volatile sig_atomic_t terminalDescriptor = -1;
termios savedTerminal{};
constexpr int kRestoringSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP};

extern "C" void restoreTerminalAndDie(int signalNumber) {
  if (terminalDescriptor >= 0) tcsetattr(terminalDescriptor, TCSANOW, &savedTerminal);
  std::signal(signalNumber, SIG_DFL);
  std::raise(signalNumber);
}

// Echo off for its lifetime (the typed line end still shows), and back on however the
// prompt ends.
class EchoOff {
 public:
  explicit EchoOff(int descriptor) {
    if (tcgetattr(descriptor, &savedTerminal) != 0) return;
    struct sigaction handler {};
    handler.sa_handler = restoreTerminalAndDie;
    sigemptyset(&handler.sa_mask);
    for (std::size_t i = 0; i < std::size(kRestoringSignals); ++i) {
      sigaction(kRestoringSignals[i], &handler, &previous_[i]);
    }
    terminalDescriptor = descriptor;
    termios quiet = savedTerminal;
    quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
    quiet.c_lflag |= ECHONL;
    tcsetattr(descriptor, TCSAFLUSH, &quiet);
  }
  ~EchoOff() {
    if (terminalDescriptor < 0) return;
    tcsetattr(terminalDescriptor, TCSAFLUSH, &savedTerminal);
    terminalDescriptor = -1;
    for (std::size_t i = 0; i < std::size(kRestoringSignals); ++i) sigaction(kRestoringSignals[i], &previous_[i], nullptr);
  }
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;

 private:
  struct sigaction previous_[std::size(kRestoringSignals)] {};
};

std::string capitalized(std::string text) {
  if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 'a' + 'A');
  return text;
}

}  // namespace

bool PasswordInput::fromTerminal() const { return isatty(descriptor_) == 1; }

bool PasswordInput::readLine(std::string& line) {
  line.clear();
  bool readAnything = false;
  // Byte by byte: whatever follows this line stays for the next password.
  for (;;) {
    char c = 0;
    const ssize_t count = ::read(descriptor_, &c, 1);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return readAnything;
    readAnything = true;
    if (c == '\n') break;
    // Only the length matters once it is too long; the rest of the line is still consumed.
    if (line.size() <= kMaximumLength) line += c;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

std::string PasswordInput::readHidden(const std::string& prompt) {
  // The prompt shows only once echo is off: what is typed after it is never shown.
  prompts_ << prompt << std::flush;
  std::string line;
  if (!readLine(line)) prompts_ << "\n";
  return line;
}

std::string PasswordInput::read(const std::string& label) {
  std::string password;
  if (fromTerminal()) {
    const EchoOff quiet(descriptor_);
    password = readHidden(capitalized(label) + ": ");
    if (!password.empty() && readHidden("Type the " + label + " again: ") != password) {
      throw PasswordRefused("the two entries of the " + label + " differ");
    }
  } else if (!readLine(password)) {
    throw PasswordRefused("no " + label + " on standard input (one line for each password option, in their order)");
  }
  if (password.empty()) throw PasswordRefused("the " + label + " is empty");
  if (password.size() > kMaximumLength) {
    throw PasswordRefused("the " + label + " is longer than " + std::to_string(kMaximumLength) + " bytes");
  }
  if (password.find('\0') != std::string::npos) throw PasswordRefused("the " + label + " holds a NUL byte");
  return password;
}

}  // namespace vd
