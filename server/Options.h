// The keys of the settings store, the conversion of its texts to numbers, and the scan
// settings as stored.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "server/ScanSettings.h"

namespace vd {

namespace option {
inline constexpr const char* InputDir = "InputDir";
inline constexpr const char* OutputDir = "OutputDir";
inline constexpr const char* Seconds = "Seconds";
inline constexpr const char* Overwrite = "Overwrite";
inline constexpr const char* AutoRun = "AutoRun";
inline constexpr const char* Security = "Security";
inline constexpr const char* WinCaption = "WinCaption";
inline constexpr const char* ScriptDir = "ScriptDir";
inline constexpr const char* UNC = "UNC";
// Text recognition of scanned pages: a language list ("eng", "eng+deu"); empty is off.
inline constexpr const char* OCR = "OCR";
// A check state: pages recognised as turned are turned upright.
inline constexpr const char* OCRRotate = "OCRRotate";
}  // namespace option

inline constexpr const char* kDefaultWinCaption = "save pdf file as";

// A decimal number as a 16-bit signed integer; a fraction goes to the nearest whole
// number, a half to the even one. Nothing for text that is not a plain decimal number
// or lies outside -32768..32767.
std::optional<std::int16_t> toInt16(const std::string& text);
// A check state: 0 clear, 1 set; nothing for anything else.
std::optional<bool> toCheckState(const std::string& text);
// A language list for text recognition, spaces around it trimmed: "" (none), or names of
// letters, digits and "_" joined by "+". Nothing for anything else.
std::optional<std::string> toLanguageList(const std::string& text);
inline std::string checkStateText(bool set) { return set ? "1" : "0"; }

// A value in the settings store that cannot be understood, as it is stored.
struct UnreadableSetting {
  std::string key;
  std::string storedText;
};

// The scan settings in the settings store. Missing ones take their defaults: both
// directories the default work folder, an interval of 5 seconds, overwrite set, security
// clear, no text recognition. A value that cannot be read or understood leaves what a
// fresh window shows: no directory, an interval of 0, the option clear, no recognition;
// it is added to `unreadable` when given, so that the front end can say so once.
ScanSettings StoredScanSettings(std::vector<UnreadableSetting>* unreadable = nullptr);
// The log line for an unreadable value: its key, its text, the settings file and what is
// used instead.
std::string DescribeUnreadableSetting(const UnreadableSetting& setting, const std::string& usedInstead);

}  // namespace vd
