// What the converter benchmarks share around their tables: the command line, a scratch
// folder that goes when the program ends, the engine as the first converter of a run, and
// where the report goes.
#pragma once

#include <functional>
#include <string>

#include "bench/support/Interleaved.h"

namespace vd::bench {

struct BenchOptions {
  int rounds = 5;
  std::string markdown;  // a file the report is also written to; "" for none
  std::string corpus;    // the sample files
};

// --rounds N, --markdown FILE, --corpus FOLDER.
BenchOptions ParseBenchOptions(int argc, char** argv, const std::string& defaultCorpus);

// /tmp/vellumdock-bench-NAME-XXXXXX, removed with everything in it when the object ends.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& name);
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The engine's call as the converter "ours": what it throws is printed and counts as a
// failed conversion, so one bad case does not end the run.
Converter Ours(std::function<void(const BenchCase&, const std::string& output)> convert);

// Prints the report and writes it to the markdown file when one was asked for.
void Publish(const std::string& report, const std::string& markdown);

}  // namespace vd::bench
