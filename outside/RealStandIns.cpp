// The stand-ins the program runs with: the viewer's objects on qpdf (its metafiles drawn
// by the office suite), the Distiller on the PostScript interpreter's worker, the printer
// drivers of outside/printing, Word on the office suite's worker, and Excel, PowerPoint,
// Publisher and Visio there too (Visio prints through the printer drivers of this set).
// AutoCAD and Crystal Reports have none on Linux: their slots say so.
#include "outside/StandInFactories.h"

#include <unistd.h>

#include <stdexcept>

#include "outside/acrobat/QpdfDocument.h"
#include "outside/acrobat/Viewer.h"
#include "outside/distiller/GhostscriptDistiller.h"
#include "outside/ghostscript/GhostscriptRunner.h"
#include "outside/office/ExcelStandIn.h"
#include "outside/office/OfficeSuite.h"
#include "outside/office/PresentationStandIns.h"
#include "outside/office/VisioStandIn.h"
#include "outside/office/WordStandIn.h"
#include "outside/printing/PrintSubmission.h"

namespace vd {
namespace {

// Both Distillers are available when the interpreter's worker program is installed.
std::unique_ptr<DistillerObject> makeDistiller(bool securityCapable) {
  const std::string worker = GhostscriptWorkerPath();
  if (access(worker.c_str(), X_OK) != 0) {
    throw std::runtime_error("Acrobat Distiller is not available: " + worker + " is missing.");
  }
  return std::make_unique<GhostscriptDistiller>(securityCapable);
}

void requireOfficeWorker(const char* application) {
  const std::string worker = OfficeWorkerPath();
  if (access(worker.c_str(), X_OK) != 0) {
    throw std::runtime_error(std::string(application) + " is not available: " + worker + " is missing.");
  }
}

}  // namespace

StandInFactories RealStandIns() {
  StandInFactories standIns;
  // One office suite for the applications of one set, and for the viewer's metafiles,
  // ended with the set.
  const auto suite = std::make_shared<OfficeSuite>();
  standIns.pdfDocument = [] { return std::make_unique<QpdfDocument>(); };
  standIns.viewerDocument = [suite](const TextRecognition& recognition) {
    return std::make_unique<ViewerDocument>(suite, recognition);
  };
  standIns.viewerApp = [] { return std::make_unique<Viewer>(); };
  standIns.distiller = [] { return makeDistiller(false); };
  standIns.secureDistiller = [] { return makeDistiller(true); };
  standIns.printerDrivers = RealPrinterDrivers();
  standIns.word = [suite] {
    requireOfficeWorker("Word.Application");
    return MakeWordStandIn(suite);
  };
  standIns.excel = [suite] {
    requireOfficeWorker("Excel.Application");
    return MakeExcelStandIn(suite);
  };
  standIns.powerPoint = [suite] {
    requireOfficeWorker("Powerpoint.Application");
    return MakePowerPointStandIn(suite);
  };
  standIns.publisher = [suite] {
    requireOfficeWorker("Publisher.Application");
    return MakePublisherStandIn(suite);
  };
  standIns.visio = [suite, drivers = standIns.printerDrivers] {
    requireOfficeWorker("Visio.Application");
    return MakeVisioStandIn(suite, drivers);
  };
  // No program on this system reads these formats: the converters fail with the reason.
  standIns.autoCAD = []() -> std::unique_ptr<AutoCADApplication> {
    throw std::runtime_error(
        "AutoCAD.Application is not available: no program on this system reads AutoCAD drawings (.dwg).");
  };
  standIns.crystalReports = []() -> std::unique_ptr<CrystalReportsApplication> {
    throw std::runtime_error(
        "CrystalRuntime.Application is not available: no program on this system reads Crystal Reports (.rpt).");
  };
  return standIns;
}

}  // namespace vd
