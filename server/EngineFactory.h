// How the server makes its conversion engine; tests hand in one that records its calls.
#pragma once

#include <functional>
#include <memory>

#include "engine/CreatePDF.h"

namespace vd {

using EngineFactory = std::function<std::unique_ptr<CreatePDF>()>;
EngineFactory defaultEngineFactory();

}  // namespace vd
