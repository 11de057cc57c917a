// Replays stored inputs through a fuzz target without libFuzzer, so every test run checks
// the seeds and the inputs that once broke a parser:
//   vd_fuzz_replay TARGET DIRECTORY...
// feeds each file of each directory (a missing directory holds nothing) to the target.
// A broken promise aborts; the replay fails too when no directory holds any input.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "fuzz/FuzzTargets.h"

namespace {

using Target = int (*)(const std::uint8_t*, std::size_t);

const std::map<std::string, Target>& targets() {
  using namespace vd::fuzz;
  static const std::map<std::string, Target> byName = {
      {"ScriptEntries", FuzzScriptEntries}, {"JpegFacts", FuzzJpegFacts},           {"PngFacts", FuzzPngFacts},
      {"BmpResolution", FuzzBmpResolution}, {"RegistryValues", FuzzRegistryValues}, {"MountInfo", FuzzMountInfo},
      {"DesktopEntry", FuzzDesktopEntry},   {"TextContent", FuzzTextContent},       {"SvgDrawing", FuzzSvgDrawing},
      {"FolderConfig", FuzzFolderConfig},   {"HttpTexts", FuzzHttpTexts},
  };
  return byName;
}

std::vector<std::string> filesIn(const std::string& directory) {
  std::vector<std::string> files;
  DIR* handle = opendir(directory.c_str());
  if (handle == nullptr) return files;
  while (const dirent* entry = readdir(handle)) {
    const std::string path = directory + "/" + entry->d_name;
    struct stat info {};
    if (entry->d_name[0] != '.' && stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) files.push_back(path);
  }
  closedir(handle);
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || targets().count(argv[1]) == 0) {
    std::fprintf(stderr, "usage: vd_fuzz_replay TARGET DIRECTORY...\ntargets:");
    for (const auto& [name, target] : targets()) std::fprintf(stderr, " %s", name.c_str());
    std::fprintf(stderr, "\n");
    return 2;
  }
  const Target target = targets().at(argv[1]);
  int replayed = 0;
  for (int i = 2; i < argc; ++i) {
    for (const std::string& path : filesIn(argv[i])) {
      std::ifstream file(path, std::ios::binary);
      const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
      std::fprintf(stderr, "%s\n", path.c_str());
      target(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
      ++replayed;
    }
  }
  std::printf("%s: %d inputs replayed\n", argv[1], replayed);
  return replayed > 0 ? 0 : 1;
}
