// Elapsed time for deadlines, and the wall clock for seeding.
#pragma once

#include <cstdint>

#include "common/Seam.h"

namespace vd {

class Clock {
 public:
  virtual ~Clock() = default;
  // Seconds on a monotonic clock.
  virtual double seconds() = 0;
  // Nanoseconds since the epoch, for seeding random generators.
  virtual std::int64_t wallNanoseconds() = 0;
};

template <>
Clock& Seam<Clock>::defaultInstance();
inline Clock& clock() { return Seam<Clock>::get(); }

}  // namespace vd
