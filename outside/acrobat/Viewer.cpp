#include "outside/acrobat/Viewer.h"

#include <qpdf/QPDF.hh>

#include "common/EngineError.h"
#include "common/Paths.h"
#include "common/Text.h"
#include "outside/acrobat/ImageImport.h"
#include "outside/ocr/SearchableScans.h"

namespace vd {
namespace {

// The viewer's active document, shared by its windows; one viewer per process, as there
// is one per session.
std::weak_ptr<QpdfDocument>& activeDocument() {
  static std::weak_ptr<QpdfDocument> active;
  return active;
}

bool namesPdf(const std::string& path) { return equalsIgnoreCase(extensionOf(path), "pdf"); }

}  // namespace

bool ViewerDocument::Open(const std::string& path, const std::string& /*title*/) {
  auto shown = std::make_shared<QpdfDocument>();
  if (namesPdf(path)) {
    if (!shown->Open(path)) throw EngineError("The document " + path + " cannot be opened: " + shown->lastError() + ".");
  } else {
    std::shared_ptr<QPDF> image = ImportImage(path, drawings_.get());
    AddTextToScannedPages(*image, recognition_, path);
    shown = std::make_shared<QpdfDocument>(std::move(image));
  }
  shown_ = std::move(shown);
  activeDocument() = shown_;
  return true;
}

bool ViewerDocument::IsValid() { return shown_ != nullptr && shown_->isOpen(); }

AcroPDDoc* ViewerDocument::GetPDDoc() { return shown_.get(); }

bool ViewerDocument::Close(bool /*noSave*/) {
  // Changes are never written back to the file shown: saving is the document's Save.
  if (!shown_) return false;
  if (activeDocument().lock() == shown_) activeDocument().reset();
  shown_.reset();
  return true;
}

std::unique_ptr<AcroAVDoc> Viewer::GetActiveDoc() {
  return std::make_unique<ViewerDocument>(activeDocument().lock());
}

bool Viewer::Exit() {
  activeDocument().reset();
  return true;
}

}  // namespace vd
