#include "server/FileConversion.h"

#include <exception>

#include "common/EngineError.h"
#include "common/IgnoringErrors.h"
#include "engine/CreatePDF.h"
#include "outside/acrobat/PdfWholeness.h"
#include "platform/FileSystem.h"
#include "server/FailureReason.h"

namespace vd {
namespace {

// The output after a dispatch that returned: a whole PDF this conversion wrote, or why not.
ConversionOutcome judgeOutput(const std::string& out, const std::optional<FileStamp>& before) {
  const std::optional<std::uint64_t> length = fileSystem().fileLength(out);
  const bool untouched = before.has_value() && fileSystem().stamp(out) == before;
  if (!length || *length == 0 || untouched) {
    return ConversionOutcome::failed("No PDF was created: after the conversion " + out +
                                     " does not exist, is empty or was not written.");
  }
  const PdfWholeness wholeness = CheckPdfWholeness(out);
  if (wholeness.damage) {
    // Cut short (a full disk) or damaged: it is no conversion, and it goes.
    ignoringErrors([&] { fileSystem().deleteFile(out); });
    return ConversionOutcome::failed("The PDF " + out + " is not complete: " + *wholeness.damage);
  }
  return {std::nullopt, VerifiedPdf{wholeness.pages, *length}, false};
}

}  // namespace

ConversionOutcome ConvertFile(CreatePDF* engine, const DispatchCall& call, const ScriptSurroundings& script) {
  const std::optional<FileStamp> before = fileSystem().stamp(call.out);
  std::string failure;
  try {
    if (engine == nullptr) throw EngineError("The conversion engine could not be created.");
    // The file's own recognition, its folder's: the engine serves files of every folder.
    engine->setTextRecognition(script.recognition);
    ScriptRunContext scriptContext(*engine, script);
    if (Dispatch(*engine, call, scriptContext) == ScriptRunEnd::StopRequested)
      return {std::nullopt, std::nullopt, true};
    return judgeOutput(call.out, before);
  } catch (const std::exception& error) {
    failure = FailureReason(error);
  } catch (...) {
    failure = "The conversion failed for an unknown reason.";
  }
  // What a failed conversion left where there was nothing is no PDF; a file that was there
  // before stays.
  if (!before && fileSystem().stamp(call.out)) ignoringErrors([&] { fileSystem().deleteFile(call.out); });
  return ConversionOutcome::failed(std::move(failure));
}

}  // namespace vd
