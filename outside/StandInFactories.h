// Everything outside the engine that the engine creates, as one set of factories handed
// to CreatePDF when it is made. RealStandIns() is the set the program runs with; a test
// hands in a set of its own, or one with slots left empty. The engine raises an error
// naming the component ("Word.Application is not available.") for an empty slot.
#pragma once

#include <functional>
#include <memory>

#include "outside/AcrobatInterface.h"
#include "outside/ApplicationInterfaces.h"
#include "outside/ocr/TextRecognition.h"
#include "outside/printing/PrinterDriver.h"

namespace vd {

template <class Made, class... Arguments>
using StandInFactory = std::function<std::unique_ptr<Made>(Arguments...)>;

struct StandInFactories {
  // The viewer's automation objects.
  StandInFactory<AcroPDDoc> pdfDocument;
  // The pictures a viewer's window opens get a text layer as the conversion's recognition
  // says (SearchableScans.h).
  StandInFactory<AcroAVDoc, const TextRecognition&> viewerDocument;
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

// The stand-ins of outside/: the engine's default. A factory whose component cannot be
// made (its worker program is missing) throws std::runtime_error saying why.
StandInFactories RealStandIns();

}  // namespace vd
