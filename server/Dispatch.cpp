#include "server/Dispatch.h"

#include "engine/CreatePDF.h"

namespace vd {

void ConvertWithEngine(CreatePDF& engine, const DispatchCall& call) {
  engine.convertFile(call.out, call.in, call.ext, call.security);
}

ScriptRunEnd Dispatch(CreatePDF& engine, const DispatchCall& call, ScriptRunContext& scriptContext) {
  // No converter's row takes "scr", so looking at it first keeps the table's order.
  if (call.ext == "scr") return RunScript(scriptContext, call.in, call.out);
  ConvertWithEngine(engine, call);
  return ScriptRunEnd::Finished;
}

}  // namespace vd
