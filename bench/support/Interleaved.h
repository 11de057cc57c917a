// Runs every converter on every case in interleaved rounds: within a round each case is
// converted by each converter in turn, and the order of the converters turns by one
// from case to case, so a noisy neighbour on the machine touches every converter alike.
// Before the first round each converter converts the first case once, uncounted, so none
// pays alone for a cold cache or a first start.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace vd::bench {

struct BenchCase {
  std::string label;              // shown in the tables
  std::string sizeClass;          // cases of a class are summed per round
  std::vector<std::string> inputs;
  long long inputBytes = 0;       // all inputs together
};

struct Converter {
  std::string name;
  // Makes output from the case's inputs; false when it failed. A converter that times
  // itself (a library inside another process) sets seconds; otherwise the call is timed.
  std::function<bool(const BenchCase&, const std::string& output, double& seconds)> convert;
};

struct Outcome {
  std::vector<double> seconds;  // one a counted round
  long long outputBytes = -1;   // of the last round's output; -1 when it failed
  int pages = -1;
  bool failed = false;
};

struct Spread {
  double median = 0;
  double low = 0;
  double high = 0;
};

Spread SpreadOf(std::vector<double> values);

class InterleavedRuns {
 public:
  InterleavedRuns(std::vector<Converter> converters, std::string scratch);

  // Prints one line a finished case on stderr, so a long run shows it is alive.
  void run(const std::vector<BenchCase>& cases, int rounds);

  const std::vector<Converter>& converters() const { return converters_; }
  const std::vector<BenchCase>& cases() const { return cases_; }
  // outcome(case, converter)
  const Outcome& outcome(std::size_t caseIndex, std::size_t converter) const;
  // The sum over a class's cases of one converter's times, one sum a round.
  std::vector<double> classTotals(const std::string& sizeClass, std::size_t converter) const;
  std::vector<std::string> sizeClasses() const;

 private:
  std::vector<Converter> converters_;
  std::string scratch_;
  std::vector<BenchCase> cases_;
  std::vector<std::vector<Outcome>> outcomes_;
};

// Pages of a PDF; -1 when it cannot be read.
int PdfPageCount(const std::string& path);
long long FileBytes(const std::string& path);
// Runs a program with arguments (no shell), its output discarded; true on exit status 0.
bool RunQuietly(const std::string& program, const std::vector<std::string>& arguments);

}  // namespace vd::bench
