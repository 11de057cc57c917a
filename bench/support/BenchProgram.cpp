#include "bench/support/BenchProgram.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>
#include <utility>
#include <vector>

namespace vd::bench {
namespace {

std::string option(int argc, char** argv, const std::string& name, const std::string& fallback) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (argv[i] == name) return argv[i + 1];
  }
  return fallback;
}

}  // namespace

BenchOptions ParseBenchOptions(int argc, char** argv, const std::string& defaultCorpus) {
  BenchOptions options;
  options.rounds = std::max(1, std::atoi(option(argc, argv, "--rounds", "5").c_str()));
  options.markdown = option(argc, argv, "--markdown", "");
  options.corpus = option(argc, argv, "--corpus", defaultCorpus);
  return options;
}

ScratchFolder::ScratchFolder(const std::string& name) {
  std::string pattern = "/tmp/vellumdock-bench-" + name + "-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("cannot make a scratch folder " + pattern);
  path_ = buffer.data();
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

Converter Ours(std::function<void(const BenchCase&, const std::string& output)> convert) {
  return {"ours", [convert = std::move(convert)](const BenchCase& c, const std::string& out, double&) {
            try {
              convert(c, out);
              return true;
            } catch (const std::exception& error) {
              std::fprintf(stderr, "ours failed on %s: %s\n", c.label.c_str(), error.what());
              return false;
            }
          }};
}

void Publish(const std::string& report, const std::string& markdown) {
  std::fputs(report.c_str(), stdout);
  if (!markdown.empty()) std::ofstream(markdown) << report;
}

}  // namespace vd::bench
