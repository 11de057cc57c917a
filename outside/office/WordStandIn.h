// Word.Application on the office suite. The document is opened by the suite when it is
// printed: the settings made before (orientation, page numbers) are collected on the way
// and applied to the suite's copy of the document, which is never saved.
#pragma once

#include <memory>

#include "outside/ApplicationInterfaces.h"
#include "outside/office/OfficeSuite.h"

namespace vd {

std::unique_ptr<WordApplication> MakeWordStandIn(std::shared_ptr<OfficeSuite> suite);

}  // namespace vd
