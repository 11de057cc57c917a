#include "outside/setup/SecurityCommand.h"

#include <optional>
#include <set>
#include <stdexcept>

#include "outside/securitysettings/DistillerSecuritySettings.h"
#include "platform/RegistryHive.h"

namespace vd {
namespace {

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class Password { Open, Permissions };

struct Request {
  enum class Action { Set, Show, Clear, Help } action = Action::Set;
  std::vector<Password> passwords;  // in the order given
  std::optional<std::set<std::string>> permissions;
  std::optional<bool> protectPrintJobs;
};

std::string knownWordsText() {
  std::string text;
  for (const std::string& word : PermissionWords()) text += (text.empty() ? "" : ", ") + word;
  return text;
}

std::set<std::string> permissionsFrom(const std::string& text) {
  const ParsedPermissions parsed = ParsePermissions(text);
  if (!parsed.unknown.empty()) {
    throw UsageError("unknown permission \"" + parsed.unknown.front() + "\" (known: " + knownWordsText() + ")");
  }
  return parsed.words;
}

// What an argument is called in an error: options by their name only, anything else not
// at all, since a mistyped command line may carry a password.
std::string shownName(const std::string& argument) {
  if (argument.rfind("-", 0) != 0) return "an argument that is no option";
  return "\"" + argument.substr(0, argument.find('=')) + "\"";
}

Request parse(const std::vector<std::string>& arguments) {
  Request request;
  bool show = false;
  bool clear = false;
  auto addPassword = [&](Password which, const char* option) {
    for (Password given : request.passwords) {
      if (given == which) throw UsageError(std::string(option) + " is given twice");
    }
    request.passwords.push_back(which);
  };
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const std::string name = argument.substr(0, argument.find('='));
    const bool hasValue = name.size() != argument.size();
    if (argument == "--help" || argument == "-h") {
      request.action = Request::Action::Help;
      return request;
    }
    if ((name == "--open-password" || name == "--permissions-password") && hasValue) {
      throw UsageError(name + " takes no value: passwords are read from the terminal or standard input, never "
                              "from the command line");
    }
    if (argument == "--show") {
      show = true;
    } else if (argument == "--clear") {
      clear = true;
    } else if (argument == "--open-password") {
      addPassword(Password::Open, "--open-password");
    } else if (argument == "--permissions-password") {
      addPassword(Password::Permissions, "--permissions-password");
    } else if (name == "--permissions") {
      if (request.permissions) throw UsageError("--permissions is given twice");
      if (!hasValue && i + 1 == arguments.size()) throw UsageError("--permissions needs a list of words");
      request.permissions = permissionsFrom(hasValue ? argument.substr(name.size() + 1) : arguments[++i]);
    } else if (name == "--print-jobs") {
      if (request.protectPrintJobs) throw UsageError("--print-jobs is given twice");
      if (!hasValue && i + 1 == arguments.size()) throw UsageError("--print-jobs needs on or off");
      const std::string value = hasValue ? argument.substr(name.size() + 1) : arguments[++i];
      if (value != "on" && value != "off") throw UsageError("--print-jobs takes on or off");
      request.protectPrintJobs = value == "on";
    } else {
      throw UsageError("unknown option " + shownName(argument));
    }
  }
  const bool setting = !request.passwords.empty() || request.permissions || request.protectPrintJobs;
  if (show + clear + setting > 1) throw UsageError("--show, --clear and the setting options go one at a time");
  if (show) request.action = Request::Action::Show;
  if (clear) request.action = Request::Action::Clear;
  if (!show && !clear && !setting) throw UsageError("nothing to do");
  return request;
}

void describe(const DistillerSecuritySettings& settings, std::ostream& out) {
  out << "Open password: " << (settings.openPassword.empty() ? "not set (anyone may open the PDF)" : "set") << "\n";
  out << "Permissions password: "
      << (settings.permissionsPassword.empty() ? "not set (each PDF gets a random one nobody knows)" : "set") << "\n";
  const std::string permissions = PermissionsText(settings.effectivePermissions());
  out << "Permissions: " << (permissions.empty() ? "none" : permissions)
      << (settings.permissions ? "" : " (the default)") << "\n";
  out << "Printed jobs: "
      << (settings.protectPrintJobs ? "protected (the \"Adobe PDF\" printer asks to confirm each job)" : "not protected")
      << "\n";
}

}  // namespace

