#include "server/Dispatch.h"

#include <optional>
#include <stdexcept>

#include "engine/CreatePDF.h"
#include "server/DistillerLogWatch.h"

namespace vd {

void ConvertWithEngine(CreatePDF& engine, const DispatchCall& call) {
  const DistillerLogWatch distillerLog(call.out);
  engine.convertFile(call.out, call.in, call.ext, call.security);
  if (const std::optional<std::string> failure = distillerLog.failure(call.in)) throw std::runtime_error(*failure);
}

ScriptRunEnd Dispatch(CreatePDF& engine, const DispatchCall& call, ScriptRunContext& scriptContext) {
  // No converter's row takes "scr", so looking at it first keeps the table's order.
  if (call.ext == "scr") return RunScript(scriptContext, call.in, call.out);
  ConvertWithEngine(engine, call);
  return ScriptRunEnd::Finished;
}

}  // namespace vd
