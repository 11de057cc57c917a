#include "server/ScanCycle.h"

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <utility>

#include "outside/InterpreterConfinement.h"
#include "platform/EventPump.h"
#include "server/LaneConversion.h"
#include "server/SerialConversion.h"

namespace vd {
namespace {

// How long one wait for the lanes or the folders lasts before events (a stop) get their turn.
constexpr int kSliceMilliseconds = 200;
constexpr int kTickMilliseconds = 1000;

std::vector<ScanSettings> oneFolder(ScanSettings settings) {
  std::vector<ScanSettings> folders;
  folders.push_back(std::move(settings));
  return folders;
}

}  // namespace

ScanCycle::ScanCycle(std::vector<ScanSettings> folders, ScanObserver& observer) : observer_(observer) {
  for (ScanSettings& settings : folders) {
    folders_.push_back(std::make_unique<FolderPasses>(folders_.size(), std::move(settings), observer_));
  }
  waits_.resize(folders_.size());
  paused_.resize(folders_.size(), false);
}

ScanCycle::ScanCycle(std::vector<ScanSettings> folders, ScanObserver& observer, EngineFactory engineFactory)
    : ScanCycle(std::move(folders), observer) {
  conversion_ = std::make_unique<SerialConversion>(std::move(engineFactory), observer_, [this] {
    eventPump().processEvents();
    return stopRequested_;
  });
}

ScanCycle::ScanCycle(std::vector<ScanSettings> folders, ScanObserver& observer, ConversionLanes& lanes)
    : ScanCycle(std::move(folders), observer) {
  conversion_ = std::make_unique<LaneConversion>(lanes, observer_);
}

ScanCycle::ScanCycle(ScanSettings settings, ScanObserver& observer, EngineFactory engineFactory)
    : ScanCycle(oneFolder(std::move(settings)), observer, std::move(engineFactory)) {}

ScanCycle::ScanCycle(ScanSettings settings, ScanObserver& observer, ConversionLanes& lanes)
    : ScanCycle(oneFolder(std::move(settings)), observer, lanes) {}

ScanCycle::~ScanCycle() = default;

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

std::optional<ScanCycle::End> ScanCycle::claim() {
  for (const std::unique_ptr<FolderPasses>& folder : folders_) {
    if (const std::optional<FolderClaim::Refusal> refused = folder->claim()) {
      for (const std::unique_ptr<FolderPasses>& claimed : folders_) claimed->release();
      refusal_ = refused->reason + " Not scanning.";
      setStatus(refusal_);
      observer_.logLine(refusal_);
      stopRequested_ = false;
      return refused->lockImpossible ? End::NoLock : End::FolderTaken;
    }
  }
  claimed_ = true;
  return std::nullopt;
}

ScanCycle::End ScanCycle::run() {
  if (!claimed_) {
    if (const std::optional<End> refused = claim()) return *refused;
  }
  // Only the instance that holds the folder may settle what a killed run left in it.
  for (const std::unique_ptr<FolderPasses>& folder : folders_) folder->settleLeftovers();
  if (const std::string notice = TakeInterpreterConfinementNotice(); !notice.empty()) observer_.logLine(notice);
  if (wakeOnChanges_) watchFolders();
  if (passAtStart_) {
    for (FolderWait& wait : waits_) wait.due = true;
  }
  conversion_->begin();
  for (;;) {
    if (waitPhase() == Flow::Stopped) return End::Stopped;
    for (std::size_t k = 0; k < folders_.size(); ++k) {
      if (!waits_[k].due) continue;
      waits_[k] = FolderWait{std::move(waits_[k].watch)};
      if (pass(k) == Flow::Stopped) return End::Stopped;
    }
  }
}

void ScanCycle::carryOutStop() {
  // The files in hand are finished first: a stop never abandons a conversion under way.
  while (conversion_->busy()) {
    if (std::optional<ConversionEnded> ended = conversion_->next(kSliceMilliseconds)) finishEnded(std::move(*ended));
    eventPump().processEvents();
  }
  stopRequested_ = false;
  conversion_->end();
  for (FolderWait& wait : waits_) wait.watch.reset();
  for (const std::unique_ptr<FolderPasses>& folder : folders_) folder->release();
  claimed_ = false;
}

void ScanCycle::watchFolders() {
  for (std::size_t k = 0; k < folders_.size(); ++k) {
    const ScanSettings& settings = folders_[k]->settings();
    std::string whyNot;
    waits_[k].watch = folderChanges().watch(settings.inputDir, whyNot);
    if (!waits_[k].watch) {
      observer_.logLine(settings.inputDir + ": " + whyNot + "; it is looked at every " +
                        std::to_string(settings.seconds) + " s.");
    }
  }
}

bool ScanCycle::anyDue() const {
  for (const FolderWait& wait : waits_) {
    if (wait.due) return true;
  }
  return false;
}

ScanCycle::Flow ScanCycle::waitPhase() {
  // Without any wait the cycle would otherwise never look at its events while the
  // input directory stays empty, and Stop could not be pressed.
  if (folders_.size() == 1 && folders_.front()->settings().seconds < 1) {
    if (conversion_->busy()) {
      if (takeBack(kIdleRestMilliseconds) == Flow::Stopped) return Flow::Stopped;
    } else if (lastPassFoundNothing_) {
      eventPump().rest(kIdleRestMilliseconds);
    }
    waits_.front().due = true;
    return checkPoint();
  }
  while (!anyDue()) {
    if (checkPoint() == Flow::Stopped) return Flow::Stopped;
    waitOneTick();
    for (std::size_t k = 0; k < folders_.size(); ++k) {
      FolderWait& wait = waits_[k];
      ++wait.ticksWaited;
      // A file left because it was still being written is looked at again after a tick where
      // the folders are watched: its last change woke the wait, and no later one will.
      if ((wakeOnChanges_ && wait.soon) || wait.ticksWaited >= folders_[k]->settings().seconds) wait.due = true;
    }
  }
  return Flow::Go;
}

void ScanCycle::waitOneTick() {
  std::vector<pollfd> watched;
  std::vector<std::size_t> watchedFolders;
  for (std::size_t k = 0; k < waits_.size(); ++k) {
    if (!waits_[k].watch || waits_[k].watch->descriptor() < 0) continue;
    watched.push_back(pollfd{waits_[k].watch->descriptor(), POLLIN, 0});
    watchedFolders.push_back(k);
  }
  if (watched.empty() && !conversion_->busy()) {
    // Nothing to watch: the interval alone paces the passes, as the window has always had it.
    eventPump().pause(kTickMilliseconds);
    return;
  }
  using Clock = std::chrono::steady_clock;
  const Clock::time_point tickEnd = Clock::now() + std::chrono::milliseconds(kTickMilliseconds);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(tickEnd - Clock::now()).count();
    if (left <= 0) return;
    const int slice = static_cast<int>(std::min<long long>(left, kSliceMilliseconds));
    if (conversion_->busy()) {
      if (std::optional<ConversionEnded> ended = conversion_->next(slice)) {
        // A script that met a stop keeps it for the check point after the tick.
        if (!finishEnded(std::move(*ended))) stopRequested_ = true;
      }
      for (pollfd& entry : watched) entry.revents = 0;
      if (!watched.empty()) ::poll(watched.data(), watched.size(), 0);
    } else if (::poll(watched.data(), watched.size(), slice) <= 0) {
      for (pollfd& entry : watched) entry.revents = 0;
    }
    for (std::size_t i = 0; i < watched.size(); ++i) {
      if (watched[i].revents != 0 && waits_[watchedFolders[i]].watch->waitForChange(0)) {
        waits_[watchedFolders[i]].due = true;
      }
    }
    if (anyDue() || stopRequested_) return;
    eventPump().processEvents();
    if (stopRequested_) return;
  }
}

