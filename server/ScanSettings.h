// What a scan cycle works with: the directories, the interval and the options. A front end
// reads them from wherever it keeps them (the window from its boxes and the settings file)
// and hands them in.
#pragma once

#include <cstdint>
#include <string>

namespace vd {

struct ScanSettings {
  std::string inputDir;
  std::string outputDir;
  // Seconds between passes; below 1 the passes follow one another without waiting.
  std::int16_t seconds = 0;
  // "Overwrite existing PDFs": replace an existing PDF instead of numbering the new one.
  bool overwrite = false;
  // "Use security": the Distiller's security settings apply to what it makes.
  bool security = false;
  // Text recognition of scanned pages: Tesseract's language names joined by "+" ("eng",
  // "eng+deu"); empty leaves pictures without text.
  std::string ocrLanguages;
  // Pages recognised as turned are turned upright.
  bool ocrRotate = false;
};

}  // namespace vd
