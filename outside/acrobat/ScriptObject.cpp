#include "outside/acrobat/ScriptObject.h"

#include <qpdf/QPDF.hh>

#include "common/EngineError.h"
#include "common/PrivateDirectories.h"
#include "outside/acrobat/PdfFileWriter.h"
#include "outside/acrobat/ViewerInfo.h"
#include "outside/ghostscript/GhostscriptRunner.h"

namespace vd {

ScriptObject::ScriptObject(std::shared_ptr<QPDF> document) : document_(std::move(document)) {}

bool ScriptObject::SaveAs(const std::string& path, const std::string& conversionId) {
  if (!document_ || conversionId != kPostScriptConversion || path.empty()) return false;
  // The PDF the interpreter reads is the user's document: it goes to a private folder,
  // gone with the export.
  const TemporaryDirectory folder("vellumdock-ps");
  if (!folder.ok()) return false;
  const std::string pdf = folder.path() + "/document.pdf";
  try {
    // The document as it is now, changes included, is what gets exported.
    WritePdfFile(*document_, 1, pdf);
  } catch (const std::exception&) {
    return false;
  }
  return RunGhostscriptJob({"-sDEVICE=ps2write"}, pdf, path).ok;
}

std::string ScriptObject::AppValue(const std::string& name) {
  if (std::optional<std::string> value = ViewerAppValue(name)) return *value;
  throw EngineError("The viewer has no value named " + name + ".");
}

}  // namespace vd
