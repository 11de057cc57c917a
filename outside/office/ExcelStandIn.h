// Excel.Application on the office suite. The page setup made on a sheet and the range
// printed are collected and applied to the suite's copy of the workbook when the range is
// printed; the workbook itself is never saved.
#pragma once

#include <memory>

#include "outside/ApplicationInterfaces.h"
#include "outside/office/OfficeSuite.h"

namespace vd {

std::unique_ptr<ExcelApplication> MakeExcelStandIn(std::shared_ptr<OfficeSuite> suite);

}  // namespace vd
