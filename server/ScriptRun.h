// The run of one script file: each entry converted into a temporary PDF in the input
// directory, the temporaries joined in script order into one PDF, then removed.
#pragma once

#include <functional>
#include <string>
#include <utility>

#include "outside/ocr/TextRecognition.h"

namespace vd {

class CreatePDF;

// What a script run needs besides the engine: the folder its entries' temporaries go to, its
// check point and its logging of failed entries.
struct ScriptSurroundings {
  std::string inputDir;
  // A check point: lets the window process its events; true when a stop is requested.
  std::function<bool()> checkPoint;
  // The scan cycle's error rule: logs "Unable to create PDF." for a failed step, and why.
  std::function<void(const std::string& why)> logFailure;
  // Under overwrite, the PDF this run replaces and where it is kept aside meanwhile: an
  // entry naming that PDF reads its old content from there. Empty when nothing is replaced.
  std::string replacedPdf;
  std::string replacedPdfAside;
  // How the file's scanned pages get a text layer: its pictures', and a script's entries
  // that are scanned PDFs (none when it is not enabled).
  TextRecognition recognition = {};
};

struct ScriptRunContext : ScriptSurroundings {
  ScriptRunContext(CreatePDF& engine, ScriptSurroundings surroundings)
      : ScriptSurroundings(std::move(surroundings)), engine(engine) {}

  CreatePDF& engine;
};

enum class ScriptRunEnd { Finished, StopRequested };

// Runs the script at scriptPath, joining into combinedPdf. A stop found at a check point
// closes the script and returns StopRequested; the caller carries out the stop.
ScriptRunEnd RunScript(ScriptRunContext& context, const std::string& scriptPath, const std::string& combinedPdf);

}  // namespace vd
