// Recognising the text of a scanned page's picture, in the warm, bounded worker program
// vellumdk-ocrworker (outside/worker/WorkerClient.h), confined to its jobs like the
// interpreters (outside/worker/Confinement.h): Tesseract with its language models
// loaded once and kept between pages, one page at a time in one thread. Several workers
// recognise the pages of one document side by side. A page that runs past its time bound,
// or a worker that dies or passes its memory bound, ends as a page without text; the
// worker is killed and the next page gets a fresh one.
//
// Bounds come from the environment:
//   VELLUMDOCK_OCR_TIMEOUT    seconds one page may take (default 120)
//   VELLUMDOCK_OCR_WORKERS    pages recognised at once (default one for each core the
//                             process may run on, at most 4)
//   VELLUMDOCK_JOB_MEMORY_MB  address-space limit of each worker in MiB (default 2048)
//   VELLUMDOCK_WORKER_JOBS    pages one worker recognises before a fresh one takes over
//                             (default 1000)
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <qpdf/QPDFMatrix.hh>

#include "outside/worker/WorkerClient.h"

namespace vd {

// Whether pictures get a text layer, and where notes about pages left without one go.
struct TextRecognition {
  // Tesseract's language names joined by "+" ("eng", "eng+deu"); empty: no recognition.
  std::string languages;
  // Pages whose text stands sideways or upside down are turned upright (their /Rotate);
  // otherwise every page keeps the orientation it had.
  bool turnUpright = false;
  // Receives a line for the log about each page that was to get text and did not.
  std::function<void(const std::string& line)> note;

  bool enabled() const { return !languages.empty(); }
};

struct RecognizedWord {
  // The word's box in the recognised picture's pixels (y downwards).
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  std::string text;  // UTF-8
};

struct RecognizedLine {
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  // The base line's height at x0 and at x1.
  double baseline0 = 0, baseline1 = 0;
  std::vector<RecognizedWord> words;
};

struct RecognizedPage {
  // From the recognised picture's pixels to the picture file's pixels.
  QPDFMatrix toPicture;
  // Quarter turns clockwise that made the picture upright; nothing when its orientation
  // could not be told (it was recognised as it is).
  std::optional<int> turn;
  // In reading order.
  std::vector<RecognizedLine> lines;
};

struct RecognitionOutcome {
  std::optional<RecognizedPage> page;
  // Why there is no page, as a sentence for the log.
  std::string failure;
};

// Recognises the picture in pictureFile (JPEG, TIFF or PNM) made at dpi dots per inch (0
// when not known), within seconds, in worker (one of textRecognitionWorker's). Calls for
// different workers may run at once on different threads.
RecognitionOutcome RecognizePicture(WorkerClient& worker, const std::string& pictureFile, const std::string& languages,
                                    double dpi, double seconds);

// Seconds one page may take, from VELLUMDOCK_OCR_TIMEOUT.
double PageRecognitionSeconds();

// Pages recognised at once, from VELLUMDOCK_OCR_WORKERS.
std::size_t RecognitionWorkerCount();

// The process-wide clients the pages go through, counting from 0.
WorkerClient& textRecognitionWorker(std::size_t index = 0);

// Parses the worker's answer (RecognitionReports.h); nothing for an answer that is not one.
std::optional<RecognizedPage> ParseRecognitionAnswer(const std::string& answer);

}  // namespace vd
