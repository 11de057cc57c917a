// The viewer (AcroExch.App) and its document windows (AcroExch.AVDoc). The viewer shows
// one document at a time: the one opened last is its active document until that
// document's window is closed or the viewer ends. Opening an image makes a PDF document
// of it (see ImageImport.h); opening a PDF file shows that file.
#pragma once

#include <memory>
#include <string>

#include "outside/AcrobatInterface.h"
#include "outside/acrobat/QpdfDocument.h"
#include "outside/ocr/TextRecognition.h"

namespace vd {

class OfficeSuite;

class ViewerDocument : public AcroAVDoc {
 public:
  ViewerDocument() = default;
  explicit ViewerDocument(std::shared_ptr<QpdfDocument> shown) : shown_(std::move(shown)) {}
  // drawings draws the metafiles opened in this window (ImageImport.h); with recognition
  // enabled, the pages of an image opened here get a text layer (SearchableScans.h).
  explicit ViewerDocument(std::shared_ptr<OfficeSuite> drawings, TextRecognition recognition = {})
      : drawings_(std::move(drawings)), recognition_(std::move(recognition)) {}

  // Throws EngineError, with the reason, when the file cannot be shown.
  bool Open(const std::string& path, const std::string& title) override;
  bool IsValid() override;
  AcroPDDoc* GetPDDoc() override;
  bool Close(bool noSave) override;

 private:
  std::shared_ptr<QpdfDocument> shown_;
  std::shared_ptr<OfficeSuite> drawings_;
  TextRecognition recognition_;
};

class Viewer : public AcroApp {
 public:
  std::unique_ptr<AcroAVDoc> GetActiveDoc() override;
  bool Exit() override;
};

}  // namespace vd