ScanCycle::Flow ScanCycle::pass(std::size_t k) {
  FolderPasses& folder = *folders_[k];
  observer_.passStarted(k);
  setStatus("Scanning for files in " + folder.settings().inputDir + "...");
  std::vector<std::string> names;
  if (!paused_[k]) {
    const auto listingStarted = std::chrono::steady_clock::now();
    const FolderPasses::Listing listing =
        folder.list(names, inHand_, [this] { return checkPoint() == Flow::Stopped; });
    // A folder of many files is listed again at most a fifth of the time.
    const auto listed = std::chrono::steady_clock::now();
    listAgainFrom_ = listed + std::max<std::chrono::steady_clock::duration>(
                                  std::chrono::milliseconds(kSliceMilliseconds), 4 * (listed - listingStarted));
    if (listing == FolderPasses::Listing::Stopped) return Flow::Stopped;
    waits_[k].soon = folder.leftFreshFiles();
    if (lightFilesFirst_) folder.orderLightestFirst(names);
  }
  lastPassFoundNothing_ = names.empty();
  if (names.empty()) {
    observer_.passCompleted(k);
    return Flow::Go;
  }
  observer_.filesListed(names);
  observer_.entryHighlighted(0);
  setStatus("Processing " + std::to_string(names.size()) + " files...");
  if (handOut(k, names) == Flow::Stopped) return Flow::Stopped;
  setStatus(status_ + "done.");
  observer_.filesListed({});
  observer_.passCompleted(k);
  return Flow::Go;
}

