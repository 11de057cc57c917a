#include "server/ScanCycle.h"

#include <exception>
#include <utility>
#include <vector>

#include "common/Errors.h"
#include "common/Text.h"
#include "engine/EngineError.h"
#include "platform/EventPump.h"
#include "server/Dispatch.h"
#include "server/FailedFiles.h"
#include "server/PathNames.h"
#include "server/ScriptRun.h"
#include "server/SetAsidePdf.h"

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

ScanCycle::ScanCycle(ScanSettings settings, ScanObserver& observer, EngineFactory engineFactory)
    : settings_(std::move(settings)), observer_(observer), engineFactory_(std::move(engineFactory)) {}

ScanCycle::~ScanCycle() = default;

template <class Action>
bool ScanCycle::attempt(Action&& action) {
  try {
    action();
    return true;
  } catch (const std::exception&) {
  } catch (...) {
  }
  observer_.logLine(kUnableToCreatePdf);
  return false;
}

void ScanCycle::setStatus(const std::string& text) {
  status_ = text;
  observer_.statusChanged(status_);
}

ScanCycle::Flow ScanCycle::checkPoint() {
  eventPump().processEvents();
  if (!stopRequested_) return Flow::Go;
  carryOutStop();
  return Flow::Stopped;
}

void ScanCycle::run() {
  attempt([this] { engine_ = engineFactory_(); });
  for (;;) {
    if (waitPhase() == Flow::Stopped) return;
    setStatus("Scanning for files in " + settings_.inputDir + "...");
    if (listFiles() == Flow::Stopped) return;
    if (listed_.empty()) continue;
    observer_.filesListed(listed_);
    observer_.entryHighlighted(0);
    setStatus("Processing " + std::to_string(listed_.size()) + " files...");
    if (processListedFiles() == Flow::Stopped) return;
    setStatus(status_ + "done.");
    observer_.filesListed({});
  }
}

void ScanCycle::carryOutStop() {
  settleReplacedPdf(false);
  stopRequested_ = false;
  engine_.reset();
}

ScanCycle::Flow ScanCycle::waitPhase() {
  const std::int16_t seconds = settings_.seconds;
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
  const std::string path = settings_.inputDir + "/" + name;
  const std::optional<FileStamp> stamp = fileSystem().stamp(path);
  if (!stamp) return false;  // gone again since the listing saw it
  if (IsStillBeingWritten(*stamp)) return false;
  return !leftInPlace_.isUnchanged(path, *stamp);
}

ScanCycle::Flow ScanCycle::listFiles() {
  listed_.clear();
  std::unique_ptr<DirectoryListing> listing;
  if (!attempt([&] { listing = fileSystem().listOrdinaryFiles(settings_.inputDir); })) return Flow::Go;
  for (bool first = true;; first = false) {
    if (!first && checkPoint() == Flow::Stopped) return Flow::Stopped;
    std::optional<std::string> entry;
    if (!attempt([&] { entry = listing->next(); }) || !entry) return Flow::Go;
    if (!includeInPass(*entry)) continue;
    listed_.push_back(*entry);
    if (listed_.size() >= static_cast<std::size_t>(kMaxListEntries)) return Flow::Go;
  }
}

ScanCycle::Flow ScanCycle::processListedFiles() {
  const std::vector<std::string> names = std::move(listed_);
  listed_.clear();
  // The listing never takes more than kMaxListEntries, so every index fits the list's.
  for (int i = 0; i < static_cast<int>(names.size()) && i < kMaxListEntries; ++i) {
    observer_.entryHighlighted(i);
    if (checkPoint() == Flow::Stopped) return Flow::Stopped;
    if (processFile(names[static_cast<std::size_t>(i)]) == Flow::Stopped) return Flow::Stopped;
  }
  return Flow::Go;
}

