#include "server/convert/ConvertCommand.h"

#include "server/Options.h"

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
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
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
    } else if (argument == "--ocr" || argument.rfind("--ocr=", 0) == 0) {
      std::string text;
      if (argument == "--ocr") {
        if (i + 1 >= arguments.size()) return usage("--ocr needs a list of languages such as eng or eng+deu");
        text = arguments[++i];
      } else {
        text = argument.substr(6);
      }
      command.ocrLanguages = toLanguageList(text);
      if (!command.ocrLanguages) {
        return usage("--ocr takes language names joined by '+' (eng, eng+deu), not '" + text + "'");
      }
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
  return "Usage: vellumdk-convert [--json] [--security|--no-security] [--ocr LANGS] [--] OUTPUT INPUT\n"
         "Converts INPUT into the PDF OUTPUT with the converter the scan cycle would choose\n"
         "for INPUT's extension, with the same arguments. INPUT is never removed.\n"
         "\n"
         "  --json         on success, print {\"output\", \"pages\", \"bytes\", \"seconds\"}\n"
         "  --security     apply the distiller's security settings\n"
         "  --no-security  do not apply them (default: the stored \"Use security\" option)\n"
         "  --ocr LANGS    give scanned pages a text layer, recognised in the languages\n"
         "                 LANGS (eng, eng+deu, ...); \"\" for none (default: the stored\n"
         "                 \"OCR\" setting)\n"
         "  --help         show this text and exit\n"
         "  --version      show the version and exit\n"
         "\n"
         "Exit status: 0 a complete, non-empty PDF was written; 1 the conversion failed\n"
         "(the reason on standard error); 2 bad arguments or OUTPUT is INPUT itself;\n"
         "3 INPUT is missing, unreadable or not a regular file.\n";
}

}  // namespace vd::convert
