#include "outside/acrobat/ScriptObject.h"

#include <unistd.h>

#include <cstdlib>

#include <qpdf/QPDF.hh>

#include "engine/EngineError.h"
#include "outside/acrobat/PdfFileWriter.h"
#include "outside/acrobat/ViewerInfo.h"
#include "outside/ghostscript/GhostscriptRunner.h"

namespace vd {
namespace {

// A private folder for the PDF the interpreter reads; gone with the object.
class PrivateFolder {
 public:
  PrivateFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && base[0] == '/' ? base : "/tmp") + "/vellumdock-ps-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~PrivateFolder() {
    if (path_.empty()) return;
    unlink(file().c_str());
    rmdir(path_.c_str());
  }
  PrivateFolder(const PrivateFolder&) = delete;
  PrivateFolder& operator=(const PrivateFolder&) = delete;

  bool ok() const { return !path_.empty(); }
  std::string file() const { return path_ + "/document.pdf"; }

 private:
  std::string path_;
};

}  // namespace

ScriptObject::ScriptObject(std::shared_ptr<QPDF> document) : document_(std::move(document)) {}

bool ScriptObject::SaveAs(const std::string& path, const std::string& conversionId) {
  if (!document_ || conversionId != kPostScriptConversion || path.empty()) return false;
  PrivateFolder folder;
  if (!folder.ok()) return false;
  try {
    // The document as it is now, changes included, is what gets exported.
    WritePdfFile(*document_, 1, folder.file());
  } catch (const std::exception&) {
    return false;
  }
  return RunGhostscriptJob({"-sDEVICE=ps2write"}, folder.file(), path).ok;
}

std::string ScriptObject::AppValue(const std::string& name) {
  if (std::optional<std::string> value = ViewerAppValue(name)) return *value;
  throw EngineError("The viewer has no value named " + name + ".");
}

}  // namespace vd
