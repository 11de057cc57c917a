#include "platform/MountTable.h"

#include <array>
#include <fstream>
#include <sstream>

#include "common/Text.h"

namespace vd {
namespace {

// mountinfo writes space, tab, newline and backslash in names as \ooo.
std::string unescape(const std::string& field) {
  std::string plain;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      const std::string digits = field.substr(i + 1, 3);
      if (digits.size() == 3 && digits.find_first_not_of("01234567") == std::string::npos) {
        plain.push_back(static_cast<char>(std::stoi(digits, nullptr, 8)));
        i += 3;
        continue;
      }
    }
    plain.push_back(field[i]);
  }
  return plain;
}

}  // namespace

template <>
MountTable& Seam<MountTable>::defaultInstance() {
  static LinuxMountTable instance;
  return instance;
}

std::vector<MountEntry> LinuxMountTable::mounts() {
  std::ifstream file("/proc/self/mountinfo");
  std::stringstream text;
  text << file.rdbuf();
  return ParseMountInfo(text.str());
}

std::vector<MountEntry> ParseMountInfo(const std::string& text) {
  // id parent major:minor root mount-point options [optional fields...] - type source super-options
  std::vector<MountEntry> entries;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    // Fields are separated by single blanks; the kernel escapes blanks, tabs, line ends and
    // backslashes in names, but no other white space: a mount point may hold a carriage
    // return or a form feed as it is.
    std::vector<std::string> words;
    std::istringstream fields(line);
    for (std::string word; std::getline(fields, word, ' ');) {
      if (!word.empty()) words.push_back(word);
    }
    std::size_t separator = 6;
    while (separator < words.size() && words[separator] != "-") ++separator;
    if (words.size() < 5 || separator + 2 >= words.size()) continue;
    entries.push_back(MountEntry{unescape(words[separator + 2]), unescape(words[4]), words[separator + 1]});
  }
  return entries;
}

bool IsNetworkFileSystem(const std::string& fileSystem) {
  static constexpr std::array<const char*, 14> kNetwork = {
      "nfs", "nfs4", "cifs", "smb3", "smbfs", "sshfs", "fuse.sshfs", "9p", "afs", "ceph", "glusterfs",
      "fuse.glusterfs", "davfs", "fuse.davfs2"};
  const std::string lower = toLowerAscii(fileSystem);
  for (const char* name : kNetwork) {
    if (lower == name) return true;
  }
  return false;
}

}  // namespace vd
