// How the server makes its conversion engine; tests hand in one that records its calls.
// One engine serves files of every text recognition: each conversion says its own.
#pragma once

#include <functional>
#include <memory>

#include "engine/CreatePDF.h"
#include "outside/ocr/TextRecognition.h"

namespace vd {

using EngineFactory = std::function<std::unique_ptr<CreatePDF>()>;
EngineFactory defaultEngineFactory();

// The recognition the settings ask for, its notes going to note.
TextRecognition RecognitionOf(const std::string& languages, bool turnUpright,
                              std::function<void(const std::string&)> note);

}  // namespace vd
