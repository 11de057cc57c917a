#include "fuzz/FuzzTargets.h"

#include <cstdio>
#include <cstdlib>

namespace vd::fuzz {

void Require(bool holds, const char* promise) {
  if (holds) return;
  std::fprintf(stderr, "broken promise: %s\n", promise);
  std::abort();
}

}  // namespace vd::fuzz
