#include "server/ScanCycle.h"

#include <algorithm>
#include <exception>
#include <utility>
#include <vector>

#include "common/Errors.h"
#include "common/IgnoringErrors.h"
#include "common/ReplacementFile.h"
#include "common/Text.h"
#include "engine/EngineError.h"
#include "outside/acrobat/PdfWholeness.h"
#include "platform/EventPump.h"
#include "platform/FolderClaim.h"
#include "server/Dispatch.h"
#include "server/FailedFiles.h"
#include "server/FailureReason.h"
#include "server/PathNames.h"
#include "server/ScriptRun.h"
#include "server/SetAsidePdf.h"

namespace vd {
namespace {

// How long one wait for the lanes lasts before events (a stop) get their turn.
constexpr int kLaneWaitMilliseconds = 200;

bool leftOutByName(const std::string& name) {
  const std::string ext = GetExtension(name);
  return ext == "exe" || ext == "pdf" || toLowerAscii(name) == "st6unst.log";
}

}  // namespace

ScanCycle::ScanCycle(ScanSettings settings, ScanObserver& observer, EngineFactory engineFactory)
    : settings_(std::move(settings)), observer_(observer), engineFactory_(std::move(engineFactory)) {}

ScanCycle::ScanCycle(ScanSettings settings, ScanObserver& observer, ConversionLanes& lanes)
    : settings_(std::move(settings)), observer_(observer), lanes_(&lanes) {
  inLanes_.resize(lanes.count());
}

// A file handed to a lane, with what finishing it needs.
struct ScanCycle::InLane {
  std::string name;
  std::string in;
  std::string out;
  std::optional<FileStamp> outBefore;
  std::unique_ptr<SetAsidePdf> replaced;
  bool script = false;
};

ScanCycle::~ScanCycle() {
  if (lanes_ != nullptr && anyInFlight()) lanes_->abandon();
}

void ScanCycle::logLine(const std::string& line) { observer_.logLine(lineSubject_ + line); }

template <class Action>
bool ScanCycle::attempt(Action&& action) {
  std::string reason = "unknown error";
  try {
    action();
    return true;
  } catch (const std::exception& error) {
    reason = FailureReason(error);
  } catch (...) {
  }
  // A step around the conversion failed (listing, naming, removing the input): the PDF may
  // well exist, so the operator needs the reason to make sense of the line before it.
  logLine(kUnableToCreatePdf);
  logLine(ReasonLine(reason));
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

ScanCycle::End ScanCycle::run() {
  FolderClaim::Refusal refused;
  claim_ = FolderClaim::tryClaim(settings_.inputDir, refused);
  if (!claim_) {
    refusal_ = refused.reason + " Not scanning.";
    setStatus(refusal_);
    observer_.logLine(refusal_);
    stopRequested_ = false;
    return End::FolderTaken;
  }
  // Only the instance that holds the folder may settle what a killed run left in it.
  settleLeftovers();
  if (lanes_ == nullptr) {
    attempt([this] {
      engine_ = engineFactory_();
      if (engine_) engine_->setEvents(&progressEvents_);
    });
  }
  for (;;) {
    if (waitPhase() == Flow::Stopped) return End::Stopped;
    setStatus("Scanning for files in " + settings_.inputDir + "...");
    if (listFiles() == Flow::Stopped) return End::Stopped;
    lastPassFoundNothing_ = listed_.empty();
    if (listed_.empty()) {
      observer_.passCompleted();
      continue;
    }
    observer_.filesListed(listed_);
    observer_.entryHighlighted(0);
    setStatus("Processing " + std::to_string(listed_.size()) + " files...");
    if (processListedFiles() == Flow::Stopped) return End::Stopped;
    setStatus(status_ + "done.");
    observer_.filesListed({});
    observer_.passCompleted();
  }
}

void ScanCycle::carryOutStop() {
  settleReplacedPdf(false);
  stopRequested_ = false;
  engine_.reset();
  claim_.reset();
}

ScanCycle::Flow ScanCycle::waitPhase() {
  const std::int16_t seconds = settings_.seconds;
  // Without any wait the cycle would otherwise never look at its events while the
  // input directory stays empty, and Stop could not be pressed.
  if (seconds < 1) {
    if (lastPassFoundNothing_) eventPump().rest(kIdleRestMilliseconds);
    return checkPoint();
  }
  for (std::int16_t k = 1; k <= seconds; ++k) {
    if (checkPoint() == Flow::Stopped) return Flow::Stopped;
    eventPump().pause(1000);
    if (k == INT16_MAX) break;
  }
  return Flow::Go;
}

void ScanCycle::settleLeftovers() {
  RemoveAbandonedReplacements(settings_.outputDir);
  SetAsidePdf::settleLeftoversIn(settings_.outputDir);
  // Script runs and failed files write into the input folder too.
  RemoveAbandonedReplacements(settings_.inputDir);
  RemoveAbandonedReplacements(settings_.inputDir + "/" + kFailedFolder);
}

bool ScanCycle::includeInPass(const std::string& name) {
  if (leftOutByName(name)) return false;
  const std::string path = settings_.inputDir + "/" + name;
  const std::optional<FileStamp> stamp = fileSystem().stamp(path);
  if (!stamp) return false;  // gone again since the listing saw it
  if (IsStillBeingWritten(*stamp)) return false;
  if (leftInPlace_.isUnchanged(path, *stamp)) return false;
  listedStamps_[name] = *stamp;
  return true;
}

ScanCycle::Flow ScanCycle::listFiles() {
  listed_.clear();
  listedStamps_.clear();
  if (paused_) return Flow::Go;
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
  if (lanes_ != nullptr) return processInLanes(names);
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
  if (!PathExists(path) && !outputInFlight(path)) return path;
  if (settings_.overwrite) {
    attempt([&] { replaced_ = std::make_unique<SetAsidePdf>(path); });
    observer_.logLine(path + " deleted");
    return path;
  }
  for (std::int16_t n = 1;; ++n) {
    eventPump().processEvents();
    path = base + "_" + std::to_string(n) + ".pdf";
    if (!PathExists(path) && !outputInFlight(path)) return path;
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
  observer_.fileTaken(in, out, 0);
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
                                   [this](const std::string& why) {
                                     observer_.logLine(kUnableToCreatePdf);
                                     observer_.logLine(ReasonLine(why));
                                   }};
    const DispatchCall call{out, in, ext, settings_.security};
    stopFound = Dispatch(*engine_, call, scriptContext) == ScriptRunEnd::StopRequested;
    return std::nullopt;
  } catch (const std::exception& error) {
    failure = FailureReason(error);
  } catch (...) {
    failure = "The conversion failed for an unknown reason.";
  }
  logLine(kUnableToCreatePdf);
  return failure;
}

void ScanCycle::finishInput(const std::string& name, const std::string& out, const std::optional<FileStamp>& outBefore,
                            std::optional<std::string> failure) {
  const std::string in = settings_.inputDir + "/" + name;
  if (!failure) {
    const std::optional<std::uint64_t> length = fileSystem().fileLength(out);
    const bool untouched = outBefore.has_value() && fileSystem().stamp(out) == outBefore;
    if (!length || *length == 0 || untouched) {
      logLine(kUnableToCreatePdf);
      failure = "No PDF was created: after the conversion " + out + " does not exist, is empty or was not written.";
    } else if (const std::optional<std::string> damage = WhyPdfIsNotWhole(out)) {
      // Cut short (a full disk) or damaged: it is no conversion, and it goes.
      logLine(kUnableToCreatePdf);
      failure = "The PDF " + out + " is not complete: " + *damage;
      ignoringErrors([&] { fileSystem().deleteFile(out); });
    }
  }
  settleReplacedPdf(!failure);
  const auto listed = listedStamps_.find(name);
  const std::optional<FileStamp> stampNow = fileSystem().stamp(in);
  if (listed != listedStamps_.end() && stampNow && *stampNow != listed->second) {
    // Written to while it was converted: the PDF may hold a part of it only. It stays for a
    // later pass, which converts it whole.
    logLine(in + " changed during its conversion; it stays for the next pass.");
    return;
  }
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

namespace vd {

bool ScanCycle::outputInFlight(const std::string& path) const {
  return std::any_of(inLanes_.begin(), inLanes_.end(), [&](const auto& work) { return work && work->out == path; });
}

bool ScanCycle::anyInFlight() const {
  return std::any_of(inLanes_.begin(), inLanes_.end(), [](const auto& work) { return work != nullptr; });
}

std::optional<std::size_t> ScanCycle::freeLane() const {
  for (std::size_t lane = 0; lane < inLanes_.size(); ++lane) {
    if (!inLanes_[lane]) return lane;
  }
  return std::nullopt;
}

bool ScanCycle::mustWaitForInFlight(const std::string& name) const {
  // Under overwrite a second file of the same base name replaces the first one's PDF, as
  // it would one file after the other; it must not write while the first one still does.
  if (settings_.overwrite && outputInFlight(settings_.outputDir + "/" + GetBaseName(name) + ".pdf")) return true;
  // A script's entries make their temporary PDFs in the input folder under names of their
  // own base names; two scripts at once could name the same temporary.
  return GetExtension(name) == "scr" &&
         std::any_of(inLanes_.begin(), inLanes_.end(), [](const auto& work) { return work && work->script; });
}

bool ScanCycle::stopPending() {
  eventPump().processEvents();
  return stopRequested_;
}

ScanCycle::Flow ScanCycle::processInLanes(const std::vector<std::string>& names) {
  for (int i = 0; i < static_cast<int>(names.size()) && i < kMaxListEntries; ++i) {
    const std::string& name = names[static_cast<std::size_t>(i)];
    observer_.entryHighlighted(i);
    std::optional<std::size_t> lane;
    for (;;) {
      if (stopPending()) {
        drainLanes();
        carryOutStop();
        return Flow::Stopped;
      }
      if (!mustWaitForInFlight(name)) lane = freeLane();
      if (lane) break;
      collectFinished(kLaneWaitMilliseconds);
    }
    startInLane(*lane, name);
  }
  // A stop asked for meanwhile is carried out at the next check point.
  drainLanes();
  return Flow::Go;
}

void ScanCycle::startInLane(std::size_t lane, const std::string& name) {
  std::string out;
  if (!attempt([&] { out = chooseOutputPath(name); })) return;
  const std::string in = settings_.inputDir + "/" + name;
  if (!PathExists(in)) {
    settleReplacedPdf(false);
    return;
  }
  observer_.logLine(in + " --> " + out);
  observer_.fileTaken(in, out, lane);
  auto work = std::make_unique<InLane>();
  work->name = name;
  work->in = in;
  work->out = out;
  work->outBefore = fileSystem().stamp(out);
  work->replaced = std::move(replaced_);
  work->script = GetExtension(name) == "scr";
  inLanes_[lane] = std::move(work);
  std::optional<std::string> refused;
  try {
    refused = lanes_->start(lane, LaneJob{out, in, GetExtension(name), settings_.security, settings_.inputDir});
  } catch (const std::exception& error) {
    refused = FailureReason(error);
  }
  if (refused) finishLane(lane, std::move(refused));
}

void ScanCycle::collectFinished(int milliseconds) {
  std::optional<LaneFinished> finished;
  try {
    finished = lanes_->wait(milliseconds, [this](std::size_t lane, const std::string& line) {
      const bool known = lane < inLanes_.size() && inLanes_[lane];
      observer_.logLine((known ? inLanes_[lane]->in + ": " : std::string()) + line);
    });
  } catch (const std::exception&) {
    // The lanes could not be waited for (no descriptors left, say): every file in flight
    // is abandoned and kept in failed/, rather than waited for without end.
    lanes_->abandon();
    for (std::size_t lane = 0; lane < inLanes_.size(); ++lane) {
      if (inLanes_[lane]) finishLane(lane, std::string("The conversion lane could not be waited for."));
    }
  }
  if (finished && finished->lane < inLanes_.size() && inLanes_[finished->lane]) {
    finishLane(finished->lane, std::move(finished->failure));
  }
  eventPump().processEvents();
}

void ScanCycle::finishLane(std::size_t lane, std::optional<std::string> failure) {
  const std::unique_ptr<InLane> work = std::move(inLanes_[lane]);
  replaced_ = std::move(work->replaced);
  lineSubject_ = work->in + ": ";
  if (failure) logLine(kUnableToCreatePdf);
  finishInput(work->name, work->out, work->outBefore, std::move(failure));
  lineSubject_.clear();
}

void ScanCycle::drainLanes() {
  while (anyInFlight()) collectFinished(kLaneWaitMilliseconds);
}

}  // namespace vd
