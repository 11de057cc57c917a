#include "AutostartEntries.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

#include "RegistryHive.h"
#include "common/Environment.h"
#include "common/Errors.h"
#include "common/Locations.h"
#include "common/ReplacementFile.h"
#include "common/Text.h"
#include "platform/HiveStorage.h"

namespace vd {
namespace {

constexpr const char* kSuffix = ".desktop";
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

// The arguments of a Windows command line: white space separates, double quotes group,
// 2n backslashes before a quote give n and the quote counts, 2n+1 give n and a literal
// quote, other backslashes are literal.
std::vector<std::string> splitWindowsCommandLine(const std::string& line) {
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

std::string quoteExecArgument(const std::string& argument) {
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

struct EntryFields {
  bool hasData = false;
  std::string data;
  std::string exec;
  bool hidden = false;
};

EntryFields parseEntry(const std::string& content) {
  EntryFields fields;
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

}  // namespace

AutostartEntries::AutostartEntries(std::string directory) : directory_(std::move(directory)) {}

std::string AutostartEntries::machineDirectory() {
  const std::string list = environmentText("XDG_CONFIG_DIRS");
  std::size_t start = 0;
  while (start <= list.size()) {
    const auto colon = list.find(':', start);
    const std::string entry = list.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
    if (!entry.empty() && entry.front() == '/') {
      std::string trimmed = entry;
      while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
      return trimmed + "/autostart";
    }
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  return "/etc/xdg/autostart";
}

bool AutostartEntries::usableName(const std::string& name) {
  if (name.empty() || name.front() == '.') return false;
  if (name.size() > 200) return false;
  for (const char c : name) {
    if (c == '/' || c == '\0' || c == '\n' || c == '\r') return false;
  }
  return true;
}

std::string AutostartEntries::findEntry(const std::string& name) const {
  const std::string exact = directory_ + "/" + name + kSuffix;
  struct stat info {};
  if (lstat(exact.c_str(), &info) == 0 && S_ISREG(info.st_mode)) return exact;
  DIR* listing = opendir(directory_.c_str());
  if (listing == nullptr) return "";
  const std::string wanted = hive::foldCase(name + kSuffix);
  std::string found;
  while (const dirent* entry = readdir(listing)) {
    const std::string file = entry->d_name;
    if (hive::foldCase(file) == wanted) {
      found = directory_ + "/" + file;
      break;
    }
  }
  closedir(listing);
  return found;
}

std::int32_t AutostartEntries::read(const std::string& name, std::string& data) const {
  if (!usableName(name)) return ERROR_FILE_NOT_FOUND;
  const std::string path = findEntry(name);
  if (path.empty()) return ERROR_FILE_NOT_FOUND;
  if (!hive::modeBitsAllowRead(path)) return ERROR_ACCESS_DENIED;
  std::ifstream file(path, std::ios::binary);
  if (!file) return errno == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED;
  std::ostringstream content;
  content << file.rdbuf();
  const EntryFields fields = parseEntry(content.str());
  // A hidden entry is one an administrator switched off: it counts as absent.
  if (fields.hidden) return ERROR_FILE_NOT_FOUND;
  data = fields.hasData ? fields.data : fields.exec;
  return ERROR_SUCCESS;
}

// The main window registers itself under the Windows path its installer used
// ("C:\Program Files\Vellumdock\vellumdk.exe"). That path names nothing here, so the
// Exec= line starts the program installed on this machine instead; the stored data keeps
// the text as written.
static std::string localProgramFor(const std::string& program) {
  const auto separator = program.find_last_of("\\/");
  const std::string name = separator == std::string::npos ? program : program.substr(separator + 1);
  if (toLowerAscii(name) == "vellumdk.exe" && program.find('\\') != std::string::npos) {
    return programDir() + "/vellumdk";
  }
  return program;
}

std::string AutostartEntries::execValueFor(const std::string& commandLine) {
  std::string exec;
  for (const std::string& argument : splitWindowsCommandLine(commandLine)) {
    exec += exec.empty() ? quoteExecArgument(localProgramFor(argument)) : ' ' + quoteExecArgument(argument);
  }
  return exec;
}

std::int32_t AutostartEntries::write(const std::string& name, const std::string& data) {
  if (!usableName(name) || data.find('\0') != std::string::npos) return ERROR_INVALID_PARAMETER;
  if (!hive::directoryWritable(directory_)) return ERROR_ACCESS_DENIED;
  if (!ensureDirectory(directory_, 0755)) return ERROR_ACCESS_DENIED;
  std::string target = findEntry(name);
  if (target.empty()) target = directory_ + "/" + name + kSuffix;

  std::string content = "[Desktop Entry]\nType=Application\n";
  content += "Name=" + escapeValue(name) + "\n";
  content += "Exec=" + escapeValue(execValueFor(data)) + "\n";
  content += std::string(kDataKey) + "=" + escapeValue(data) + "\n";

  // A reader (the session starting up) never sees half an entry.
  std::optional<ReplacementFile> entry;
  try {
    entry.emplace(target);
  } catch (const FileError&) {
    return ERROR_ACCESS_DENIED;
  }
  try {
    entry->write(content);
    entry->commit(0644);
  } catch (const FileError&) {
    return ERROR_REGISTRY_IO_FAILED;
  }
  return ERROR_SUCCESS;
}

std::int32_t AutostartEntries::remove(const std::string& name) {
  if (!usableName(name)) return ERROR_FILE_NOT_FOUND;
  if (!hive::directoryWritable(directory_)) return ERROR_ACCESS_DENIED;
  const std::string path = findEntry(name);
  if (path.empty()) return ERROR_FILE_NOT_FOUND;
  if (unlink(path.c_str()) != 0) return errno == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED;
  return ERROR_SUCCESS;
}

}  // namespace vd
