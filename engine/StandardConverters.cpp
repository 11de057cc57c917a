// The registration list: one line per converter. A new kind of input is a folder under
// converters/ and a line here; the order of the lines is the order of the dispatch table.
#include "engine/StandardConverters.h"

#include <memory>

#include "converters/autocad/AutoCADConverter.h"
#include "converters/crystalreport/CrystalReportConverter.h"
#include "converters/excel/ExcelConverter.h"
#include "converters/image/ImageConverter.h"
#include "converters/joining/JoiningConverters.h"
#include "converters/postscript/PostScriptConverter.h"
#include "converters/powerpoint/PowerPointConverter.h"
#include "converters/publisher/PublisherConverter.h"
#include "converters/svg/SvgConverter.h"
#include "converters/textfile/TextFileConverter.h"
#include "converters/visio/VisioConverter.h"
#include "converters/word/WordConverter.h"

namespace vd {

ConverterRegistry StandardConverters() {
  ConverterRegistry converters;
  converters.add(std::make_unique<PostScriptConverter>());
  converters.add(std::make_unique<ExcelConverter>());
  converters.add(std::make_unique<PowerPointConverter>());
  converters.add(std::make_unique<WordConverter>());
  converters.add(std::make_unique<PublisherConverter>());
  converters.add(std::make_unique<AutoCADConverter>());
  // A file of an extension no row names is taken for text.
  converters.addFallback(std::make_unique<TextFileConverter>());
  converters.add(std::make_unique<CrystalReportConverter>());
  converters.add(std::make_unique<VisioConverter>());
  converters.add(std::make_unique<ImageConverter>());
  converters.add(std::make_unique<JoiningConverter>());
  converters.add(std::make_unique<PaddedJoiningConverter>());
  converters.add(std::make_unique<SvgConverter>());
  return converters;
}

}  // namespace vd
