// The scan cycle: passes over one or several input folders until a stop is carried out.
// It joins the pass logic of each folder (FolderPasses) with one way of converting the
// files taken (ConversionWay: one after the other, or in lanes). It runs on the calling
// thread; events are processed only at the cycle's check points, where a stop requested
// meanwhile is carried out. It reports through a ScanObserver and touches no widget, so a
// window and a front end without one drive it alike.
//
// In lanes the passes go on while files are converted: a pass hands each file to the first
// idle lane and ends once its files are handed out, and the waits between passes take back
// the files whose conversions end. A file waits for another only where the rules need it
// (FolderPasses::mustWait); it is then left for a pass after that file's end.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/FolderChanges.h"
#include "server/ConversionLanes.h"
#include "server/ConversionWay.h"
#include "server/EngineFactory.h"
#include "server/FolderPasses.h"
#include "server/ScanObserver.h"
#include "server/ScanSettings.h"

namespace vd {

// Without an interval, a pass that found nothing rests this long before the next listing:
// otherwise an empty folder would be listed without pause, a whole core for ever.
inline constexpr int kIdleRestMilliseconds = 100;

class ScanCycle {
 public:
  // One file after the other, in this process, with the engine the factory makes.
  ScanCycle(ScanSettings settings, ScanObserver& observer, EngineFactory engineFactory);
  ScanCycle(std::vector<ScanSettings> folders, ScanObserver& observer, EngineFactory engineFactory);
  // Up to lanes.count() files at once, each in a lane of its own. The lanes must outlive
  // the cycle.
  ScanCycle(ScanSettings settings, ScanObserver& observer, ConversionLanes& lanes);
  ScanCycle(std::vector<ScanSettings> folders, ScanObserver& observer, ConversionLanes& lanes);
  // A PDF still set aside for its replacement goes back under its own name; lanes still
  // converting are ended first, so nothing writes over it.
  ~ScanCycle();
  ScanCycle(const ScanCycle&) = delete;
  ScanCycle& operator=(const ScanCycle&) = delete;

  enum class End { Stopped, FolderTaken, NoLock };
  // Claims the input folders. When another instance serves a folder, none is kept: the
  // status line and the log say so (refusal()) and FolderTaken is returned; NoLock when no
  // claim could be taken at all (the runtime folder cannot be used). A front end that must
  // know before it offers anything else (a port) claims first; run() claims otherwise.
  std::optional<End> claim();
  // Claims the input folders unless claim() did, makes the engine, then runs passes;
  // returns once a stop has been carried out, or the refusal of a claim.
  End run();
  const std::string& refusal() const { return refusal_; }
  // Asks for a stop, carried out at the next check point: the conversions under way end
  // first.
  void requestStop() { stopRequested_ = true; }
  // The interval of the (first) folder from the next wait on.
  void setInterval(std::int16_t seconds) { folders_.front()->setInterval(seconds); }
  // A file appearing in a folder ends the wait before its next pass at once, where the
  // folder gives change notification; where it does not, the log says so once and the
  // interval alone paces its passes.
  void wakeOnChanges() { wakeOnChanges_ = true; }
  // The first pass lists the folders at once, without waiting for the interval: a server
  // started with files waiting has them converted at once.
  void passAtStart() { passAtStart_ = true; }
  // A pass hands out its files the lightest first (FolderPasses::orderLightestFirst), not in
  // the listing's order: small files of a burst do not wait behind the long ones, and the
  // median file of a burst is done soonest. Files that appear in a watched folder while its
  // pass hands out join the pass: the files not yet handed out are listed again with them.
  void lightFilesFirst() { lightFilesFirst_ = true; }
  // A paused folder is not listed: its passes go on, empty, and its files in hand finish.
  void setPaused(std::size_t folder, bool paused) { paused_.at(folder) = paused; }

 private:
  enum class Flow { Go, Stopped };

  ScanCycle(std::vector<ScanSettings> folders, ScanObserver& observer);
  // Lets the front end process its events; when a stop is requested, carries it out.
  Flow checkPoint();
  // Takes back every file in hand, finishing each, then releases the folders.
  void carryOutStop();
  void setStatus(const std::string& text);

  void watchFolders();
  Flow waitPhase();
  // Waits up to a second, taking back ended conversions and watching for changes;
  // returns early once a folder is due.
  void waitOneTick();
  bool anyDue() const;
  Flow pass(std::size_t folder);
  Flow handOut(std::size_t folder, const std::vector<std::string>& names);
  // True when files appeared in the folder since its pass listed it, and listing it again
  // now costs little next to what the pass has done since.
  bool newFilesJoinThePass(std::size_t folder);
  // Takes back the conversion that ends within the time, if any, and finishes its file.
  Flow takeBack(int milliseconds);
  // Finishes the file of an ended conversion; false when a script run met a stop.
  bool finishEnded(ConversionEnded ended);

  // When each folder's next pass is due.
  struct FolderWait {
    std::unique_ptr<FolderWatch> watch;
    int ticksWaited = 0;
    bool due = false;
    // The last pass left a file still being written: the next pass follows after a tick.
    bool soon = false;
    // The last pass left a file waiting for one in hand: the next pass follows its end.
    bool waitingForInHand = false;
  };

  ScanObserver& observer_;
  std::vector<std::unique_ptr<FolderPasses>> folders_;
  std::vector<FolderWait> waits_;
  std::unique_ptr<ConversionWay> conversion_;
  FilesInHand inHand_;
  std::string refusal_;
  bool claimed_ = false;
  bool stopRequested_ = false;
  bool wakeOnChanges_ = false;
  bool passAtStart_ = false;
  bool lightFilesFirst_ = false;
  // A pass lists its folder again no sooner than this.
  std::chrono::steady_clock::time_point listAgainFrom_;
  std::string status_;
  bool lastPassFoundNothing_ = false;
  std::vector<bool> paused_;
};

}  // namespace vd
