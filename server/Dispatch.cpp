#include "server/Dispatch.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "engine/CreatePDF.h"
#include "engine/StandardConverters.h"
#include "server/DistillerLogWatch.h"

namespace vd {

void ConvertWithEngine(CreatePDF& engine, const DispatchCall& call) {
  const DistillerLogWatch distillerLog(call.out);
  engine.convertFile(call.out, call.in, call.ext, call.security);
  if (const std::optional<std::string> failure = distillerLog.failure(call.in)) throw std::runtime_error(*failure);
}

std::string ConverterName(const std::string& ext) {
  if (ext == "scr") return "script";
  // The rows as every engine has them, read once: a name is asked for each outcome, on
  // threads other than the ones converting.
  struct Row {
    std::vector<std::string> extensions;
    std::string name;
  };
  static const std::pair<std::vector<Row>, std::string> table = [] {
    const ConverterRegistry converters = StandardConverters();
    std::vector<Row> rows;
    for (const auto& converter : converters.all()) rows.push_back(Row{converter->extensions(), converter->name()});
    const Converter* other = converters.forExtension("");
    return std::make_pair(std::move(rows), other != nullptr ? other->name() : std::string());
  }();
  for (const Row& row : table.first) {
    if (std::find(row.extensions.begin(), row.extensions.end(), ext) != row.extensions.end()) return row.name;
  }
  return table.second;
}

ScriptRunEnd Dispatch(CreatePDF& engine, const DispatchCall& call, ScriptRunContext& scriptContext) {
  // No converter's row takes "scr", so looking at it first keeps the table's order.
  if (call.ext == "scr") return RunScript(scriptContext, call.in, call.out);
  ConvertWithEngine(engine, call);
  return ScriptRunEnd::Finished;
}

}  // namespace vd
