#include "server/FolderConfig.h"

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>

#include "common/Text.h"
#include "outside/ocr/RecognitionReports.h"

namespace vd {
namespace {

constexpr int kMostSeconds = 32767;

std::string trimBlanks(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return std::string(text);
}

std::optional<bool> parseYesNo(const std::string& text) {
  const std::string word = toLowerAscii(text);
  if (word == "yes" || word == "true" || word == "on" || word == "1") return true;
  if (word == "no" || word == "false" || word == "off" || word == "0") return false;
  return std::nullopt;
}

std::optional<std::int16_t> parseSeconds(const std::string& text) {
  if (text.empty() || text.size() > 5 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  const int value = std::stoi(text);
  if (value < 1 || value > kMostSeconds) return std::nullopt;
  return static_cast<std::int16_t>(value);
}

// The named parts of a path, ".." among them: no empty parts (doubled or trailing
// slashes) and no ".".
std::vector<std::string> partsOf(std::string_view path) {
  std::vector<std::string> parts;
  while (!path.empty()) {
    const std::size_t end = std::min(path.find('/'), path.size());
    const std::string_view part = path.substr(0, end);
    if (!part.empty() && part != ".") parts.emplace_back(part);
    path.remove_prefix(std::min(end + 1, path.size()));
  }
  return parts;
}

std::string folderOfParts(const std::vector<std::string>& parts) {
  std::string folder;
  for (const std::string& part : parts) folder += "/" + part;
  return folder.empty() ? "/" : folder;
}

// A folder as written, made absolute and free of "." and ".." parts and doubled slashes,
// so that one folder named twice is seen as one. A ".." after a link goes up from where
// the link leads, as the system would go, not back over the link's own name.
std::string absoluteFolder(const std::string& written, const std::string& baseFolder) {
  std::vector<std::string> parts;
  for (std::string& part : partsOf(written.front() == '/' ? written : baseFolder + "/" + written)) {
    if (part != "..") {
      parts.push_back(std::move(part));
      continue;
    }
    const std::string sofar = folderOfParts(parts);
    struct stat facts {};
    char resolved[PATH_MAX];
    if (::lstat(sofar.c_str(), &facts) == 0 && S_ISLNK(facts.st_mode) &&
        ::realpath(sofar.c_str(), resolved) != nullptr) {
      parts = partsOf(resolved);
    }
    if (!parts.empty()) parts.pop_back();
  }
  return folderOfParts(parts);
}

struct Section {
  WatchedFolder folder;
  int line = 0;
  std::map<std::string, int> keyLines;
};

FolderConfig refuse(int line, std::string problem) {
  FolderConfig config;
  config.problem = FolderConfigProblem{line, std::move(problem)};
  return config;
}

}  // namespace

FolderConfig ParseFolderConfig(std::string_view text, const std::string& baseFolder) {
  std::vector<Section> sections;
  int lineNumber = 0;
  while (!text.empty()) {
    ++lineNumber;
    const std::size_t end = std::min(text.find('\n'), text.size());
    std::string_view raw = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    if (std::any_of(raw.begin(), raw.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 && c != '\t'; })) {
      return refuse(lineNumber, "a control character in the line");
    }
    const std::string line = trimBlanks(raw);
    if (line.empty() || line.front() == '#' || line.front() == ';') continue;
    if (line.front() == '[') {
      const std::string name = line.back() == ']' ? trimBlanks(std::string_view(line).substr(1, line.size() - 2)) : "";
      if (line.back() != ']' || name.empty() || name.find_first_of("[]") != std::string::npos) {
        return refuse(lineNumber, "a section starts with a name in brackets, as [sales]");
      }
      for (const Section& other : sections) {
        if (other.folder.name == name) {
          return refuse(lineNumber,
                        "the section [" + name + "] is there already (line " + std::to_string(other.line) + ")");
        }
      }
      Section section;
      section.folder.name = name;
      section.folder.settings.seconds = kConfigDefaultSeconds;
      section.folder.settings.overwrite = kConfigDefaultOverwrite;
      section.folder.settings.security = kConfigDefaultSecurity;
      section.line = lineNumber;
      sections.push_back(std::move(section));
      continue;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) return refuse(lineNumber, "expected a key = value line or a [section]");
    const std::string key = toLowerAscii(trimBlanks(std::string_view(line).substr(0, equals)));
    const std::string value = trimBlanks(std::string_view(line).substr(equals + 1));
    if (sections.empty()) return refuse(lineNumber, "'" + key + "' comes before the first [section]");
    Section& section = sections.back();
    ScanSettings& settings = section.folder.settings;
    if (key == "input" || key == "output") {
      if (value.empty()) return refuse(lineNumber, key + " needs a folder");
      (key == "input" ? settings.inputDir : settings.outputDir) = absoluteFolder(value, baseFolder);
    } else if (key == "overwrite" || key == "security" || key == "ocr-rotate") {
      const std::optional<bool> set = parseYesNo(value);
      if (!set) return refuse(lineNumber, key + " takes yes or no, not '" + value + "'");
      (key == "overwrite" ? settings.overwrite : key == "security" ? settings.security : settings.ocrRotate) = *set;
    } else if (key == "ocr") {
      // Only names the recogniser may be given: none can point at a file of its own choosing.
      if (!value.empty() && !ocrworker::IsLanguageList(value)) {
        return refuse(lineNumber, "ocr takes language names joined by '+' (eng, eng+deu), not '" + value + "'");
      }
      settings.ocrLanguages = value;
    } else if (key == "interval") {
      const std::optional<std::int16_t> seconds = parseSeconds(value);
      if (!seconds) return refuse(lineNumber, "interval takes whole seconds from 1 to 32767, not '" + value + "'");
      settings.seconds = *seconds;
    } else {
      return refuse(lineNumber, "unknown key '" + key +
                                    "' (the keys are input, output, overwrite, security, interval, ocr, ocr-rotate)");
    }
    if (const auto [at, added] = section.keyLines.emplace(key, lineNumber); !added) {
      return refuse(lineNumber, key + " is given already (line " + std::to_string(at->second) + ")");
    }
  }
  if (sections.empty()) return refuse(0, "no folder is configured: add a [section] with its input and output");
  FolderConfig config;
  std::map<std::string, int> inputLines;
  for (Section& section : sections) {
    for (const char* key : {"input", "output"}) {
      if (section.keyLines.count(key) == 0) {
        return refuse(section.line, "the section [" + section.folder.name + "] has no " + key + " folder");
      }
    }
    const int inputLine = section.keyLines["input"];
    if (const auto [at, added] = inputLines.emplace(section.folder.settings.inputDir, inputLine); !added) {
      return refuse(inputLine, "the input folder " + section.folder.settings.inputDir + " is scanned by line " +
                                   std::to_string(at->second) + " already");
    }
    config.folders.push_back(std::move(section.folder));
  }
  return config;
}

}  // namespace vd
