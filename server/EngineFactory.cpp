#include "server/EngineFactory.h"

namespace vd {

EngineFactory defaultEngineFactory() {
  return [](const TextRecognition& recognition) { return std::make_unique<CreatePDF>(RealStandIns(recognition)); };
}

TextRecognition RecognitionOf(const std::string& languages, bool turnUpright,
                              std::function<void(const std::string&)> note) {
  return TextRecognition{languages, turnUpright, std::move(note)};
}

}  // namespace vd