const char* SecurityCommand::usage() {
  return "Usage: vellumdk-setup security [--open-password] [--permissions-password] [--permissions WORD,WORD,...]\n"
         "                                [--print-jobs on|off]\n"
         "       vellumdk-setup security --show\n"
         "       vellumdk-setup security --clear\n"
         "Sets the security the Distiller applies when a conversion asks for it (\"Use security\"):\n"
         "  --open-password         the password a reader needs to open the PDF\n"
         "  --permissions-password  the password that lifts the restrictions below\n"
         "  --permissions WORDS     what a reader may do without the permissions password, separated\n"
         "                          by commas: print, print-low, copy, accessibility, assemble,\n"
         "                          annotate, fill-forms, modify (\"\" allows nothing; default\n"
         "                          print,copy,accessibility)\n"
         "  --print-jobs on|off     whether the \"Adobe PDF\" printer protects what it prints with\n"
         "                          these settings, after its security dialog is confirmed\n"
         "                          (default off)\n"
         "  --show                  which passwords are set, the permissions and the printer's choice\n"
         "  --clear                 removes both passwords, the permissions and the printer's choice\n"
         "Passwords are never taken from the command line: each password option reads one, typed\n"
         "at the terminal without echo (twice), or one line of standard input when that is no\n"
         "terminal, in the order the options are given. Settings not given are kept.\n"
         "Exit status: 0 done, 1 the settings could not be read or stored, 2 refused (nothing\n"
         "changed).\n";
}

int SecurityCommand::run(const std::vector<std::string>& arguments, PasswordInput& passwords, std::ostream& out,
                         std::ostream& errors) {
  const std::string prefix = "vellumdk-setup security: ";
  Request request;
  try {
    request = parse(arguments);
  } catch (const UsageError& error) {
    errors << prefix << error.what() << " (see vellumdk-setup security --help)\n";
    return kRefused;
  }
  if (request.action == Request::Action::Help) {
    out << usage();
    return kDone;
  }
  try {
    if (request.action == Request::Action::Clear) {
      DistillerSecuritySettings::clear();
      out << "Cleared the Distiller's security settings in " << hiveFileOf(HKEY_CURRENT_USER) << ".\n";
      describe(DistillerSecuritySettings::read(), out);
      return kDone;
    }
    DistillerSecuritySettings settings = DistillerSecuritySettings::read();
    if (request.action == Request::Action::Show) {
      describe(settings, out);
      return kDone;
    }
    try {
      for (Password which : request.passwords) {
        if (which == Password::Open) {
          settings.openPassword = passwords.read("open password");
        } else {
          settings.permissionsPassword = passwords.read("permissions password");
        }
      }
    } catch (const PasswordRefused& refused) {
      errors << prefix << refused.what() << "; nothing was changed\n";
      return kRefused;
    }
    if (!settings.openPassword.empty() && settings.openPassword == settings.permissionsPassword) {
      // Whoever opens the document would hold every right.
      errors << prefix << "the open password and the permissions password must differ; nothing was changed\n";
      return kRefused;
    }
    if (request.permissions) settings.permissions = *request.permissions;
    if (request.protectPrintJobs) settings.protectPrintJobs = *request.protectPrintJobs;
    settings.store();
    out << "Stored the Distiller's security settings in " << hiveFileOf(HKEY_CURRENT_USER) << ".\n";
    describe(settings, out);
    return kDone;
  } catch (const SecuritySettingsError& error) {
    errors << prefix << error.what() << "\n";
    return kStoreFailed;
  }
}

}  // namespace vd
