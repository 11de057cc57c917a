// The converters every engine has, in the order of the scan cycle's dispatch table.
#pragma once

#include "converters/ConverterRegistry.h"

namespace vd {

ConverterRegistry StandardConverters();

}  // namespace vd
