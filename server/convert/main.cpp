// vellumdk-convert: one file converted as the scan cycle would convert it, for scripts and
// for schedulers that run one unit of work per file. See ConvertHelpText for the exit codes.
#include <QCoreApplication>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "common/IgnoringErrors.h"
#include "common/Locations.h"
#include "common/Paths.h"
#include "platform/SettingsStore.h"
#include "server/Options.h"
#include "server/convert/ConvertCommand.h"
#include "server/convert/SingleConversion.h"

namespace {

using vd::convert::RecognitionSettings;

constexpr const char* kProgram = "vellumdk-convert";

// The stored "Use security" option; clear when it cannot be read, as a fresh window shows it.
bool storedSecurity() {
  std::optional<bool> stored;
  vd::ignoringErrors([&] { stored = vd::toCheckState(vd::settingsStore().read(vd::option::Security, "0")); });
  return stored.value_or(false);
}

// The stored text recognition, with the languages given on the command line over it; none
// when the store's cannot be read.
RecognitionSettings recognitionSettings(const std::optional<std::string>& languages) {
  RecognitionSettings recognition;
  vd::ignoringErrors([&] {
    recognition.languages = vd::toLanguageList(vd::settingsStore().read(vd::option::OCR, "")).value_or("");
    recognition.turnUpright = vd::toCheckState(vd::settingsStore().read(vd::option::OCRRotate, "0")).value_or(false);
  });
  if (languages) recognition.languages = *languages;
  return recognition;
}

void printError(const std::string& text) {
  std::string line = std::string(kProgram) + ": " + text;
  for (char& c : line) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace vd::convert;
  vd::makeLocationVariablesAbsolute();
  QCoreApplication application(argc, argv);
  ConvertCommand command = ParseConvertCommand(std::vector<std::string>(argv + 1, argv + argc));
  switch (command.action) {
    case ConvertCommand::Action::Help:
      std::fputs(ConvertHelpText().c_str(), stdout);
      return kExitConverted;
    case ConvertCommand::Action::Version:
      std::printf("%s (Vellumdock) %s\n", kProgram, VD_VERSION);
      return kExitConverted;
    case ConvertCommand::Action::Usage:
      std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", kProgram, command.problem.c_str(),
                   kProgram);
      return kExitUsage;
    case ConvertCommand::Action::Convert:
      break;
  }
  // The converters hand both paths to helpers and printers that run in folders of their
  // own; a shell loop's relative names must mean what they meant here.
  command.output = vd::absolutePath(command.output);
  command.input = vd::absolutePath(command.input);
  const bool security = command.security.value_or(storedSecurity());
  const ConversionOutcome outcome =
      ConvertOneFile(command.output, command.input, security, recognitionSettings(command.ocrLanguages),
                     [](const std::string& line) { printError(line); });
  if (outcome.exitCode != kExitConverted) {
    printError(outcome.problem);
    return outcome.exitCode;
  }
  if (command.json) std::printf("%s\n", OutcomeJson(command.output, outcome).c_str());
  return kExitConverted;
}
