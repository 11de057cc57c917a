#include "engine/CreatePDF.h"

#include "engine/NotAvailable.h"

namespace vd {

void CreatePDF::SetDefPrinter(std::string /*strPrinter*/) { RaiseNotAvailable("SetDefPrinter"); }

}  // namespace vd
