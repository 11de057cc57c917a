#include "server/Options.h"

#include <cmath>
#include <cstdlib>
#include <locale>
#include <sstream>

#include "common/IgnoringErrors.h"
#include "common/Locations.h"
#include "common/Text.h"
#include "outside/ocr/RecognitionReports.h"
#include "platform/SettingsStore.h"

namespace vd {

std::optional<std::int16_t> toInt16(const std::string& text) {
  const std::string trimmed = trimSpaces(text);
  if (trimmed.empty()) return std::nullopt;
  // Only plain decimal notation: strtod alone would also take "inf", "nan" and hex.
  for (const char c : trimmed) {
    const bool allowed = (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == 'e' || c == 'E';
    if (!allowed) return std::nullopt;
  }
  std::istringstream stream(trimmed);
  stream.imbue(std::locale::classic());
  double value = 0;
  stream >> value;
  if (stream.fail() || !stream.eof() || !std::isfinite(value)) return std::nullopt;
  const double rounded = std::nearbyint(value);  // the default rounding mode: half to even
  if (rounded < -32768.0 || rounded > 32767.0) return std::nullopt;
  return static_cast<std::int16_t>(rounded);
}

std::optional<bool> toCheckState(const std::string& text) {
  const std::optional<std::int16_t> value = toInt16(text);
  if (!value || (*value != 0 && *value != 1)) return std::nullopt;
  return *value == 1;
}

std::optional<std::string> toLanguageList(const std::string& text) {
  std::string trimmed = trimSpaces(text);
  if (!trimmed.empty() && !ocrworker::IsLanguageList(trimmed)) return std::nullopt;
  return trimmed;
}

ScanSettings StoredScanSettings(std::vector<UnreadableSetting>* unreadable) {
  ScanSettings settings;
  // The program's own folder is read-only on Linux: the operator's folder is the default.
  const auto directory = [](const char* key, std::string& into) {
    ignoringErrors([&] {
      const std::optional<std::string> stored = settingsStore().read(key);
      into = stored ? *stored : defaultWorkDir();
    });
  };
  directory(option::InputDir, settings.inputDir);
  directory(option::OutputDir, settings.outputDir);
  // A stored text that is not understood leaves the value's fresh state and is noted.
  const auto number = [unreadable](const char* key, const char* fallback, auto convert, auto& into) {
    ignoringErrors([&] {
      const std::string text = settingsStore().read(key, fallback);
      if (const auto value = convert(text)) {
        into = *value;
      } else if (unreadable != nullptr) {
        unreadable->push_back(UnreadableSetting{key, text});
      }
    });
  };
  settings.seconds = 0;
  settings.overwrite = false;
  settings.security = false;
  number(option::Seconds, "5", toInt16, settings.seconds);
  number(option::Overwrite, "1", toCheckState, settings.overwrite);
  number(option::Security, "0", toCheckState, settings.security);
  number(option::OCR, "", toLanguageList, settings.ocrLanguages);
  number(option::OCRRotate, "0", toCheckState, settings.ocrRotate);
  return settings;
}

std::string DescribeUnreadableSetting(const UnreadableSetting& setting, const std::string& usedInstead) {
  std::string file;
  ignoringErrors([&] { file = settingsFilePath(); });
  std::string text = setting.storedText;
  // One log line: a line break stored in the value must not start a line of its own.
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20) c = '?';
  }
  return "The setting " + setting.key + "=" + text + " in " + file + " cannot be read; " + usedInstead +
         " is used instead.";
}

}  // namespace vd
