// The folder configuration of vellumdkd: whatever the text, a refusal names a line of it,
// and what is accepted is a set of folders the daemon can serve (absolute and distinct
// inputs, intervals in range, names of their own) that reads back the same when written
// out again (a slash after each folder, as a name ending in a blank must be written).
#include "fuzz/FuzzTargets.h"

#include <algorithm>
#include <set>

#include "server/FolderConfig.h"

namespace vd::fuzz {

int FuzzFolderConfig(const std::uint8_t* data, std::size_t size) {
  const std::string text = BytesOf(data, size);
  const FolderConfig config = ParseFolderConfig(text, "/base/of config");
  if (config.problem) {
    Require(config.folders.empty(), "a refused text configures no folder");
    const auto lines = std::count(text.begin(), text.end(), '\n') + 1;
    Require(config.problem->line >= 0 && config.problem->line <= lines, "a refusal names a line of the text");
    Require(!config.problem->problem.empty(), "a refusal says why");
    return 0;
  }
  Require(!config.folders.empty(), "an accepted text configures a folder");
  std::set<std::string> names;
  std::set<std::string> inputs;
  std::string written;
  for (const WatchedFolder& folder : config.folders) {
    const ScanSettings& settings = folder.settings;
    Require(names.insert(folder.name).second, "each section has a name of its own");
    Require(inputs.insert(settings.inputDir).second, "each input folder is scanned once");
    Require(settings.inputDir.front() == '/' && settings.outputDir.front() == '/', "folders are absolute");
    Require(settings.seconds >= 1, "the interval is at least a second");
    written += "[" + folder.name + "]\ninput=" + settings.inputDir + "/\noutput=" + settings.outputDir +
               "/\noverwrite=" + (settings.overwrite ? "yes" : "no") +
               "\nsecurity=" + (settings.security ? "on" : "off") + "\ninterval=" + std::to_string(settings.seconds) +
               "\nocr=" + settings.ocrLanguages + "\nocr-rotate=" + (settings.ocrRotate ? "1" : "0") + "\n";
  }
  const FolderConfig again = ParseFolderConfig(written, "/elsewhere");
  Require(!again.problem && again.folders.size() == config.folders.size(), "the folders read back when written out");
  for (std::size_t i = 0; i < config.folders.size(); ++i) {
    const ScanSettings& a = config.folders[i].settings;
    const ScanSettings& b = again.folders[i].settings;
    Require(config.folders[i].name == again.folders[i].name && a.inputDir == b.inputDir && a.outputDir == b.outputDir &&
                a.seconds == b.seconds && a.overwrite == b.overwrite && a.security == b.security &&
                a.ocrLanguages == b.ocrLanguages && a.ocrRotate == b.ocrRotate,
            "each folder reads back as it was");
  }
  return 0;
}

}  // namespace vd::fuzz
