#include "server/daemon/DaemonOptions.h"

#include <algorithm>

#include "server/Options.h"

namespace vd::daemon {
namespace {

constexpr std::int16_t kFallbackSeconds = 5;

// A whole number from lowest to highest in plain digits: no sign, no spaces, no exponent.
std::optional<int> parseWholeNumber(const std::string& text, int lowest, int highest) {
  if (text.empty() || text.size() > std::to_string(highest).size()) return std::nullopt;
  if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) return std::nullopt;
  const int value = std::stoi(text);
  if (value < lowest || value > highest) return std::nullopt;
  return value;
}

// Whole seconds from 1 to 32767: the interval box's range.
std::optional<std::int16_t> parseSeconds(const std::string& text) {
  const std::optional<int> value = parseWholeNumber(text, 1, 32767);
  if (!value) return std::nullopt;
  return static_cast<std::int16_t>(*value);
}

// Lanes are processes with warm engines of their own: far more than the cores of any
// machine buys nothing but memory.
constexpr int kMostJobs = 256;
// A bound on what a client may send, not on what a folder takes: a terabyte is no document.
constexpr int kMostUploadMegabytes = 65536;

DaemonCommand usage(std::string problem) {
  DaemonCommand command;
  command.action = DaemonCommand::Action::Usage;
  command.problem = std::move(problem);
  return command;
}

}  // namespace

DaemonCommand ParseDaemonCommand(const std::vector<std::string>& arguments) {
  DaemonCommand command;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::string option = arguments[i];
    std::optional<std::string> attached;
    if (const auto equals = option.find('='); option.rfind("--", 0) == 0 && equals != std::string::npos) {
      attached = option.substr(equals + 1);
      option.resize(equals);
    } else if (option.size() > 2 && option.rfind("-j", 0) == 0) {
      // "-j4", as make and most tools take it.
      attached = option.substr(2);
      option.resize(2);
    }
    const auto value = [&]() -> std::optional<std::string> {
      if (attached) return attached;
      if (i + 1 >= arguments.size()) return std::nullopt;
      return arguments[++i];
    };
    const auto flag = [&](std::optional<bool>& into, bool set) {
      if (attached) return false;
      into = set;
      return true;
    };
    if (option == "--help" || option == "-h") {
      command.action = DaemonCommand::Action::Help;
    } else if (option == "--version") {
      if (command.action != DaemonCommand::Action::Help) command.action = DaemonCommand::Action::Version;
    } else if (option == "--input" || option == "--output") {
      const std::optional<std::string> directory = value();
      if (!directory || directory->empty()) return usage(option + " needs a directory");
      (option == "--input" ? command.overrides.inputDir : command.overrides.outputDir) = *directory;
    } else if (option == "--interval") {
      const std::optional<std::string> text = value();
      if (!text) return usage("--interval needs a number of seconds");
      const std::optional<std::int16_t> seconds = parseSeconds(*text);
      if (!seconds) return usage("--interval takes whole seconds from 1 to 32767, not '" + *text + "'");
      command.overrides.seconds = seconds;
    } else if (option == "--jobs" || option == "-j") {
      const std::optional<std::string> text = value();
      if (!text) return usage(option + " needs a number of files");
      command.jobs = parseWholeNumber(*text, 1, kMostJobs);
      if (!command.jobs) return usage(option + " takes a whole number from 1 to 256, not '" + *text + "'");
    } else if (option == "--config") {
      const std::optional<std::string> file = value();
      if (!file || file->empty()) return usage("--config needs a file");
      command.configFile = *file;
    } else if (option == "--overwrite" || option == "--no-overwrite") {
      if (!flag(command.overrides.overwrite, option == "--overwrite")) return usage(option + " takes no value");
    } else if (option == "--security" || option == "--no-security") {
      if (!flag(command.overrides.security, option == "--security")) return usage(option + " takes no value");
    } else if (option == "--listen") {
      const std::optional<std::string> text = value();
      if (!text) return usage("--listen needs ADDRESS:PORT");
      std::string problem;
      command.listen = http::ParseListenAddress(*text, problem);
      if (!command.listen) return usage(problem);
    } else if (option == "--listen-token-file") {
      const std::optional<std::string> file = value();
      if (!file || file->empty()) return usage("--listen-token-file needs a file");
      command.tokenFile = *file;
    } else if (option == "--max-upload-mb") {
      const std::optional<std::string> text = value();
      if (!text) return usage("--max-upload-mb needs a number of megabytes");
      const std::optional<int> megabytes = parseWholeNumber(*text, 1, kMostUploadMegabytes);
      if (!megabytes) return usage("--max-upload-mb takes a whole number from 1 to 65536, not '" + *text + "'");
      command.maxUploadMegabytes = *megabytes;
    } else if (option == "--ocr") {
      const std::optional<std::string> text = value();
      if (!text) return usage("--ocr needs a list of languages such as eng or eng+deu");
      command.overrides.ocrLanguages = toLanguageList(*text);
      if (!command.overrides.ocrLanguages) {
        return usage("--ocr takes language names joined by '+' (eng, eng+deu), not '" + *text + "'");
      }
    } else {
      return usage("unknown argument '" + arguments[i] + "'");
    }
  }
  if (command.action == DaemonCommand::Action::Run) {
    if (command.tokenFile && !command.listen) return usage("--listen-token-file needs --listen");
    // Anyone who reaches the address could see the folders' files and send documents.
    if (command.listen && !command.listen->loopback && !command.tokenFile) {
      return usage("--listen on " + command.listen->host + ", which is not a loopback address, needs --listen-token-file");
    }
  }
  const ScanOverrides& given = command.overrides;
  if (command.configFile && command.action == DaemonCommand::Action::Run &&
      (given.inputDir || given.outputDir || given.seconds || given.overwrite || given.security || given.ocrLanguages)) {
    return usage(
        "--config gives each folder its own settings: --input, --output, --interval, --overwrite, "
        "--security and --ocr cannot be added to it");
  }
  return command;
}

