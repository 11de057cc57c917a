#include "outside/acrobat/QpdfDocument.h"

#include <map>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include "outside/acrobat/OutlineCopier.h"
#include "outside/acrobat/PdfFileWriter.h"
#include "outside/acrobat/ScriptObject.h"

namespace vd {
namespace {

std::vector<QPDFPageObjectHelper> pagesOf(QPDF& document) { return QPDFPageDocumentHelper(document).getAllPages(); }

std::int32_t pageCountOf(QPDF& document) {
  return static_cast<std::int32_t>(document.getAllPages().size());
}

}  // namespace

QpdfDocument::QpdfDocument(std::shared_ptr<QPDF> document) : document_(std::move(document)) {}

QpdfDocument::~QpdfDocument() = default;

bool QpdfDocument::fail(const std::string& reason) {
  lastError_ = reason;
  return false;
}

bool QpdfDocument::Create() {
  try {
    auto document = std::make_shared<QPDF>();
    document->emptyPDF();
    document_ = std::move(document);
    pageSources_.clear();
    lastError_.clear();
    return true;
  } catch (const std::exception& error) {
    return fail(error.what());
  }
}

bool QpdfDocument::Open(const std::string& path) {
  Close();
  try {
    auto document = std::make_shared<QPDF>();
    // Damaged files are repaired where qpdf can; what it says about them is not ours to show.
    document->setSuppressWarnings(true);
    document->processFile(path.c_str());
    // A page tree that cannot be walked (loops, missing kids) makes a document no one can use.
    const std::int32_t pages = pageCountOf(*document);
    if (pages < 1) return fail("the document " + path + " has no pages");
    document_ = std::move(document);
    lastError_.clear();
    return true;
  } catch (const std::exception& error) {
    return fail(error.what());
  }
}

bool QpdfDocument::Close() {
  document_.reset();
  pageSources_.clear();
  return true;
}

std::int32_t QpdfDocument::GetNumPages() {
  if (!document_) return -1;
  try {
    return pageCountOf(*document_);
  } catch (const std::exception& error) {
    lastError_ = error.what();
    return -1;
  }
}

bool QpdfDocument::InsertPages(std::int32_t nInsertPageAfter, AcroPDDoc& source, std::int32_t nStartPage,
                               std::int32_t nNumPages, std::int32_t bBookmarks) {
  auto* from = dynamic_cast<QpdfDocument*>(&source);
  if (!document_) return fail("no document is open to insert pages into");
  if (from == nullptr || !from->document_) return fail("the source document is not open");
  try {
    QPDF& target = *document_;
    QPDF& sourceDocument = *from->document_;
    const std::vector<QPDFPageObjectHelper> sourcePages = pagesOf(sourceDocument);
    const auto sourceCount = static_cast<std::int64_t>(sourcePages.size());
    const std::int64_t targetCount = pageCountOf(target);
    if (nNumPages < 1 || nStartPage < 0 || nStartPage + std::int64_t{nNumPages} > sourceCount) {
      return fail("the pages to insert are not in the source document");
    }
    if (nInsertPageAfter < -1 || nInsertPageAfter >= targetCount) {
      return fail("the page to insert after is not in the document");
    }

    QPDFPageDocumentHelper targetPages(target);
    std::map<QPDFObjGen, QPDFObjectHandle> pageCopies;
    for (std::int32_t i = 0; i < nNumPages; ++i) {
      const QPDFPageObjectHelper& page = sourcePages[static_cast<std::size_t>(nStartPage + i)];
      const std::int64_t position = std::int64_t{nInsertPageAfter} + 1 + i;
      if (position == 0) {
        targetPages.addPage(page, true);
      } else {
        // The pages are the catalogue's own cached list: no copy per inserted page.
        const QPDFObjectHandle reference = target.getAllPages()[static_cast<std::size_t>(position - 1)];
        targetPages.addPageAt(page, false, QPDFPageObjectHelper(reference));
      }
      pageCopies[page.getObjectHandle().getObjGen()] = target.getAllPages()[static_cast<std::size_t>(position)];
    }
    if (bBookmarks != 0 && &sourceDocument != &target) OutlineCopier(sourceDocument, target, pageCopies).copy();
    if (&sourceDocument != &target) pageSources_.push_back(from->document_);
    lastError_.clear();
    return true;
  } catch (const std::exception& error) {
    return fail(error.what());
  }
}

bool QpdfDocument::Save(std::int16_t nType, const std::string& path) {
  if (!document_) return fail("no document is open to save");
  try {
    WritePdfFile(*document_, nType, path);
    lastError_.clear();
    return true;
  } catch (const std::exception& error) {
    return fail(error.what());
  }
}

bool QpdfDocument::SetInfo(const std::string& key, const std::string& text) {
  if (!document_ || key.empty()) return false;
  try {
    QPDFObjectHandle trailer = document_->getTrailer();
    QPDFObjectHandle info = trailer.getKey("/Info");
    if (!info.isDictionary()) {
      info = document_->makeIndirectObject(QPDFObjectHandle::newDictionary());
      trailer.replaceKey("/Info", info);
    }
    info.replaceKey("/" + key, QPDFObjectHandle::newUnicodeString(text));
    return true;
  } catch (const std::exception& error) {
    return fail(error.what());
  }
}

std::unique_ptr<AcroJSObject> QpdfDocument::GetJSObject() { return std::make_unique<ScriptObject>(document_); }

}  // namespace vd
