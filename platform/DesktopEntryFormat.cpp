#include "platform/DesktopEntryFormat.h"

#include <sstream>

namespace vd {
namespace {

constexpr const char* kDataKey = "X-Vellumdock-Data";

// String escaping of desktop-entry values.
std::string escapeValue(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case ' ': out += i == 0 ? "\\s" : " "; break;
      default: out += c;
    }
  }
  return out;
}

std::string unescapeValue(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char next = text[++i];
    switch (next) {
      case 's': out += ' '; break;
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      case 'r': out += '\r'; break;
      case '\\': out += '\\'; break;
      default: out += '\\'; out += next;
    }
  }
  return out;
}

}  // namespace

std::vector<std::string> SplitWindowsCommandLine(const std::string& line) {
  std::vector<std::string> arguments;
  std::string current;
  bool inArgument = false;
  bool quoted = false;
  for (std::size_t i = 0; i < line.size();) {
    const char c = line[i];
    if ((c == ' ' || c == '\t' || c == '\n' || c == '\r') && !quoted) {
      if (inArgument) arguments.push_back(current);
      current.clear();
      inArgument = false;
      ++i;
      continue;
    }
    inArgument = true;
    if (c == '\\') {
      std::size_t count = 0;
      while (i < line.size() && line[i] == '\\') {
        ++count;
        ++i;
      }
      if (i < line.size() && line[i] == '"') {
        current.append(count / 2, '\\');
        if (count % 2 == 1) {
          current += '"';
          ++i;
        }
      } else {
        current.append(count, '\\');
      }
      continue;
    }
    if (c == '"') {
      quoted = !quoted;
      ++i;
      continue;
    }
    current += c;
    ++i;
  }
  if (inArgument) arguments.push_back(current);
  return arguments;
}

std::string QuoteExecArgument(const std::string& argument) {
  static const std::string reserved = " \t\n\"'\\><~|&;$*?#()`";
  std::string escaped;
  bool needsQuotes = argument.empty();
  for (const char c : argument) {
    if (reserved.find(c) != std::string::npos) needsQuotes = true;
    if (c == '%') {
      escaped += "%%";  // a lone % would start a field code
    } else {
      escaped += c;
    }
  }
  if (!needsQuotes) return escaped;
  std::string quoted = "\"";
  for (const char c : escaped) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

DesktopEntryFields ParseDesktopEntry(const std::string& content) {
  DesktopEntryFields fields;
  std::istringstream lines(content);
  std::string line;
  bool inMainGroup = false;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      inMainGroup = line == "[Desktop Entry]";
      continue;
    }
    if (!inMainGroup) continue;
    const auto equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string key = line.substr(0, equals);
    while (!key.empty() && key.back() == ' ') key.pop_back();
    std::string value = line.substr(equals + 1);
    while (!value.empty() && value.front() == ' ') value.erase(0, 1);
    if (key == kDataKey) {
      fields.hasData = true;
      fields.data = unescapeValue(value);
    } else if (key == "Exec") {
      fields.exec = unescapeValue(value);
    } else if (key == "Hidden") {
      fields.hidden = value == "true";
    }
  }
  return fields;
}

std::string FormatDesktopEntry(const std::string& name, const std::string& execValue, const std::string& data) {
  std::string content = "[Desktop Entry]\nType=Application\n";
  content += "Name=" + escapeValue(name) + "\n";
  content += "Exec=" + escapeValue(execValue) + "\n";
  content += std::string(kDataKey) + "=" + escapeValue(data) + "\n";
  return content;
}

std::string FormatHiddenDesktopEntry(const std::string& name) {
  return "[Desktop Entry]\nType=Application\nName=" + escapeValue(name) + "\nHidden=true\n";
}

}  // namespace vd
