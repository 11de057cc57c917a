// Everything outside the engine that the engine creates, as one set of factories handed
// to CreatePDF when it is made. RealStandIns() is the set the program runs with; a test
// hands in a set of its own (or one with slots left empty). Creating through an empty
// slot raises an engine error that names the component: "<name> is not available."
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "engine/AcrobatInterface.h"
#include "engine/ApplicationInterfaces.h"
#include "engine/EngineError.h"
#include "engine/PrinterDriver.h"

namespace vd {

template <class Made>
using StandInFactory = std::function<std::unique_ptr<Made>()>;

struct StandInFactories {
  // The viewer's automation objects.
  StandInFactory<AcroPDDoc> pdfDocument;
  StandInFactory<AcroAVDoc> viewerDocument;
  StandInFactory<AcroApp> viewerApp;
  // The eventful Distiller and the security-capable one.
  StandInFactory<DistillerObject> distiller;
  StandInFactory<DistillerObject> secureDistiller;
  // The applications of the office and print-dialog converters.
  StandInFactory<WordApplication> word;
  StandInFactory<ExcelApplication> excel;
  StandInFactory<PowerPointApplication> powerPoint;
  StandInFactory<PublisherApplication> publisher;
  StandInFactory<VisioApplication> visio;
  StandInFactory<AutoCADApplication> autoCAD;
  StandInFactory<CrystalReportsApplication> crystalReports;
  // The drivers of the printers in the printer table, by driver name.
  PrinterDriverFactories printerDrivers;
};

// The stand-ins of outside/ (defined there); the engine's default.
StandInFactories RealStandIns();

// Creates through slot; an empty slot is an engine error naming the component.
template <class Made>
std::unique_ptr<Made> CreateStandIn(const StandInFactory<Made>& slot, const std::string& componentName) {
  if (!slot) throw EngineError(componentName + " is not available.");
  std::unique_ptr<Made> made = slot();
  if (!made) throw EngineError(componentName + " is not available.");
  return made;
}

}  // namespace vd
