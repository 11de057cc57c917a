#include "bench/support/Interleaved.h"

#include <sys/stat.h>

#include <QProcess>
#include <QStringList>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <stdexcept>

#include <qpdf/QPDF.hh>

namespace vd::bench {

Spread SpreadOf(std::vector<double> values) {
  if (values.empty()) return {};
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  const double median = values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
  return {median, values.front(), values.back()};
}

InterleavedRuns::InterleavedRuns(std::vector<Converter> converters, std::string scratch)
    : converters_(std::move(converters)), scratch_(std::move(scratch)) {}

void InterleavedRuns::run(const std::vector<BenchCase>& cases, int rounds) {
  cases_ = cases;
  outcomes_.assign(cases.size(), std::vector<Outcome>(converters_.size()));
  const std::size_t count = converters_.size();
  const auto outputFor = [&](std::size_t converter) {
    return scratch_ + "/out-" + std::to_string(converter) + ".pdf";
  };
  if (!cases.empty()) {
    for (std::size_t c = 0; c < count; ++c) {
      double ignored = -1;
      converters_[c].convert(cases.front(), outputFor(c), ignored);
    }
  }
  for (int round = 0; round < rounds; ++round) {
    for (std::size_t i = 0; i < cases.size(); ++i) {
      for (std::size_t turn = 0; turn < count; ++turn) {
        const std::size_t c = (turn + i + static_cast<std::size_t>(round)) % count;
        const std::string output = outputFor(c);
        std::remove(output.c_str());
        double reported = -1;
        const auto start = std::chrono::steady_clock::now();
        const bool converted = converters_[c].convert(cases[i], output, reported);
        const double seconds =
            reported >= 0 ? reported : std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        Outcome& outcome = outcomes_[i][c];
        outcome.seconds.push_back(seconds);
        if (!converted || FileBytes(output) <= 0) {
          outcome.failed = true;
          continue;
        }
        if (round == rounds - 1) {
          outcome.outputBytes = FileBytes(output);
          outcome.pages = PdfPageCount(output);
        }
      }
      if (round == rounds - 1) std::fprintf(stderr, "  measured %s\n", cases[i].label.c_str());
    }
  }
}

const Outcome& InterleavedRuns::outcome(std::size_t caseIndex, std::size_t converter) const {
  return outcomes_.at(caseIndex).at(converter);
}

std::vector<double> InterleavedRuns::classTotals(const std::string& sizeClass, std::size_t converter) const {
  std::vector<double> totals;
  for (std::size_t i = 0; i < cases_.size(); ++i) {
    if (cases_[i].sizeClass != sizeClass) continue;
    const std::vector<double>& seconds = outcomes_[i][converter].seconds;
    if (totals.size() < seconds.size()) totals.resize(seconds.size(), 0.0);
    for (std::size_t round = 0; round < seconds.size(); ++round) totals[round] += seconds[round];
  }
  return totals;
}

std::vector<std::string> InterleavedRuns::sizeClasses() const {
  std::vector<std::string> classes;
  for (const BenchCase& benchCase : cases_) {
    if (std::find(classes.begin(), classes.end(), benchCase.sizeClass) == classes.end()) {
      classes.push_back(benchCase.sizeClass);
    }
  }
  return classes;
}

int PdfPageCount(const std::string& path) {
  try {
    QPDF document;
    document.setSuppressWarnings(true);
    document.processFile(path.c_str());
    return static_cast<int>(document.getAllPages().size());
  } catch (const std::exception&) {
    return -1;
  }
}

long long FileBytes(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? static_cast<long long>(info.st_size) : -1;
}

bool RunQuietly(const std::string& program, const std::vector<std::string>& arguments) {
  QStringList list;
  for (const std::string& argument : arguments) list << QString::fromStdString(argument);
  QProcess process;
  process.setStandardOutputFile(QProcess::nullDevice());
  process.setStandardErrorFile(QProcess::nullDevice());
  process.start(QString::fromStdString(program), list);
  return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

}  // namespace vd::bench
