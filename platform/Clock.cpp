#include "Clock.h"

#include <chrono>

namespace vd {
namespace {

class SteadyClock : public Clock {
 public:
  double seconds() override {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
  }
  std::int64_t wallNanoseconds() override {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
  }
};

}  // namespace

template <>
Clock& Seam<Clock>::defaultInstance() {
  static SteadyClock instance;
  return instance;
}

}  // namespace vd
