#include "server/EngineFactory.h"

namespace vd {

EngineFactory defaultEngineFactory() {
  return [] { return std::make_unique<CreatePDF>(); };
}

}  // namespace vd
