#include "server/ScriptRun.h"

#include "engine/NotAvailable.h"

namespace vd {

ScriptRunEnd RunScript(ScriptRunContext&, const std::string&, const std::string&) {
  RaiseNotAvailable("The script run");
}

}  // namespace vd