ScanSettings ApplyOverrides(ScanSettings stored, const ScanOverrides& overrides) {
  if (overrides.inputDir) stored.inputDir = *overrides.inputDir;
  if (overrides.outputDir) stored.outputDir = *overrides.outputDir;
  if (overrides.seconds) stored.seconds = *overrides.seconds;
  if (stored.seconds < 1) stored.seconds = kFallbackSeconds;
  if (overrides.overwrite) stored.overwrite = *overrides.overwrite;
  if (overrides.security) stored.security = *overrides.security;
  if (overrides.ocrLanguages) stored.ocrLanguages = *overrides.ocrLanguages;
  return stored;
}

std::string DaemonHelpText() {
  return "Usage: vellumdkd [OPTION]...\n"
         "Converts the files that appear in the input directory into PDFs in the output\n"
         "directory, pass after pass, without a window. Settings come from the same store\n"
         "as the window program's; the options below override them for this run only.\n"
         "\n"
         "  --input DIR        the directory scanned for files\n"
         "  --output DIR       the directory the PDFs are written to\n"
         "  --interval SECONDS seconds between passes, 1 to 32767\n"
         "  --overwrite        replace an existing PDF of the same name\n"
         "  --no-overwrite     number the new PDF instead (name_1.pdf, ...)\n"
         "  --security         apply the distiller's security settings\n"
         "  --no-security      do not apply them\n"
         "  --ocr LANGS        give scanned pages a text layer, recognised in the\n"
         "                     languages LANGS (eng, eng+deu, ...); \"\" for none\n"
         "  --config FILE      serve the folders of FILE instead: one section per folder\n"
         "                     with its input, output, overwrite, security, interval and ocr\n"
         "  -j, --jobs N       convert up to N files at once, each in a lane process of\n"
         "                     its own (default: one per core, at most one per GiB of\n"
         "                     available memory); 1 converts one file after the other\n"
         "  --listen ADDRESS:PORT\n"
         "                     serve a status page, health (/health), metrics (/metrics)\n"
         "                     and conversions (POST /convert) over HTTP; a loopback\n"
         "                     address (127.0.0.1, [::1], localhost) unless a token is given\n"
         "  --listen-token-file FILE\n"
         "                     every request must carry the token in FILE (Authorization:\n"
         "                     Bearer TOKEN, or as a browser's password); then any address\n"
         "  --max-upload-mb N  the largest document POST /convert takes (default 100)\n"
         "  --help             show this text and exit\n"
         "  --version          show the version and exit\n"
         "\n"
         "Each log line goes to standard output as it is written; each failed file adds a\n"
         "line on standard error with its name and the reason. SIGTERM or SIGINT stops\n"
         "after the conversions in progress.\n"
         "\n"
         "Exit status: 0 stopped by a signal, 1 could not start, 2 bad arguments,\n"
         "3 a directory is missing or cannot be used, 4 another instance scans the input\n"
         "directory, 5 the runtime folder cannot hold the input directory's claim.\n";
}

}  // namespace vd::daemon
