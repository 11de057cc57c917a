// The keys of the settings store and the conversion of its texts to numbers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

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
}  // namespace option

inline constexpr const char* kDefaultWinCaption = "save pdf file as";

// A decimal number as a 16-bit signed integer; a fraction goes to the nearest whole
// number, a half to the even one. Nothing for text that is not a plain decimal number
// or lies outside -32768..32767.
std::optional<std::int16_t> toInt16(const std::string& text);
// A check state: 0 clear, 1 set; nothing for anything else.
std::optional<bool> toCheckState(const std::string& text);
inline std::string checkStateText(bool set) { return set ? "1" : "0"; }

}  // namespace vd
