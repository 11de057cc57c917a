#include "server/Dispatch.h"

#include <optional>
#include <stdexcept>

#include "converters/ConverterRegistry.h"
#include "engine/CreatePDF.h"
#include "engine/StandardConverters.h"
#include "server/DistillerLogWatch.h"

namespace vd {

void ConvertWithEngine(CreatePDF& engine, const DispatchCall& call) {
  const DistillerLogWatch distillerLog(call.out);
  engine.convertFile(call.out, call.in, call.ext, call.security);
  if (const std::optional<std::string> failure = distillerLog.failure(call.in)) throw std::runtime_error(*failure);
}

namespace {

// The rows as every engine has them, made once and never destroyed: names are asked for on
// threads other than the ones converting (the HTTP server's), up to the process's end.
const Converter* ConverterOfRow(const std::string& ext) {
  static const ConverterRegistry* const converters = new ConverterRegistry(StandardConverters());
  return converters->forExtension(ext);
}

}  // namespace

std::string ConverterName(const std::string& ext) {
  if (ext == "scr") return "script";
  const Converter* converter = ConverterOfRow(ext);
  return converter != nullptr ? converter->name() : std::string();
}

ConversionWeight WeightOf(const std::string& ext) {
  if (ext == "scr") return ConversionWeight::Application;
  const Converter* converter = ConverterOfRow(ext);
  return converter != nullptr ? converter->weight() : ConversionWeight::Interpreted;
}

ScriptRunEnd Dispatch(CreatePDF& engine, const DispatchCall& call, ScriptRunContext& scriptContext) {
  // No converter's row takes "scr", so looking at it first keeps the table's order.
  if (call.ext == "scr") return RunScript(scriptContext, call.in, call.out);
  ConvertWithEngine(engine, call);
  return ScriptRunEnd::Finished;
}

}  // namespace vd
