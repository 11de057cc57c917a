#include "converters/image/ImageConverter.h"

#include <memory>

#include "common/IgnoringErrors.h"
#include "common/Text.h"
#include "converters/EngineObject.h"
#include "converters/ErrorPolicy.h"
#include "outside/AcrobatInterface.h"
#include "platform/FileSystem.h"

namespace vd {
namespace {

// A failed document call's message, with the document's own reason when it gives one.
std::string failureOf(const std::string& message, const AcroPDDoc& document) {
  const std::string why = document.lastError();
  return why.empty() ? message + "." : message + ": " + why;
}

}  // namespace

std::vector<std::string> ImageConverter::extensions() const {
  return {"jpg", "jpeg", "tif", "tiff", "bmp", "png", "gif", "ico", "cur", "rle", "wmf", "emf"};
}

OperationOptions ImageConverter::fixedOptions(bool /*security*/) const {
  ImageInfoOptions options;
  options.strTitle = "";
  options.strAuthor = "";
  options.strSubject = "";
  options.strKeywords = "";
  return options;
}

void ImageConverter::run(EngineObject& engine, const std::string& strPDFFile, const std::string& strImagefile,
                         ImageInfoOptions& options) {
  if (!engine.FileExists(strImagefile)) engine.RaiseMissingInput(strImagefile);
  std::unique_ptr<AcroApp> app;
  std::unique_ptr<AcroAVDoc> avDoc;
  AcroPDDoc* pdDoc = nullptr;
  try {
    app = engine.CreateAcroApp();
    avDoc = engine.CreateAcroAVDoc();
    avDoc->Open(strImagefile, "");
    avDoc = app->GetActiveDoc();
    if (!avDoc->IsValid()) {
      // Nothing was made of the image; saying so keeps the caller from taking it for done.
      throw EngineError("The image " + strImagefile + " cannot be opened.");
    }
    if (engine.FileExists(strPDFFile)) fileSystem().deleteFile(strPDFFile);
    pdDoc = avDoc->GetPDDoc();
    const std::pair<const char*, const std::string*> information[] = {{"Title", &options.strTitle},
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

}  // namespace vd
