// vellumdk-setup security: sets, shows or clears the Distiller's security settings, as the
// Distiller printer's preferences would (see DistillerSecuritySettings.h).
//
//   security [--open-password] [--permissions-password] [--permissions WORD,WORD,...]
//   security --show
//   security --clear
//
// The password options take no value: each password is read from PasswordInput in the
// order the options are given. Options not given keep their stored values. Everything is
// checked before anything is stored, and the values are stored at once.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "outside/setup/PasswordInput.h"

namespace vd {

class SecurityCommand {
 public:
  static constexpr int kDone = 0;
  static constexpr int kStoreFailed = 1;   // the settings could not be read or stored
  static constexpr int kRefused = 2;       // the command line or a password was refused
  static const char* usage();

  // arguments: those after "security". Nothing is stored unless the result is kDone.
  int run(const std::vector<std::string>& arguments, PasswordInput& passwords, std::ostream& out,
          std::ostream& errors);
};

}  // namespace vd
