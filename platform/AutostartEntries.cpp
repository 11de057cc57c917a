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

#include "RegistryHive.h"
#include "common/Environment.h"
#include "common/Errors.h"
#include "platform/DesktopEntryFormat.h"
#include "common/Locations.h"
#include "common/ReplacementFile.h"
#include "common/Text.h"
#include "platform/HiveStorage.h"

namespace vd {
namespace {

constexpr const char* kSuffix = ".desktop";

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

std::string AutostartEntries::userDirectory() {
  const std::string config = environmentText("XDG_CONFIG_HOME");
  return (!config.empty() && config.front() == '/' ? config : homeDir() + "/.config") + "/autostart";
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
  const DesktopEntryFields fields = ParseDesktopEntry(content.str());
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
  for (const std::string& argument : SplitWindowsCommandLine(commandLine)) {
    exec += exec.empty() ? QuoteExecArgument(localProgramFor(argument)) : ' ' + QuoteExecArgument(argument);
  }
  return exec;
}

std::int32_t AutostartEntries::write(const std::string& name, const std::string& data) {
  if (!usableName(name) || data.find('\0') != std::string::npos) return ERROR_INVALID_PARAMETER;
  return writeContent(name, FormatDesktopEntry(name, execValueFor(data), data));
}

std::int32_t AutostartEntries::hide(const std::string& name) {
  if (!usableName(name)) return ERROR_INVALID_PARAMETER;
  return writeContent(name, FormatHiddenDesktopEntry(name));
}

bool AutostartEntries::has(const std::string& name) const { return usableName(name) && !findEntry(name).empty(); }

std::int32_t AutostartEntries::writeContent(const std::string& name, const std::string& content) {
  if (!hive::directoryWritable(directory_)) return ERROR_ACCESS_DENIED;
  if (!ensureDirectory(directory_, 0755)) return ERROR_ACCESS_DENIED;
  std::string target = findEntry(name);
  if (target.empty()) target = directory_ + "/" + name + kSuffix;

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
