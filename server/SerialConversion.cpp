#include "server/SerialConversion.h"

#include <utility>

#include "server/FolderPasses.h"

namespace vd {

SerialConversion::SerialConversion(EngineFactory engineFactory, ScanObserver& observer,
                                   std::function<bool()> stopRequested, const ScanSettings& firstFolder)
    : engineFactory_(std::move(engineFactory)),
      observer_(observer),
      stopRequested_(std::move(stopRequested)),
      firstRecognition_(firstFolder.ocrLanguages, firstFolder.ocrRotate) {}

TextRecognition SerialConversion::recognition(const std::string& languages, bool turnUpright) {
  return RecognitionOf(languages, turnUpright, [this](const std::string& line) { observer_.logLine(line); });
}

void SerialConversion::makeEngine(const std::string& languages, bool turnUpright) {
  const std::pair<std::string, bool> wanted{languages, turnUpright};
  // An engine that could not be made is not tried again for every file: each file says why.
  if (engineMadeFor_ == wanted) return;
  engine_.reset();
  engineMadeFor_ = wanted;
  AttemptStep(observer_, std::string(), [&] {
    engine_ = engineFactory_(recognition(languages, turnUpright));
    if (engine_) engine_->setEvents(&progressEvents_);
  });
}

void SerialConversion::begin() { makeEngine(firstRecognition_.first, firstRecognition_.second); }

void SerialConversion::start(FileInHand file) {
  makeEngine(file.ocrLanguages, file.ocrRotate);
  const SetAsidePdf* replaced = file.replaced.get();
  const ScriptSurroundings script{file.inputDir,
                                  stopRequested_,
                                  [this](const std::string& why) {
                                    observer_.logLine(kUnableToCreatePdf);
                                    observer_.logLine(ReasonLine(why));
                                  },
                                  replaced ? replaced->path() : std::string(),
                                  replaced ? replaced->asidePath() : std::string(),
                                  recognition(file.ocrLanguages, file.ocrRotate)};
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
