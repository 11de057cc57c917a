#include "bench/support/Report.h"

#include <cstdio>
#include <sstream>

namespace vd::bench {
namespace {

std::string format(const char* pattern, double value) {
  char text[64];
  std::snprintf(text, sizeof text, pattern, value);
  return text;
}

std::string milliseconds(const std::vector<double>& seconds) {
  if (seconds.empty()) return "-";
  const Spread spread = SpreadOf(seconds);
  return format("%.1f", spread.median * 1000) + " (" + format("%.1f", spread.low * 1000) + "–" +
         format("%.1f", spread.high * 1000) + ")";
}

std::string kilobytes(long long bytes) { return bytes < 0 ? "failed" : format("%.1f", static_cast<double>(bytes) / 1024); }

std::string ratio(double ours, double theirs) {
  return ours > 0 && theirs > 0 ? format("%.2f×", ours / theirs) : "-";
}

std::string row(const std::vector<std::string>& cells) {
  std::string line = "|";
  for (const std::string& cell : cells) line += " " + cell + " |";
  return line + "\n";
}

std::string rule(std::size_t columns) {
  std::string line = "|";
  for (std::size_t i = 0; i < columns; ++i) line += "---|";
  return line + "\n";
}

double medianSeconds(const Outcome& outcome) { return outcome.failed ? 0 : SpreadOf(outcome.seconds).median; }

// The ratio a target asks about for one case; 0 when it cannot be computed.
double caseRatio(const InterleavedRuns& runs, std::size_t index, const Target& target) {
  const Outcome& ours = runs.outcome(index, 0);
  const Outcome& theirs = runs.outcome(index, target.reference);
  if (target.measure == Target::Measure::Seconds) return medianSeconds(ours);
  if (ours.failed || theirs.failed) return 0;
  if (target.measure == Target::Measure::Size) {
    return theirs.outputBytes > 0 ? static_cast<double>(ours.outputBytes) / static_cast<double>(theirs.outputBytes) : 0;
  }
  const double reference = medianSeconds(theirs);
  return reference > 0 ? medianSeconds(ours) / reference : 0;
}

}  // namespace

std::string Report(const std::string& title, const InterleavedRuns& runs, int rounds, const std::vector<Target>& targets) {
  const std::vector<Converter>& converters = runs.converters();
  const std::vector<BenchCase>& cases = runs.cases();
  const std::string& ours = converters.front().name;
  std::ostringstream out;
  out << "## " << title << "\n\n";
  out << "Median of " << rounds << " interleaved rounds in ms, (min–max); ratios are " << ours
      << " over each reference, times from the medians, sizes from the output bytes.\n\n";

  std::vector<std::string> heading{"file", "class", "in KB", "pages"};
  for (const Converter& converter : converters) heading.push_back(converter.name + " ms");
  for (std::size_t c = 1; c < converters.size(); ++c) heading.push_back("time /" + converters[c].name);
  for (const Converter& converter : converters) heading.push_back(converter.name + " KB");
  for (std::size_t c = 1; c < converters.size(); ++c) heading.push_back("size /" + converters[c].name);
  out << row(heading) << rule(heading.size());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    std::vector<std::string> cells{cases[i].label, cases[i].sizeClass,
                                   kilobytes(cases[i].inputBytes), ""};
    for (std::size_t c = 0; c < converters.size(); ++c) {
      const Outcome& outcome = runs.outcome(i, c);
      if (c > 0) cells[3].push_back('/');
      cells[3].append(outcome.failed ? std::string("failed") : std::to_string(outcome.pages));
      cells.push_back(outcome.failed ? "failed" : milliseconds(outcome.seconds));
    }
    const Outcome& first = runs.outcome(i, 0);
    for (std::size_t c = 1; c < converters.size(); ++c) {
      cells.push_back(ratio(medianSeconds(first), medianSeconds(runs.outcome(i, c))));
    }
    for (std::size_t c = 0; c < converters.size(); ++c) cells.push_back(kilobytes(runs.outcome(i, c).outputBytes));
    for (std::size_t c = 1; c < converters.size(); ++c) {
      cells.push_back(ratio(static_cast<double>(first.outputBytes), static_cast<double>(runs.outcome(i, c).outputBytes)));
    }
    out << row(cells);
  }

  out << "\nPer size class: the class's files summed in each round, median (min–max) of those sums in ms.\n\n";
  std::vector<std::string> classHeading{"class", "files"};
  for (const Converter& converter : converters) classHeading.push_back(converter.name + " ms");
  for (std::size_t c = 1; c < converters.size(); ++c) classHeading.push_back("time /" + converters[c].name);
  for (std::size_t c = 1; c < converters.size(); ++c) classHeading.push_back("size /" + converters[c].name);
  out << row(classHeading) << rule(classHeading.size());
  for (const std::string& sizeClass : runs.sizeClasses()) {
    int files = 0;
    std::vector<long long> bytes(converters.size(), 0);
    // A class sum that leaves out a file one side failed on compares nothing.
    std::vector<bool> failed(converters.size(), false);
    for (std::size_t i = 0; i < cases.size(); ++i) {
      if (cases[i].sizeClass != sizeClass) continue;
      ++files;
      for (std::size_t c = 0; c < converters.size(); ++c) {
        bytes[c] += std::max(0LL, runs.outcome(i, c).outputBytes);
        if (runs.outcome(i, c).failed) failed[c] = true;
      }
    }
    std::vector<std::string> cells{sizeClass, std::to_string(files)};
    for (std::size_t c = 0; c < converters.size(); ++c) cells.push_back(milliseconds(runs.classTotals(sizeClass, c)));
    const double oursTotal = SpreadOf(runs.classTotals(sizeClass, 0)).median;
    for (std::size_t c = 1; c < converters.size(); ++c) {
      cells.push_back(failed[0] || failed[c] ? "-" : ratio(oursTotal, SpreadOf(runs.classTotals(sizeClass, c)).median));
    }
    for (std::size_t c = 1; c < converters.size(); ++c) {
      cells.push_back(failed[0] || failed[c] ? "-" : ratio(static_cast<double>(bytes[0]), static_cast<double>(bytes[c])));
    }
    out << row(cells);
  }

  if (!targets.empty()) {
    out << "\nTargets:\n\n" << row({"target", "limit", "measured", "met"}) << rule(4);
    for (const Target& target : targets) {
      const bool seconds = target.measure == Target::Measure::Seconds;
      std::string against = "s, ours";
      if (!seconds) {
        against = target.measure == Target::Measure::Time ? "time vs " : "size vs ";
        against += converters.at(target.reference).name;
      }
      const char* unit = seconds ? " s" : "×";
      std::string measured;
      bool met = true;
      if (!target.sizeClass.empty()) {
        const double value = SpreadOf(runs.classTotals(target.sizeClass, 0)).median /
                             SpreadOf(runs.classTotals(target.sizeClass, target.reference)).median;
        measured = target.sizeClass + " class total " + format("%.2f×", value);
        met = value <= target.limit;
      }
      for (const std::string& label : target.cases) {
        for (std::size_t i = 0; i < cases.size(); ++i) {
          if (cases[i].label != label) continue;
          const double value = caseRatio(runs, i, target);
          measured += (measured.empty() ? "" : "; ") + label + " " + (value > 0 ? format("%.2f", value) + unit : "failed");
          met = met && value > 0 && value <= target.limit;
        }
      }
      out << row({target.what, format(seconds ? "≤ %.1f " : "≤ %.2f× ", target.limit) + against, measured,
                  met ? "yes" : "**no**"});
    }
  }
  out << "\n";
  return out.str();
}

}  // namespace vd::bench
