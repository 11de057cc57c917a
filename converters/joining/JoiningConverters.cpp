#include "converters/joining/JoiningConverters.h"

#include <limits>
#include <memory>

#include "common/IgnoringErrors.h"
#include "common/Locations.h"
#include "common/Text.h"
#include "converters/EngineObject.h"
#include "converters/ErrorPolicy.h"
#include "outside/AcrobatInterface.h"
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

void JoiningConverter::run(EngineObject& engine, const std::string& strPDFFile, const std::string& /*input*/,
                           PathArray& varPDFFiles) {
  std::unique_ptr<AcroPDDoc> target;
  std::unique_ptr<AcroPDDoc> source;
  try {
    checkListBounds(varPDFFiles);
    target = engine.CreateAcroPDDoc();
    source = engine.CreateAcroPDDoc();
    if (!target->Create()) throw EngineError(kUnableToCreate);
    if (engine.FileExists(strPDFFile)) deleteExisting(strPDFFile);
    for (std::int32_t index = varPDFFiles.lowerBound; index <= varPDFFiles.upperBound(); ++index) {
      eventPump().processEvents();
      const std::string& element = elementAt(varPDFFiles, index);
      if (!engine.FileExists(element)) continue;
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
  const std::int16_t flags = leadingNumber(engine.AcrobatVersion()) < 7 ? 5 : 1;
  const bool saved = target->Save(flags, strPDFFile);
  const std::string failure = failureOf("Unable to save the document " + strPDFFile, *target);
  ignoringErrors([&] { target->Close(); });
  if (!saved) throw EngineError(failure);
}

void PaddedJoiningConverter::run(EngineObject& engine, const std::string& strPDFFile, const std::string& /*input*/,
                                 PathArray& varPDFFiles) {
  std::unique_ptr<AcroPDDoc> source;
  std::unique_ptr<AcroPDDoc> target;
  std::unique_ptr<AcroPDDoc> blank;
  try {
    checkListBounds(varPDFFiles);
    source = engine.CreateAcroPDDoc();
    if (!source->Create()) throw EngineError(kUnableToCreate);
    target = engine.CreateAcroPDDoc();
    if (!target->Create()) throw EngineError(kUnableToCreate);
    blank = engine.CreateAcroPDDoc();
    blank->Open(programDir() + "/blank.pdf");
    if (engine.FileExists(strPDFFile)) deleteExisting(strPDFFile);
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

}  // namespace vd
