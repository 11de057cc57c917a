// Visio.Application on the office suite. A drawing prints as the application prints to a
// printer: the suite writes the drawing's print stream (every page) into a private
// temporary folder, the stream goes to the document's printer through the print subsystem
// (outside/printing/), whose driver runs here and returns when the job is out, and the
// temporary folder goes whatever happened.
#pragma once

#include <memory>

#include "outside/ApplicationInterfaces.h"
#include "outside/office/OfficeSuite.h"
#include "outside/printing/PrinterDriver.h"

namespace vd {

std::unique_ptr<VisioApplication> MakeVisioStandIn(std::shared_ptr<OfficeSuite> suite,
                                                   PrinterDriverFactories drivers);

}  // namespace vd
