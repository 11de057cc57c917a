// The command line of vellumdk-convert and its exit codes, as the README documents them.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vd::convert {

inline constexpr int kExitConverted = 0;      // a complete, non-empty PDF was written
inline constexpr int kExitFailed = 1;         // the conversion failed; the reason is on standard error
inline constexpr int kExitUsage = 2;          // bad arguments, or OUTPUT names the input itself
inline constexpr int kExitNoInput = 3;        // INPUT is missing, unreadable or not a regular file

struct ConvertCommand {
  enum class Action { Convert, Help, Version, Usage };
  Action action = Action::Convert;
  std::string output;
  std::string input;
  bool json = false;
  // Over the stored "Use security" option when given.
  std::optional<bool> security;
  // Over the stored text recognition ("OCR") when given; "" turns it off.
  std::optional<std::string> ocrLanguages;
  std::string problem;  // for Usage
};

// The arguments after the program name.
ConvertCommand ParseConvertCommand(const std::vector<std::string>& arguments);

std::string ConvertHelpText();

}  // namespace vd::convert
