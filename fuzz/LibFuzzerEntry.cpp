// The entry libFuzzer calls; each fuzz program is built from this file with
// VD_FUZZ_FUNCTION naming its target.
#include "fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return vd::fuzz::VD_FUZZ_FUNCTION(data, size);
}