std::string ScanCycle::chooseOutputPath(const std::string& name) {
  const std::string base = settings_.outputDir + "/" + GetBaseName(name);
  std::string path = base + ".pdf";
  if (!PathExists(path)) return path;
  if (settings_.overwrite) {
    attempt([&] { replaced_ = std::make_unique<SetAsidePdf>(path); });
    observer_.logLine(path + " deleted");
    return path;
  }
  for (std::int16_t n = 1;; ++n) {
    eventPump().processEvents();
    path = base + "_" + std::to_string(n) + ".pdf";
    if (!PathExists(path)) return path;
    if (n == INT16_MAX) throw FileError("number the output for", settings_.inputDir + "/" + name, "every numbered name is taken");
  }
}

ScanCycle::Flow ScanCycle::processFile(const std::string& name) {
  std::string out;
  if (!attempt([&] { out = chooseOutputPath(name); })) return Flow::Go;
  const std::string in = settings_.inputDir + "/" + name;
  if (!PathExists(in)) {
    // Gone since the listing: nothing replaces the PDF set aside for it.
    settleReplacedPdf(false);
    return Flow::Go;
  }
  observer_.logLine(in + " --> " + out);
  const std::optional<FileStamp> outBefore = fileSystem().stamp(out);
  bool stopFound = false;
  std::optional<std::string> failure = convert(out, in, GetExtension(name), stopFound);
  if (stopFound) {
    settleReplacedPdf(false);
    carryOutStop();  // the script file stays for the next start
    return Flow::Stopped;
  }
  finishInput(name, out, outBefore, std::move(failure));
  return Flow::Go;
}

void ScanCycle::settleReplacedPdf(bool replaced) {
  if (!replaced_) return;
  if (replaced) {
    replaced_->discard();
  } else {
    replaced_->putBack();
  }
  replaced_.reset();
}

std::optional<std::string> ScanCycle::convert(const std::string& out, const std::string& in, const std::string& ext,
                                               bool& stopFound) {
  std::optional<std::string> failure;
  try {
    if (!engine_) throw EngineError("The conversion engine could not be created.");
    ScriptRunContext scriptContext{*engine_, settings_.inputDir,
                                   [this] {
                                     eventPump().processEvents();
                                     return stopRequested_;
                                   },
                                   [this] { observer_.logLine(kUnableToCreatePdf); }};
    const DispatchCall call{out, in, ext, settings_.security};
    stopFound = Dispatch(*engine_, call, scriptContext) == ScriptRunEnd::StopRequested;
    return std::nullopt;
  } catch (const std::exception& error) {
    failure = reasonOf(error);
  } catch (...) {
    failure = "The conversion failed for an unknown reason.";
  }
  observer_.logLine(kUnableToCreatePdf);
  return failure;
}

void ScanCycle::finishInput(const std::string& name, const std::string& out, const std::optional<FileStamp>& outBefore,
                            std::optional<std::string> failure) {
  const std::string in = settings_.inputDir + "/" + name;
  if (!failure) {
    const std::optional<std::uint64_t> length = fileSystem().fileLength(out);
    const bool untouched = outBefore.has_value() && fileSystem().stamp(out) == outBefore;
    if (!length || *length == 0 || untouched) {
      observer_.logLine(kUnableToCreatePdf);
      failure = "No PDF was created: after the conversion " + out + " does not exist, is empty or was not written.";
    }
  }
  settleReplacedPdf(!failure);
  bool handled = false;
  if (failure) {
    observer_.fileFailed(in, *failure);
    handled = attempt([&] { KeepFailedFile(settings_.inputDir, name, *failure); });
  } else {
    observer_.fileConverted(in, out);
    handled = attempt([&] { fileSystem().deleteFile(in); });
  }
  if (!handled) {
    // Left where it is: not handled again in this cycle while it stays unchanged.
    if (const std::optional<FileStamp> stamp = fileSystem().stamp(in)) leftInPlace_.remember(in, *stamp);
  }
}

}  // namespace vd
