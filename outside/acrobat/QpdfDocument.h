// The PDF document object (AcroExch.PDDoc) on the qpdf library. A document is either
// empty (after Create), read from a file (Open) or made from an image (the viewer's
// Open); pages inserted from other documents keep those documents alive until this one
// is written, because qpdf copies their stream data lazily.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "outside/AcrobatInterface.h"

class QPDF;

namespace vd {

class QpdfDocument : public AcroPDDoc {
 public:
  QpdfDocument() = default;
  // Adopts a document made elsewhere (an imported image).
  explicit QpdfDocument(std::shared_ptr<QPDF> document);
  ~QpdfDocument() override;

  bool Create() override;
  bool Open(const std::string& path) override;
  bool Close() override;
  std::int32_t GetNumPages() override;
  bool InsertPages(std::int32_t nInsertPageAfter, AcroPDDoc& source, std::int32_t nStartPage,
                   std::int32_t nNumPages, std::int32_t bBookmarks) override;
  bool Save(std::int16_t nType, const std::string& path) override;
  bool SetInfo(const std::string& key, const std::string& text) override;
  std::unique_ptr<AcroJSObject> GetJSObject() override;

  // "" after a success.
  std::string lastError() const override { return lastError_; }
  bool isOpen() const { return document_ != nullptr; }
  std::shared_ptr<QPDF> document() const { return document_; }

 private:
  bool fail(const std::string& reason);

  std::shared_ptr<QPDF> document_;
  // Documents whose pages were inserted here and whose streams are read when saving.
  std::vector<std::shared_ptr<QPDF>> pageSources_;
  std::string lastError_;
};

}  // namespace vd
