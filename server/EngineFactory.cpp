#include "server/EngineFactory.h"

namespace vd {

EngineFactory defaultEngineFactory() {
  return [] { return std::make_unique<CreatePDF>(RealStandIns()); };
}

TextRecognition RecognitionOf(const std::string& languages, bool turnUpright,
                              std::function<void(const std::string&)> note) {
  return TextRecognition{languages, turnUpright, std::move(note)};
}

}  // namespace vd
