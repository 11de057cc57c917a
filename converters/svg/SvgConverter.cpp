#include "converters/svg/SvgConverter.h"

#include "common/IgnoringErrors.h"
#include "converters/EngineObject.h"
#include "converters/ErrorPolicy.h"
#include "converters/svg/SvgDrawing.h"
#include "outside/office/OfficeJobs.h"
#include "outside/office/OfficeSuite.h"
#include "platform/FileSystem.h"

namespace vd {

SvgConverter::SvgConverter() = default;
SvgConverter::~SvgConverter() = default;

void SvgConverter::run(EngineObject& engine, const std::string& strPDFFile, const std::string& strSvgFile,
                       std::monostate& /*options*/) {
  if (!engine.FileExists(strSvgFile)) engine.RaiseMissingInput(strSvgFile);
  std::string drawingFile;
  std::string printFile;
  const auto removeTemporaries = [&] {
    // They are in the engine's private folder; one left there is removed with the next.
    for (const std::string* temporary : {&drawingFile, &printFile}) {
      if (!temporary->empty()) ignoringErrors([&] { fileSystem().deleteFile(*temporary); });
    }
  };
  try {
    const std::string drawing = ReadSvgDrawing(strSvgFile);
    const std::string stem = engine.TempFilePath() + engine.GetRandomStem();
    // The suite reads the checked copy, never the dropped file, which may change meanwhile.
    drawingFile = stem + ".svg";
    fileSystem().writeFile(drawingFile, drawing);
    printFile = stem + ".pdf";
    if (!suite_) suite_ = std::make_unique<OfficeSuite>();
    suite_->print(office::kDrawing, drawingFile, printFile, {});
    // Replaces an older PDF of that name whole, or leaves it as it was.
    fileSystem().copyFile(printFile, strPDFFile);
  } catch (...) {
    removeTemporaries();
    RaiseAgain();
  }
  removeTemporaries();
}

}  // namespace vd
