// The viewer (AcroExch.App) and its document windows (AcroExch.AVDoc). The viewer shows
// one document at a time: the one opened last is its active document until that
// document's window is closed or the viewer ends. Opening an image makes a PDF document
// of it (see ImageImport.h); opening a PDF file shows that file.
#pragma once

#include <memory>
#include <string>

#include "outside/AcrobatInterface.h"
#include "outside/acrobat/QpdfDocument.h"

namespace vd {

class ViewerDocument : public AcroAVDoc {
 public:
  ViewerDocument() = default;
  explicit ViewerDocument(std::shared_ptr<QpdfDocument> shown) : shown_(std::move(shown)) {}

  // Throws EngineError, with the reason, when the file cannot be shown.
  bool Open(const std::string& path, const std::string& title) override;
  bool IsValid() override;
  AcroPDDoc* GetPDDoc() override;
  bool Close(bool noSave) override;

 private:
  std::shared_ptr<QpdfDocument> shown_;
};

class Viewer : public AcroApp {
 public:
  std::unique_ptr<AcroAVDoc> GetActiveDoc() override;
  bool Exit() override;
};

}  // namespace vd
