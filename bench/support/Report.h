// The tables a benchmark prints and writes into the results file: per case and per size
// class, each converter's median time with its spread, the ratio of the first converter
// (ours) to every other (the references), output sizes and page counts; then the targets
// with what was measured against them.
#pragma once

#include <string>
#include <vector>

#include "bench/support/Interleaved.h"

namespace vd::bench {

struct Target {
  // Time and Size are ratios to a reference; Seconds is our own median time.
  enum class Measure { Time, Size, Seconds };
  std::string what;
  Measure measure = Measure::Time;
  std::size_t reference = 1;  // converter index the ratio is taken against
  double limit = 1.0;         // ours / reference (or our seconds) must stay at or below this
  // Either the cases it covers (each must meet it) or a size class (its round totals).
  std::vector<std::string> cases;
  std::string sizeClass;
};

// Markdown: a heading, the per-case table, the per-class table and the targets.
std::string Report(const std::string& title, const InterleavedRuns& runs, int rounds,
                   const std::vector<Target>& targets);

}  // namespace vd::bench
