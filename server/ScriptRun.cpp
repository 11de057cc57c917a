#include "server/ScriptRun.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <exception>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/Paths.h"
#include "common/Text.h"
#include "engine/CreatePDF.h"
#include "outside/ocr/SearchableScans.h"
#include "platform/FileSystem.h"
#include "scripts/NetworkPaths.h"
#include "scripts/ScriptFile.h"
#include "server/Dispatch.h"
#include "server/FailedFiles.h"
#include "server/FailureReason.h"
#include "server/PathNames.h"

namespace vd {
namespace {

// The entry as a path of this machine: a network location goes through its mount.
std::string localEntryPath(const std::string& entry) {
  if (!IsNetworkLocation(entry)) return entry;
  return ResolveNetworkLocation(entry).value_or(entry);
}

// Converts one entry (read from source) into the temporary PDF as the scan cycle would
// convert the file, except that a PDF is copied (with a text layer on its scanned pages
// when recognition is enabled), security is never applied to a part of a joined document,
// and a script entry is taken as text, so scripts do not nest.
void convertEntry(CreatePDF& engine, const std::string& entry, const std::string& source, const std::string& temporary,
                  const TextRecognition& recognition) {
  const std::string ext = GetExtension(entry);
  if (ext == "pdf") {
    if (!WriteWithTextOnScannedPages(source, temporary, recognition)) fileSystem().copyFile(source, temporary);
    return;
  }
  ConvertWithEngine(engine, DispatchCall{temporary, source, ext, false});
}

// The folder of a path, links and dots resolved; "" when it cannot be found.
std::string resolvedFolderOf(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(folderOf(path).c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

// True when the entry, however it is spelt, names the file at path.
bool namesSameFile(const std::string& entry, const std::string& path) {
  if (fileNameOf(entry) != fileNameOf(path)) return false;
  const std::string folder = resolvedFolderOf(entry);
  return !folder.empty() && folder == resolvedFolderOf(path);
}

// One run's state: the temporary PDFs made so far, in script order. They are joined in
// groups as the run goes, so a script of thousands of entries never has more than a few
// hundred files in the input directory at once, and the final join opens only a few.
class ScriptRun {
 public:
  ScriptRun(ScriptRunContext& context, std::string combinedPdf)
      : context_(context), combinedPdf_(std::move(combinedPdf)) {}

  ScriptRunEnd run(const std::string& scriptPath) {
    std::string bytes;
    if (!step([&] { bytes = fileSystem().readFile(scriptPath); })) return ScriptRunEnd::Finished;
    for (const std::string& line : SplitScriptLines(bytes)) {
      if (context_.checkPoint && context_.checkPoint()) {
        // The script stays and is run again from its first line: what this run made is
        // of no further use, and the next run would not take it for its own.
        removeTemporaries();
        return ScriptRunEnd::StopRequested;
      }
      const std::string entry = trimSpaces(line);
      if (entry.empty() || entry.front() == '\'') continue;
      if (joinFailed_) continue;  // nothing of this run can be joined any more
      convert(localEntryPath(entry));
    }
    join();
    return ScriptRunEnd::Finished;
  }

 private:
  // Temporaries joined into one part once a group has this many.
  static constexpr std::size_t kJoinGroup = 64;

  // The error rule: a failed step is logged and the run goes on with the next one. The
  // reason starts with the entry the step was for, if any: no other log line names it.
  template <class Action>
  bool step(Action action, const std::string& entry = {}) {
    std::string why;
    if (attempt(action, why)) return true;
    failed(entry, why);
    return false;
  }

  // As step(), but the reason is left in `why` for the caller to log.
  template <class Action>
  static bool attempt(Action action, std::string& why) {
    // Whatever the failure, it ends only this step: the run goes on with the next.
    try {
      action();
      return true;
    } catch (const std::exception& error) {
      why = FailureReason(error);
    } catch (...) {
      why = "The conversion failed for an unknown reason.";
    }
    return false;
  }

  void failed(const std::string& entry, const std::string& why) {
    if (context_.logFailure) context_.logFailure(entry.empty() ? why : entry + ": " + why);
  }

  // A name of the input directory for a temporary of `base`: base_tmp.pdf, then
  // base_tmp_2.pdf and on. A name this run has used is not used again (two entries with the
  // same base name keep their own pages), and neither is one taken by a file of someone
  // else, nor one whose Distiller log would replace such a file. Each base name goes on
  // counting where it stopped, so a run stays linear in its entries.
  std::string temporaryFor(const std::string& base) {
    const std::string stem = context_.inputDir + "/" + base + "_tmp";
    int& number = nextNumber_[stem];
    for (number = std::max(number, 1);; ++number) {
      const std::string name = number == 1 ? stem : stem + "_" + std::to_string(number);
      if (taken(name + ".pdf") || taken(name + ".log")) continue;
      ++number;
      return name + ".pdf";
    }
  }

  static bool taken(const std::string& path) { return fileSystem().entryExists(path); }

  static std::string distillerLogOf(const std::string& temporary) {
    return temporary.substr(0, temporary.size() - 4) + ".log";
  }

  // Where an entry is read from: the entry itself, or, for the PDF this run replaces, the
  // copy kept aside (the PDF's own name is empty until its replacement exists).
  std::string sourceOf(const std::string& entry) const {
    const bool replaced = !context_.replacedPdf.empty() && !fileSystem().entryExists(entry) &&
                          namesSameFile(entry, context_.replacedPdf);
    return replaced ? context_.replacedPdfAside : entry;
  }

  void convert(const std::string& entry) {
    const std::string source = sourceOf(entry);
    if (source == entry && !PathExists(entry)) return;
    // A script may name anything; only an ordinary file (or a link to one) is an entry.
    // A pipe would block the run until someone writes to it, a device might never end.
    if (!fileSystem().fileLength(source)) {
      failed(entry, "not an ordinary file, so the script's entry is left out.");
      return;
    }
    const std::string temporary = temporaryFor(GetBaseName(entry));
    const std::string distillerLog = distillerLogOf(temporary);
    std::string why;
    const bool converted = attempt([&] { convertEntry(context_.engine, entry, source, temporary, context_.recognition); }, why);
    if (!PathExists(temporary)) {
      if (fileSystem().entryExists(distillerLog)) {
        why = keepLogOfFailedEntry(entry, distillerLog, converted ? "no PDF was made of it." : why);
      }
      if (!converted) failed(entry, why);
      return;
    }
    add(0, temporary);
    if (PathExists(distillerLog)) step([&] { fileSystem().deleteFile(distillerLog); });
  }

  // Left in the input folder, a failed entry's Distiller log would be taken by the next pass
  // for a file to convert: it is kept in failed/ with the entry's reason, or else removed.
  // Returns the reason with the log named where it now is (the note lies beside it, and
  // names it no more), or not at all once removed.
  std::string keepLogOfFailedEntry(const std::string& entry, const std::string& log, const std::string& why) {
    const std::string pointer = " (see " + log + ")";
    const std::string::size_type at = why.find(pointer);
    std::string withoutPointer = why;
    if (at != std::string::npos) withoutPointer.erase(at, pointer.size());
    std::string kept;
    if (step([&] { kept = KeepFailedFile(context_.inputDir, fileNameOf(log), entry + ": " + withoutPointer); })) {
      return at == std::string::npos ? why : std::string(why).replace(at, pointer.size(), " (see " + kept + ")");
    }
    step([&] { fileSystem().deleteFile(log); });
    return withoutPointer;
  }

  // Adds a file to the group of its level; a full group becomes one part of the next level.
  // Every part of a higher level holds earlier entries than any file of a lower one.
  void add(std::size_t level, const std::string& file) {
    if (groups_.size() <= level) groups_.resize(level + 1);
    groups_[level].push_back(file);
    if (groups_[level].size() < kJoinGroup) return;
    std::vector<std::string> group = std::move(groups_[level]);
    groups_[level].clear();
    const std::string part = temporaryFor(GetBaseName(combinedPdf_));
    const bool joined = joinInto(part, group);
    if (!joined || !PathExists(part)) {
      // The run can no longer make its PDF: as for a failed final join, nothing is made.
      joinFailed_ = true;
      removeTemporaries();
      return;
    }
    add(level + 1, part);
  }

  // Joins the files into `into` and removes them, joined or not.
  bool joinInto(const std::string& into, const std::vector<std::string>& files) {
    const bool joined = step([&] { context_.engine.CreatePDFfromMultiPDF(into, PathArray{0, files}); });
    for (const std::string& file : files) step([&] { fileSystem().deleteFile(file); });
    return joined;
  }

  void join() {
    std::vector<std::string> files;
    for (auto level = groups_.rbegin(); level != groups_.rend(); ++level) {
      files.insert(files.end(), level->begin(), level->end());
    }
    groups_.clear();
    if (!files.empty()) joinInto(combinedPdf_, files);
  }

  void removeTemporaries() {
    for (const std::vector<std::string>& group : groups_) {
      for (const std::string& file : group) step([&] { fileSystem().deleteFile(file); });
    }
    groups_.clear();
  }

  ScriptRunContext& context_;
  std::string combinedPdf_;
  // The temporaries and parts not yet joined, by level (0: one entry each), in script order.
  std::vector<std::vector<std::string>> groups_;
  std::unordered_map<std::string, int> nextNumber_;
  bool joinFailed_ = false;
};

}  // namespace

ScriptRunEnd RunScript(ScriptRunContext& context, const std::string& scriptPath, const std::string& combinedPdf) {
  return ScriptRun(context, combinedPdf).run(scriptPath);
}

}  // namespace vd
