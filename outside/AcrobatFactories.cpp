// Creation "by name" of the viewer's automation objects: the qpdf-based stand-ins.
#include "engine/AcrobatInterface.h"

#include "outside/acrobat/QpdfDocument.h"
#include "outside/acrobat/Viewer.h"

namespace vd {

std::unique_ptr<AcroPDDoc> CreateAcroPDDoc() { return std::make_unique<QpdfDocument>(); }
std::unique_ptr<AcroAVDoc> CreateAcroAVDoc() { return std::make_unique<ViewerDocument>(); }
std::unique_ptr<AcroApp> CreateAcroApp() { return std::make_unique<Viewer>(); }

}  // namespace vd
