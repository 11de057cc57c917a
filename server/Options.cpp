#include "server/Options.h"

#include <cmath>
#include <cstdlib>
#include <locale>
#include <sstream>

#include "common/IgnoringErrors.h"
#include "common/Locations.h"
#include "common/Text.h"
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

ScanSettings StoredScanSettings() {
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
  ignoringErrors([&] { settings.seconds = toInt16(settingsStore().read(option::Seconds, "5")).value_or(0); });
  ignoringErrors([&] { settings.overwrite = toCheckState(settingsStore().read(option::Overwrite, "1")).value_or(false); });
  ignoringErrors([&] { settings.security = toCheckState(settingsStore().read(option::Security, "0")).value_or(false); });
  return settings;
}

}  // namespace vd
