#include "server/SerialConversion.h"

#include <exception>
#include <utility>

#include "engine/EngineError.h"
#include "server/Dispatch.h"
#include "server/FailureReason.h"
#include "server/FolderPasses.h"
#include "server/ScriptRun.h"

namespace vd {

SerialConversion::SerialConversion(EngineFactory engineFactory, ScanObserver& observer,
                                   std::function<bool()> stopRequested)
    : engineFactory_(std::move(engineFactory)), observer_(observer), stopRequested_(std::move(stopRequested)) {}

void SerialConversion::begin() {
  AttemptStep(observer_, std::string(), [this] {
    engine_ = engineFactory_();
    if (engine_) engine_->setEvents(&progressEvents_);
  });
}

void SerialConversion::start(FileInHand file) {
  ConversionEnded ended{std::move(file), std::nullopt, false};
  try {
    if (!engine_) throw EngineError("The conversion engine could not be created.");
    const SetAsidePdf* replaced = ended.file.replaced.get();
    ScriptRunContext scriptContext{*engine_,
                                   ended.file.inputDir,
                                   stopRequested_,
                                   [this](const std::string& why) {
                                     observer_.logLine(kUnableToCreatePdf);
                                     observer_.logLine(ReasonLine(why));
                                   },
                                   replaced ? replaced->path() : std::string(),
                                   replaced ? replaced->asidePath() : std::string()};
    const DispatchCall call{ended.file.out, ended.file.in, ended.file.ext, ended.file.security};
    ended.stoppedInScript = Dispatch(*engine_, call, scriptContext) == ScriptRunEnd::StopRequested;
  } catch (const std::exception& error) {
    ended.failure = FailureReason(error);
  } catch (...) {
    ended.failure = "The conversion failed for an unknown reason.";
  }
  ended_ = std::move(ended);
}

std::optional<ConversionEnded> SerialConversion::next(int) {
  std::optional<ConversionEnded> ended = std::move(ended_);
  ended_.reset();
  return ended;
}

}  // namespace vd
