#include "server/SerialConversion.h"

#include <utility>

#include "server/FolderPasses.h"

namespace vd {

SerialConversion::SerialConversion(EngineFactory engineFactory, ScanObserver& observer,
                                   std::function<bool()> stopRequested)
    : engineFactory_(std::move(engineFactory)), observer_(observer), stopRequested_(std::move(stopRequested)) {}

void SerialConversion::begin() {
  // An engine that could not be made is not tried again for every file: each file says why.
  AttemptStep(observer_, std::string(), [&] {
    engine_ = engineFactory_();
    if (engine_) engine_->setEvents(&progressEvents_);
  });
}

void SerialConversion::start(FileInHand file) {
  const SetAsidePdf* replaced = file.replaced.get();
  const ScriptSurroundings script{
      file.inputDir,
      stopRequested_,
      [this](const std::string& why) {
        observer_.logLine(kUnableToCreatePdf);
        observer_.logLine(ReasonLine(why));
      },
      replaced ? replaced->path() : std::string(),
      replaced ? replaced->asidePath() : std::string(),
      RecognitionOf(file.ocrLanguages, file.ocrRotate, [this](const std::string& line) { observer_.logLine(line); })};
  ConversionOutcome outcome =
      ConvertFile(engine_.get(), DispatchCall{file.out, file.in, file.ext, file.security}, script);
  ended_ = ConversionEnded{std::move(file), std::move(outcome)};
}

std::optional<ConversionEnded> SerialConversion::next(int) {
  std::optional<ConversionEnded> ended = std::move(ended_);
  ended_.reset();
  return ended;
}

}  // namespace vd