ScanCycle::Flow ScanCycle::handOut(std::size_t k, const std::vector<std::string>& names) {
  FolderPasses& folder = *folders_[k];
  // The listing never takes more than kMaxListEntries, so every index fits the list's.
  for (int i = 0; i < static_cast<int>(names.size()) && i < kMaxListEntries; ++i) {
    const std::string& name = names[static_cast<std::size_t>(i)];
    observer_.entryHighlighted(i);
    if (checkPoint() == Flow::Stopped) return Flow::Stopped;
    if (folder.mustWait(name, inHand_)) {
      waits_[k].waitingForInHand = true;
      continue;
    }
    while (!conversion_->hasRoom()) {
      if (takeBack(kSliceMilliseconds) == Flow::Stopped || checkPoint() == Flow::Stopped) return Flow::Stopped;
    }
    if (i > 0 && newFilesJoinThePass(k)) {
      // The rest are still in the folder: the next pass, at once, takes them with the new ones.
      waits_[k].due = true;
      return Flow::Go;
    }
    std::optional<FileInHand> file = folder.take(name, inHand_);
    if (!file) continue;
    inHand_.add(*file);
    observer_.fileTaken(k, conversion_->nextLane(), file->in, file->out);
    conversion_->start(std::move(*file));
    // One after the other, the file is converted by now and is finished before the next.
    if (!conversion_->interleaves() && takeBack(0) == Flow::Stopped) return Flow::Stopped;
  }
  return Flow::Go;
}

bool ScanCycle::newFilesJoinThePass(std::size_t k) {
  const std::unique_ptr<FolderWatch>& watch = waits_[k].watch;
  if (!lightFilesFirst_ || !watch || std::chrono::steady_clock::now() < listAgainFrom_) return false;
  return watch->waitForChange(0);
}

ScanCycle::Flow ScanCycle::takeBack(int milliseconds) {
  if (std::optional<ConversionEnded> ended = conversion_->next(milliseconds)) {
    if (!finishEnded(std::move(*ended))) {
      carryOutStop();  // the script file stays for the next start
      return Flow::Stopped;
    }
  }
  return Flow::Go;
}

bool ScanCycle::finishEnded(ConversionEnded ended) {
  inHand_.remove(ended.file);
  const std::size_t k = ended.file.folder;
  if (ended.outcome.stopFound) {
    if (ended.file.replaced) ended.file.replaced->putBack();
    return false;
  }
  folders_[k]->finish(std::move(ended.file), ended.outcome, conversion_->interleaves());
  if (waits_[k].waitingForInHand) waits_[k].due = true;
  return true;
}

}  // namespace vd
