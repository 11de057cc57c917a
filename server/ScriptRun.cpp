#include "server/ScriptRun.h"

#include <algorithm>
#include <exception>
#include <vector>

#include "common/Text.h"
#include "engine/CreatePDF.h"
#include "platform/FileSystem.h"
#include "scripts/NetworkPaths.h"
#include "scripts/ScriptFile.h"
#include "server/Dispatch.h"
#include "server/PathNames.h"

namespace vd {
namespace {

// The entry as a path of this machine: a network location goes through its mount.
std::string localEntryPath(const std::string& entry) {
  if (!IsNetworkLocation(entry)) return entry;
  return ResolveNetworkLocation(entry).value_or(entry);
}

// Converts one entry into the temporary PDF as the scan cycle would convert the file,
// except that a PDF is copied, security is never applied to a part of a joined
// document, and a script entry is taken as text, so scripts do not nest.
void convertEntry(CreatePDF& engine, const std::string& entry, const std::string& temporary) {
  const std::string ext = GetExtension(entry);
  if (ext == "pdf") {
    fileSystem().copyFile(entry, temporary);
    return;
  }
  ConvertWithEngine(engine, DispatchCall{temporary, entry, ext, false});
}

// One run's state: the temporary PDFs made so far, in script order.
class ScriptRun {
 public:
  ScriptRun(ScriptRunContext& context, std::string combinedPdf)
      : context_(context), combinedPdf_(std::move(combinedPdf)) {}

  ScriptRunEnd run(const std::string& scriptPath) {
    std::string bytes;
    if (!step([&] { bytes = fileSystem().readFile(scriptPath); })) return ScriptRunEnd::Finished;
    for (const std::string& line : SplitScriptLines(bytes)) {
      if (context_.checkPoint && context_.checkPoint()) return ScriptRunEnd::StopRequested;
      const std::string entry = trimSpaces(line);
      if (entry.empty() || entry.front() == '\'') continue;
      convert(localEntryPath(entry));
    }
    join();
    return ScriptRunEnd::Finished;
  }

 private:
  // The error rule: a failed step is logged and the run goes on with the next one.
  template <class Action>
  bool step(Action action) {
    try {
      action();
      return true;
    } catch (...) {
      // Whatever the failure, it ends only this step: the run goes on with the next.
      if (context_.logFailure) context_.logFailure();
      return false;
    }
  }

  // Two entries with the same base name would otherwise share one temporary, and the
  // second conversion would replace the first document's pages.
  std::string temporaryFor(const std::string& entry) const {
    const std::string stem = context_.inputDir + "/" + GetBaseName(entry) + "_tmp";
    std::string candidate = stem + ".pdf";
    for (int n = 2; std::find(temporaries_.begin(), temporaries_.end(), candidate) != temporaries_.end(); ++n) {
      candidate = stem + "_" + std::to_string(n) + ".pdf";
    }
    return candidate;
  }

  void convert(const std::string& entry) {
    if (!PathExists(entry)) return;
    // A script may name anything; only an ordinary file (or a link to one) is an entry.
    // A pipe would block the run until someone writes to it, a device might never end.
    if (!fileSystem().fileLength(entry)) {
      if (context_.logFailure) context_.logFailure();
      return;
    }
    const std::string temporary = temporaryFor(entry);
    const std::string distillerLog = temporary.substr(0, temporary.size() - 4) + ".log";
    if (PathExists(temporary)) step([&] { fileSystem().deleteFile(temporary); });
    step([&] { convertEntry(context_.engine, entry, temporary); });
    if (!PathExists(temporary)) return;
    temporaries_.push_back(temporary);
    if (PathExists(distillerLog)) step([&] { fileSystem().deleteFile(distillerLog); });
  }

  void join() {
    if (temporaries_.empty()) return;
    step([&] { context_.engine.CreatePDFfromMultiPDF(combinedPdf_, PathArray{0, temporaries_}); });
    for (const std::string& temporary : temporaries_) step([&] { fileSystem().deleteFile(temporary); });
    temporaries_.clear();
  }

  ScriptRunContext& context_;
  std::string combinedPdf_;
  std::vector<std::string> temporaries_;
};

}  // namespace

ScriptRunEnd RunScript(ScriptRunContext& context, const std::string& scriptPath, const std::string& combinedPdf) {
  return ScriptRun(context, combinedPdf).run(scriptPath);
}

}  // namespace vd
