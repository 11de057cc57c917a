// How the server makes its conversion engine; tests hand in one that records its calls.
// The engine is made for one way of recognising text on scanned pages (none when the
// recognition is not enabled).
#pragma once

#include <functional>
#include <memory>

#include "engine/CreatePDF.h"
#include "outside/ocr/TextRecognition.h"

namespace vd {

using EngineFactory = std::function<std::unique_ptr<CreatePDF>(const TextRecognition& recognition)>;
EngineFactory defaultEngineFactory();

// The recognition the settings ask for, its notes going to note.
TextRecognition RecognitionOf(const std::string& languages, bool turnUpright,
                              std::function<void(const std::string&)> note);

}  // namespace vd
