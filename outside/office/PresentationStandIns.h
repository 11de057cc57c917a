// Powerpoint.Application and Publisher.Application on the office suite. As with Word, the
// suite opens the document when it is printed, with the settings collected before.
#pragma once

#include <memory>

#include "outside/ApplicationInterfaces.h"
#include "outside/office/OfficeSuite.h"

namespace vd {

std::unique_ptr<PowerPointApplication> MakePowerPointStandIn(std::shared_ptr<OfficeSuite> suite);
std::unique_ptr<PublisherApplication> MakePublisherStandIn(std::shared_ptr<OfficeSuite> suite);

}  // namespace vd
