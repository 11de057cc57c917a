#include "server/convert/ConvertCommand.h"

namespace vd::convert {
namespace {

ConvertCommand usage(std::string problem) {
  ConvertCommand command;
  command.action = ConvertCommand::Action::Usage;
  command.problem = std::move(problem);
  return command;
}

}  // namespace

ConvertCommand ParseConvertCommand(const std::vector<std::string>& arguments) {
  ConvertCommand command;
  std::vector<std::string> operands;
  bool optionsEnded = false;
  for (const std::string& argument : arguments) {
    if (optionsEnded || argument.empty() || argument[0] != '-' || argument == "-") {
      operands.push_back(argument);
    } else if (argument == "--") {
      optionsEnded = true;
    } else if (argument == "--help" || argument == "-h") {
      command.action = ConvertCommand::Action::Help;
    } else if (argument == "--version") {
      if (command.action != ConvertCommand::Action::Help) command.action = ConvertCommand::Action::Version;
    } else if (argument == "--json") {
      command.json = true;
    } else if (argument == "--security" || argument == "--no-security") {
      command.security = argument == "--security";
    } else {
      return usage("unknown option '" + argument + "'");
    }
  }
  if (command.action != ConvertCommand::Action::Convert) return command;
  if (operands.size() != 2) return usage("expected OUTPUT and INPUT, got " + std::to_string(operands.size()) + " names");
  if (operands[0].empty() || operands[1].empty()) return usage("OUTPUT and INPUT must not be empty");
  command.output = operands[0];
  command.input = operands[1];
  return command;
}

std::string ConvertHelpText() {
  return "Usage: vellumdk-convert [--json] [--security|--no-security] [--] OUTPUT INPUT\n"
         "Converts INPUT into the PDF OUTPUT with the converter the scan cycle would choose\n"
         "for INPUT's extension, with the same arguments. INPUT is never removed.\n"
         "\n"
         "  --json         on success, print {\"output\", \"pages\", \"bytes\", \"seconds\"}\n"
         "  --security     apply the distiller's security settings\n"
         "  --no-security  do not apply them (default: the stored \"Use security\" option)\n"
         "  --help         show this text and exit\n"
         "  --version      show the version and exit\n"
         "\n"
         "Exit status: 0 a complete, non-empty PDF was written; 1 the conversion failed\n"
         "(the reason on standard error); 2 bad arguments or OUTPUT is INPUT itself;\n"
         "3 INPUT is missing, unreadable or not a regular file.\n";
}

}  // namespace vd::convert
