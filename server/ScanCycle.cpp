#include "server/ScanCycle.h"

#include <exception>
#include <utility>
#include <vector>

#include "common/Errors.h"
#include "common/IgnoringErrors.h"
#include "common/Text.h"
#include "engine/EngineError.h"
#include "platform/EventPump.h"
#include "server/Dispatch.h"
#include "server/FailedFiles.h"
#include "server/PathNames.h"
#include "server/ScriptRun.h"

namespace vd {
namespace {

std::string reasonOf(const std::exception& error) {
  if (const auto* engineError = dynamic_cast<const EngineError*>(&error)) {
    return engineError->description() + " (error " + std::to_string(engineError->number()) + ", source " +
           engineError->source() + ")";
  }
  return error.what();
}

bool leftOutByName(const std::string& name) {
  const std::string ext = GetExtension(name);
  return ext == "exe" || ext == "pdf" || toLowerAscii(name) == "st6unst.log";
}

}  // namespace

ScanCycle::ScanCycle(ServerView& view, ServerState& state, EngineFactory engineFactory)
    : view_(view), state_(state), engineFactory_(std::move(engineFactory)) {}

template <class Action>
bool ScanCycle::attempt(Action&& action) {
  try {
    action();
    return true;
  } catch (const std::exception&) {
  } catch (...) {
  }
  logLine(kUnableToCreatePdf);
  return false;
}

void ScanCycle::logLine(const std::string& line) { view_.appendLog(line + kLineEnd); }

ScanCycle::Flow ScanCycle::checkPoint() {
  eventPump().processEvents();
  if (!state_.StopRequested) return Flow::Go;
  carryOutStop();
  return Flow::Stopped;
}

void ScanCycle::run() {
  setUp();
  for (;;) {
    if (waitPhase() == Flow::Stopped) return;
    view_.setStatusText("Scanning for files in " + state_.InputDir + "...");
    view_.repaintStatus();
    if (listFiles() == Flow::Stopped) return;
    if (view_.listCount() == 0) continue;
    view_.highlightListEntry(0);
    view_.setStatusText("Processing " + std::to_string(view_.listCount()) + " files...");
    view_.repaintStatus();
    if (processListedFiles() == Flow::Stopped) return;
    view_.setStatusText(view_.statusText() + "done.");
    view_.repaintStatus();
    view_.clearList();
  }
}

void ScanCycle::setUp() {
  state_.Scanning = true;
  leftInPlace_.clear();
  view_.setBusyPointer(true);
  view_.setHelpText("");
  view_.setStartVisible(false);
  view_.setStopVisible(true);
  view_.setExitVisible(false);
  attempt([this] { state_.Engine = engineFactory_(); });
  view_.setControlsEnabled(false);
  view_.setCaption(std::string(kProgramTitle) + " is scanning for files...");
}

void ScanCycle::carryOutStop() {
  state_.StopRequested = false;
  view_.setStartVisible(true);
  view_.setStopVisible(false);
  view_.setExitVisible(true);
  view_.setStatusText(view_.idlePrompt());
  view_.setStatusText(view_.statusText() + "done.");
  view_.repaintStatus();
  view_.clearList();
  view_.setCaption(kProgramTitle);
  view_.setControlsEnabled(true);
  state_.Engine.reset();
  view_.setBusyPointer(false);
  state_.Scanning = false;
}

ScanCycle::Flow ScanCycle::waitPhase() {
  const std::int16_t seconds = state_.Seconds;
  // Without any wait the cycle would otherwise never look at its events while the
  // input directory stays empty, and Stop could not be pressed.
  if (seconds < 1) return checkPoint();
  for (std::int16_t k = 1; k <= seconds; ++k) {
    if (checkPoint() == Flow::Stopped) return Flow::Stopped;
    eventPump().pause(1000);
    if (k == INT16_MAX) break;
  }
  return Flow::Go;
}

bool ScanCycle::includeInPass(const std::string& name) {
  if (leftOutByName(name)) return false;
  const std::string path = state_.InputDir + "/" + name;
  const std::optional<FileStamp> stamp = fileSystem().stamp(path);
  if (!stamp) return false;  // gone again since the listing saw it
  if (IsStillBeingWritten(*stamp)) return false;
  return !leftInPlace_.isUnchanged(path, *stamp);
}

ScanCycle::Flow ScanCycle::listFiles() {
  listed_.clear();
  std::unique_ptr<DirectoryListing> listing;
  if (!attempt([&] { listing = fileSystem().listOrdinaryFiles(state_.InputDir); })) return Flow::Go;
  for (bool first = true;; first = false) {
    if (!first && checkPoint() == Flow::Stopped) return Flow::Stopped;
    std::optional<std::string> entry;
    if (!attempt([&] { entry = listing->next(); }) || !entry) return Flow::Go;
    if (!includeInPass(*entry)) continue;
    view_.addListEntry(*entry);
    listed_.push_back(*entry);
    // The list's index is 16-bit; what does not fit waits for a later pass.
    if (view_.listCount() >= kMaxListEntries) return Flow::Go;
  }
}

ScanCycle::Flow ScanCycle::processListedFiles() {
  // The names as the file system gave them: the list shows them as text, which cannot
  // hold every byte sequence a Linux file name may have.
  const std::vector<std::string> names = std::move(listed_);
  listed_.clear();
  // The listing never takes more than kMaxListEntries, so every index fits the list's.
  for (int i = 0; i < static_cast<int>(names.size()) && i < kMaxListEntries; ++i) {
    view_.highlightListEntry(i);
    if (checkPoint() == Flow::Stopped) return Flow::Stopped;
    if (processFile(names[static_cast<std::size_t>(i)]) == Flow::Stopped) return Flow::Stopped;
  }
  return Flow::Go;
}

std::string ScanCycle::chooseOutputPath(const std::string& name) {
  const std::string base = state_.OutputDir + "/" + GetBaseName(name);
  std::string path = base + ".pdf";
  if (!PathExists(path)) return path;
  if (view_.optionBoxState(OptionBox::Overwrite)) {
    attempt([&] { setAsideForReplacement(path); });
    logLine(path + " deleted");
    return path;
  }
  for (std::int16_t n = 1;; ++n) {
    eventPump().processEvents();
    path = base + "_" + std::to_string(n) + ".pdf";
    if (!PathExists(path)) return path;
    if (n == INT16_MAX) throw FileError("number the output for", state_.InputDir + "/" + name, "every numbered name is taken");
  }
}

ScanCycle::Flow ScanCycle::processFile(const std::string& name) {
  std::string out;
  if (!attempt([&] { out = chooseOutputPath(name); })) return Flow::Go;
  const std::string in = state_.InputDir + "/" + name;
  if (!PathExists(in)) return Flow::Go;
  logLine(in + " --> " + out);
  const std::optional<FileStamp> outBefore = fileSystem().stamp(out);
  bool stopFound = false;
  std::optional<std::string> failure = convert(out, in, GetExtension(name), stopFound);
  if (stopFound) {
    settleReplacedPdf(out, false);
    carryOutStop();  // the script file stays for the next start
    return Flow::Stopped;
  }
  finishInput(name, out, outBefore, std::move(failure));
  return Flow::Go;
}

// The PDF being replaced is the only copy of an earlier document (its input is long
// gone), so it is kept aside, hidden beside it, until its replacement exists.
void ScanCycle::setAsideForReplacement(const std::string& path) {
  const auto slash = path.find_last_of('/');
  const std::string aside = path.substr(0, slash + 1) + "." + path.substr(slash + 1) + ".replaced";
  fileSystem().copyFile(path, aside);
  try {
    fileSystem().deleteFile(path);
  } catch (...) {
    ignoringErrors([&] { fileSystem().deleteFile(aside); });
    throw;
  }
  replacedPdf_ = aside;
}

void ScanCycle::settleReplacedPdf(const std::string& out, bool replaced) {
  if (!replacedPdf_) return;
  const std::string aside = *replacedPdf_;
  replacedPdf_.reset();
  if (replaced) {
    ignoringErrors([&] { fileSystem().deleteFile(aside); });
    return;
  }
  ignoringErrors([&] {
    if (fileSystem().fileLength(out).value_or(0) == 0 && fileSystem().pathExists(out)) fileSystem().deleteFile(out);
    if (!fileSystem().pathExists(out)) fileSystem().moveFile(aside, out);
  });
}

std::optional<std::string> ScanCycle::convert(const std::string& out, const std::string& in, const std::string& ext,
                                               bool& stopFound) {
  std::optional<std::string> failure;
  try {
    if (!state_.Engine) throw EngineError("The conversion engine could not be created.");
    ScriptRunContext scriptContext{*state_.Engine, state_.InputDir,
                                   [this] {
                                     eventPump().processEvents();
                                     return state_.StopRequested;
                                   },
                                   [this] { logLine(kUnableToCreatePdf); }};
    const DispatchCall call{out, in, ext, view_.optionBoxState(OptionBox::Security)};
    stopFound = Dispatch(*state_.Engine, call, scriptContext) == ScriptRunEnd::StopRequested;
    return std::nullopt;
  } catch (const std::exception& error) {
    failure = reasonOf(error);
  } catch (...) {
    failure = "The conversion failed for an unknown reason.";
  }
  logLine(kUnableToCreatePdf);
  return failure;
}

void ScanCycle::finishInput(const std::string& name, const std::string& out, const std::optional<FileStamp>& outBefore,
                            std::optional<std::string> failure) {
  const std::string in = state_.InputDir + "/" + name;
  if (!failure) {
    const std::optional<std::uint64_t> length = fileSystem().fileLength(out);
    const bool untouched = outBefore.has_value() && fileSystem().stamp(out) == outBefore;
    if (!length || *length == 0 || untouched) {
      logLine(kUnableToCreatePdf);
      failure = "No PDF was created: after the conversion " + out + " does not exist, is empty or was not written.";
    }
  }
  settleReplacedPdf(out, !failure);
  bool handled = false;
  if (failure) {
    handled = attempt([&] { KeepFailedFile(state_.InputDir, name, *failure); });
  } else {
    handled = attempt([&] { fileSystem().deleteFile(in); });
  }
  if (!handled) {
    // Left where it is: not handled again in this cycle while it stays unchanged.
    if (const std::optional<FileStamp> stamp = fileSystem().stamp(in)) leftInPlace_.remember(in, *stamp);
  }
}

}  // namespace vd
