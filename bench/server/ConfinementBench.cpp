// What confining the interpreters costs: small PostScript files and small Word documents
// converted by the server's own conversion lanes (vellumdk-lane, as `vellumdkd --jobs N`
// runs them, each with its warm engine and workers), one lane with confined workers and one
// whose workers act as if the kernel could not confine them (VELLUMDOCK_SIMULATE_NO_CONFINEMENT=1),
// interleaved; then the first Word document of a fresh lane, which starts its workers and
// the office suite, in both kinds, in turn.
//
//   bench_confinement [--rounds N] [--markdown FILE] [--corpus FOLDER]
#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/support/BenchProgram.h"
#include "bench/support/Interleaved.h"
#include "bench/support/Report.h"
#include "server/PathNames.h"
#include "server/daemon/LanePool.h"

namespace {

using namespace vd::bench;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kUnconfined = "VELLUMDOCK_SIMULATE_NO_CONFINEMENT";

// One lane of the server, confined or not, started on its first file and kept warm.
class Lane {
 public:
  explicit Lane(bool confined) : confined_(confined), pool_(1, std::string(VD_BUILD_HELPER_DIR) + "/vellumdk-lane") {}

  // Converts input to output; true when the lane reported no failure.
  bool convert(const std::string& input, const std::string& output) {
    // The lane, and the workers it starts, take the environment when it starts.
    if (!confined_) setenv(kUnconfined, "1", 1);
    const std::optional<std::string> refused = pool_.start(
        0,
        vd::LaneJob{
            output, input, vd::GetExtension(input), false, fs::path(input).parent_path().string(), {}, {}, {}, false});
    unsetenv(kUnconfined);
    if (refused) {
      std::fprintf(stderr, "the lane refused %s: %s\n", input.c_str(), refused->c_str());
      return false;
    }
    for (;;) {
      if (const std::optional<vd::LaneFinished> finished = pool_.wait(1000, [](std::size_t, const std::string&) {})) {
        if (finished->failure) std::fprintf(stderr, "%s: %s\n", input.c_str(), finished->failure->c_str());
        return !finished->failure;
      }
    }
  }

 private:
  bool confined_;
  vd::daemon::LanePool pool_;
};

std::string secondsText(double seconds) {
  std::ostringstream text;
  text.precision(2);
  text << std::fixed << seconds;
  return text.str();
}

// The first Word document of fresh lanes, confined and not in turn: the lane, its engine,
// both workers and the office suite start for it.
std::string firstDocumentTable(const std::string& document, const std::string& scratch, int rounds) {
  std::vector<double> times[2];
  for (int round = 0; round < rounds; ++round) {
    for (const bool confined : {round % 2 == 0, round % 2 != 0}) {
      Lane lane(confined);
      const auto start = Clock::now();
      if (!lane.convert(document, scratch + "/first.pdf")) throw std::runtime_error("a fresh lane failed on " + document);
      times[confined ? 0 : 1].push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
  }
  const Spread confined = SpreadOf(times[0]);
  const Spread unconfined = SpreadOf(times[1]);
  return "The first document of a fresh lane (" + fs::path(document).filename().string() +
         ": the lane, its workers and the office suite start), " + std::to_string(rounds) +
         " lanes of each kind in turn:\n\n| | confined | unconfined | ratio |\n|---|---|---|---|\n| seconds | " +
         secondsText(confined.median) + " (" + secondsText(confined.low) + "–" + secondsText(confined.high) + ") | " +
         secondsText(unconfined.median) + " (" + secondsText(unconfined.low) + "–" + secondsText(unconfined.high) +
         ") | " + secondsText(confined.median / unconfined.median) + " |\n\n";
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  const BenchOptions options = ParseBenchOptions(argc, argv, VD_CORPUS_DIR);
  setenv("VELLUMDOCK_HELPER_DIR", VD_BUILD_HELPER_DIR, 0);
  setenv("VELLUMDOCK_PROGRAM_DIR", VD_BUILD_PROGRAM_DIR, 0);
  unsetenv(kUnconfined);
  try {
    const ScratchFolder scratch("confinement");
    std::vector<BenchCase> cases;
    for (const char* file : {"ps/alphabet.ps", "ps/colorcir.ps", "ps/escher.ps", "ps/snowflak.ps", "eps/golfer.eps"}) {
      const std::string path = options.corpus + "/" + file;
      cases.push_back({file, "PostScript", {path}, FileBytes(path)});
    }
    for (const char* file : {"doc/SampleDoc.doc", "doc/Lists.doc", "doc/Word95.doc", "doc/table-merges.doc",
                             "rtf/message.rtf", "rtf/testUnicode.rtf"}) {
      const std::string path = options.corpus + "/" + file;
      cases.push_back({file, "Word documents", {path}, FileBytes(path)});
    }
    Lane confined(true);
    Lane unconfined(false);
    InterleavedRuns runs({{"confined",
                           [&](const BenchCase& c, const std::string& out, double&) {
                             return confined.convert(c.inputs.front(), out);
                           }},
                          {"unconfined",
                           [&](const BenchCase& c, const std::string& out, double&) {
                             return unconfined.convert(c.inputs.front(), out);
                           }}},
                         scratch.path());
    runs.run(cases, options.rounds);

    using Measure = Target::Measure;
    const std::vector<Target> targets{
        {"small PostScript files through a lane, confined against unconfined", Measure::Time, 1, 1.1, {}, "PostScript"},
        {"small Word documents through a lane, confined against unconfined", Measure::Time, 1, 1.1, {}, "Word documents"}};
    std::string report = Report("Confined interpreters against unconfined ones, through the server's lanes", runs,
                                options.rounds, targets);
    report += firstDocumentTable(options.corpus + "/doc/SampleDoc.doc", scratch.path(), 2 * ((options.rounds + 1) / 2));
    Publish(report, options.markdown);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench_confinement: %s\n", error.what());
    return 1;
  }
  return 0;
}
