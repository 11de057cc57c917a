#include "scripts/ScriptFile.h"

#include "common/ReplacementFile.h"

namespace vd {

std::vector<std::string> SplitScriptLines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::string current;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(current);
      current.clear();
      if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    } else {
      current.push_back(c);
    }
  }
  if (!current.empty()) lines.push_back(current);
  return lines;
}

std::string FormatScriptFile(const std::vector<std::string>& entries) {
  std::string bytes;
  for (const std::string& entry : entries) bytes += entry + "\r\n";
  return bytes;
}

void WriteScriptFile(const std::string& path, const std::vector<std::string>& entries) {
  ReplaceFileContent(path, FormatScriptFile(entries));
}

}  // namespace vd
