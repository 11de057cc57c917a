#include "engine/CreatePDF.h"

#include <limits>

#include "common/IgnoringErrors.h"
#include "common/Locations.h"
#include "common/Text.h"
#include "outside/AcrobatInterface.h"
#include "engine/ErrorPolicy.h"
#include "platform/EventPump.h"
#include "platform/FileSystem.h"

namespace vd {
namespace {

constexpr const char* kUnableToCreate = "Unable to create document object.";

// Lists are indexed by 16-bit numbers.
void checkListBounds(const PathArray& list) {
  constexpr std::int64_t kLargest = std::numeric_limits<std::int16_t>::max();
  if (list.lowerBound < std::numeric_limits<std::int16_t>::min() ||
      std::int64_t{list.lowerBound} + static_cast<std::int64_t>(list.items.size()) - 1 > kLargest) {
    throw EngineError("The list of documents has more entries than can be indexed (at most 32767).");
  }
}

void deleteExisting(const std::string& path) { fileSystem().deleteFile(path); }

// A failed document call's message, with the document's own reason when it gives one.
std::string failureOf(const std::string& message, const AcroPDDoc& document) {
  const std::string why = document.lastError();
  return why.empty() ? message + "." : message + ": " + why;
}

// The element at index of a list, as an array read by index sees it.
const std::string& elementAt(const PathArray& list, std::int32_t index) {
  const std::int64_t offset = std::int64_t{index} - list.lowerBound;
  if (offset < 0 || offset >= static_cast<std::int64_t>(list.items.size())) {
    throw EngineError("Subscript out of range: the list of documents has no element " + std::to_string(index) + ".");
  }
  return list.items[static_cast<std::size_t>(offset)];
}

}  // namespace

void CreatePDF::CreatePDFfromMultiPDF(const std::string& strPDFFile, const PathArray& varPDFFiles) {
  std::unique_ptr<AcroPDDoc> target;
  std::unique_ptr<AcroPDDoc> source;
  try {
    checkListBounds(varPDFFiles);
    target = CreateAcroPDDoc();
    source = CreateAcroPDDoc();
    if (!target->Create()) throw EngineError(kUnableToCreate);
    if (FileExists(strPDFFile)) deleteExisting(strPDFFile);
    for (std::int32_t index = varPDFFiles.lowerBound; index <= varPDFFiles.upperBound(); ++index) {
      eventPump().processEvents();
      const std::string& element = elementAt(varPDFFiles, index);
      if (!FileExists(element)) continue;
      // A document that exists but cannot be read would otherwise be left out of the
      // joined file without a word.
      if (!source->Open(element)) throw EngineError(failureOf("The document " + element + " cannot be opened", *source));
      const std::int32_t n = source->GetNumPages();
      const std::int32_t m = target->GetNumPages();
      if (!target->InsertPages(m - 1, *source, 0, n, 1)) {
        throw EngineError(failureOf("The pages of " + element + " cannot be joined to the document", *target));
      }
      source->Close();
    }
  } catch (...) {
    if (source) ignoringErrors([&] { source->Close(); });
    if (target) ignoringErrors([&] { target->Close(); });
    RaiseAgain();
  }
  // A save that fails is reported: the caller would otherwise take the missing file for done.
  const std::int16_t flags = leadingNumber(m_AcrobatVersion) < 7 ? 5 : 1;
  const bool saved = target->Save(flags, strPDFFile);
  const std::string failure = failureOf("Unable to save the document " + strPDFFile, *target);
  ignoringErrors([&] { target->Close(); });
  if (!saved) throw EngineError(failure);
}

void CreatePDF::CreatePDFfromMultiPDF2(const std::string& strPDFFile, const PathArray& varPDFFiles) {
  std::unique_ptr<AcroPDDoc> source;
  std::unique_ptr<AcroPDDoc> target;
  std::unique_ptr<AcroPDDoc> blank;
  try {
    checkListBounds(varPDFFiles);
    source = CreateAcroPDDoc();
    if (!source->Create()) throw EngineError(kUnableToCreate);
    target = CreateAcroPDDoc();
    if (!target->Create()) throw EngineError(kUnableToCreate);
    blank = CreateAcroPDDoc();
    blank->Open(programDir() + "/blank.pdf");
    if (FileExists(strPDFFile)) deleteExisting(strPDFFile);
    bool pad = false;
    for (std::int32_t i = 0; i <= varPDFFiles.upperBound(); ++i) {
      if (pad) {
        target->InsertPages(target->GetNumPages() - 1, *blank, 0, 1, 0);
        pad = false;
      }
      source->Open(elementAt(varPDFFiles, i));
      const std::int32_t n = source->GetNumPages();
      if (n >= 1) target->InsertPages(target->GetNumPages() - 1, *source, 0, n, 0);
      if (n % 2 == 1) pad = true;
      source->Close();
    }
    if (!target->Save(1, strPDFFile)) throw EngineError(failureOf("Unable to save the document " + strPDFFile, *target));
    target->Close();
    blank->Close();
  } catch (...) {
    if (source) ignoringErrors([&] { source->Close(); });
    RaiseAgain();
  }
}

void CreatePDF::CreatePDFfromImageFile(const std::string& strPDFFile, const std::string& strImagefile,
                                       const ImageInfoOptions& options) {
  if (!FileExists(strImagefile)) RaiseMissingInput(strImagefile);
  std::unique_ptr<AcroApp> app;
  std::unique_ptr<AcroAVDoc> avDoc;
  AcroPDDoc* pdDoc = nullptr;
  try {
    app = CreateAcroApp();
    avDoc = CreateAcroAVDoc();
    avDoc->Open(strImagefile, "");
    avDoc = app->GetActiveDoc();
    if (!avDoc->IsValid()) {
      // Nothing was made of the image; saying so keeps the caller from taking it for done.
      throw EngineError("The image " + strImagefile + " cannot be opened.");
    }
    if (FileExists(strPDFFile)) deleteExisting(strPDFFile);
    pdDoc = avDoc->GetPDDoc();
    const std::pair<const char*, const std::string*> information[] = {
        {"Title", &options.strTitle},
        {"Author", &options.strAuthor},
        {"Subject", &options.strSubject},
        {"Keywords", &options.strKeywords}};
    for (const auto& [key, text] : information) {
      if (!trimSpaces(*text).empty()) pdDoc->SetInfo(key, *text);
    }
    if (!pdDoc->Save(37, strPDFFile)) {
      const std::string failure = failureOf("Unable to save the document " + strPDFFile, *pdDoc);
      pdDoc->Close();
      pdDoc = nullptr;
      throw EngineError(failure);
    }
    pdDoc->Close();
    pdDoc = nullptr;
    avDoc->Close(true);
    app->Exit();
  } catch (...) {
    if (avDoc) ignoringErrors([&] { avDoc->Close(false); });
    if (pdDoc != nullptr) ignoringErrors([&] { pdDoc->Close(); });
    if (app) ignoringErrors([&] { app->Exit(); });
    RaiseAgain();
  }
}

void CreatePDF::CreatePSfromPDF(const std::string& strPDF, const std::string& strPS) {
  // Exporting reports nothing, whatever happens: its callers look for the PostScript
  // file itself.
  ignoringErrors([&] {
    std::unique_ptr<AcroPDDoc> document = CreateAcroPDDoc();
    if (document->Open(strPDF)) {
      std::unique_ptr<AcroJSObject> script = document->GetJSObject();
      script->SaveAs(strPS, "com.adobe.acrobat.ps");
      document->Close();
    }
  });
}

std::string CreatePDF::AcrobatViewerVersion(AcroPDDoc& objDoc) { return objDoc.GetJSObject()->AppValue("viewerVersion"); }
std::string CreatePDF::AcrobatViewerType(AcroPDDoc& objDoc) { return objDoc.GetJSObject()->AppValue("viewerType"); }
std::string CreatePDF::AcrobatViewerVariation(AcroPDDoc& objDoc) {
  return objDoc.GetJSObject()->AppValue("viewerVariation");
}
std::string CreatePDF::AcrobatLanguage(AcroPDDoc& objDoc) { return objDoc.GetJSObject()->AppValue("language"); }
std::string CreatePDF::AcrobatPlatform(AcroPDDoc& objDoc) { return objDoc.GetJSObject()->AppValue("platform"); }
std::string CreatePDF::AcrobatFormsVersion(AcroPDDoc& objDoc) { return objDoc.GetJSObject()->AppValue("formsVersion"); }

}  // namespace vd
