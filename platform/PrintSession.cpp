#include "platform/PrintSession.h"

#include <cstdlib>
#include <random>

#include "common/Environment.h"

namespace vd {

std::string beginPrintSession() {
  std::random_device device;
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string token;
  for (int i = 0; i < 32; ++i) token += kDigits[device() % 16];
  setenv(kPrintSessionVariable, token.c_str(), 1);
  return token;
}

std::string currentPrintSession() { return environmentText(kPrintSessionVariable); }

std::string printDialogClass(const std::string& session) {
  const std::string base = "VellumdockPrintDialog";
  return session.empty() ? base : base + ":" + session;
}

}  // namespace vd
