// Counts of the conversions a daemon has finished since it started, by converter: how
// many succeeded and failed, and how long they took, in the buckets a monitoring system
// reads as a histogram.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>

namespace vd {

// The upper bounds of the duration buckets, in seconds: from a small image (a tenth of a
// second) to a job at the default job bound (600 s).
inline constexpr std::array<double, 12> kConversionSecondsBuckets = {0.1, 0.25, 0.5, 1,  2.5, 5,
                                                                     10,  30,   60,  120, 300, 600};

struct ConverterCounts {
  std::uint64_t converted = 0;
  std::uint64_t failed = 0;
  // By bucket: the conversions that took at most its bound (each counts in every bucket
  // its time fits, as the histogram format wants).
  std::array<std::uint64_t, kConversionSecondsBuckets.size()> atMost{};
  double seconds = 0;  // all of them together

  std::uint64_t total() const { return converted + failed; }
};

class ConversionStats {
 public:
  // converter as ConverterName gives it.
  void record(const std::string& converter, bool converted, double seconds);
  const std::map<std::string, ConverterCounts>& byConverter() const { return byConverter_; }

 private:
  std::map<std::string, ConverterCounts> byConverter_;
};

}  // namespace vd
