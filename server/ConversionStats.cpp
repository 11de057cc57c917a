#include "server/ConversionStats.h"

namespace vd {

void ConversionStats::record(const std::string& converter, bool converted, double seconds) {
  ConverterCounts& counts = byConverter_[converter];
  ++(converted ? counts.converted : counts.failed);
  counts.seconds += seconds;
  for (std::size_t i = 0; i < kConversionSecondsBuckets.size(); ++i) {
    if (seconds <= kConversionSecondsBuckets[i]) ++counts.atMost[i];
  }
}

}  // namespace vd
