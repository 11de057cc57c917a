// The document's script object: PostScript export and the viewer's facts (its App).
#pragma once

#include <memory>
#include <string>

#include "outside/AcrobatInterface.h"

class QPDF;

namespace vd {

inline constexpr const char* kPostScriptConversion = "com.adobe.acrobat.ps";

class ScriptObject : public AcroJSObject {
 public:
  // document may be null (a document object with nothing open): SaveAs then fails.
  explicit ScriptObject(std::shared_ptr<QPDF> document);

  // Writes level-2 PostScript through the interpreter worker; false on any failure, and
  // then no PostScript file is left behind.
  bool SaveAs(const std::string& path, const std::string& conversionId) override;
  // Throws EngineError for a name the App does not have.
  std::string AppValue(const std::string& name) override;

 private:
  std::shared_ptr<QPDF> document_;
};

}  // namespace vd
