// The scan cycle: passes over the input directory until a stop is carried out. It runs on
// the calling thread; events are processed only at the cycle's check points, where a stop
// requested meanwhile is carried out. It reports through a ScanObserver and touches no
// widget, so a window and a front end without one drive it alike.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "server/ConversionLanes.h"
#include "server/EngineFactory.h"
#include "server/PassFilter.h"
#include "server/ScanObserver.h"
#include "server/ScanSettings.h"

namespace vd {

class FolderClaim;
class SetAsidePdf;

inline constexpr const char* kUnableToCreatePdf = "Unable to create PDF.";
// A pass lists at most this many files (the window's list has a 16-bit index); the rest
// wait for a later pass.
inline constexpr int kMaxListEntries = 32767;
// Without an interval, a pass that found nothing rests this long before the next listing:
// otherwise an empty folder would be listed without pause, a whole core for ever.
inline constexpr int kIdleRestMilliseconds = 100;

class ScanCycle {
 public:
  ScanCycle(ScanSettings settings, ScanObserver& observer, EngineFactory engineFactory);
  // Converts up to lanes.count() files at once, each in a lane of its own; the engine
  // factory is not used. The lanes must outlive the cycle.
  ScanCycle(ScanSettings settings, ScanObserver& observer, ConversionLanes& lanes);
  // A PDF still set aside for its replacement goes back under its own name; lanes still
  // converting are ended first, so nothing writes over it.
  ~ScanCycle();
  ScanCycle(const ScanCycle&) = delete;
  ScanCycle& operator=(const ScanCycle&) = delete;

  enum class End { Stopped, FolderTaken };
  // Claims the input folder, makes the engine, then runs passes; returns once a stop has
  // been carried out. When another instance serves the folder, nothing is scanned: the
  // status line and the log say so (refusal()) and FolderTaken is returned.
  End run();
  const std::string& refusal() const { return refusal_; }
  // Asks for a stop, carried out at the next check point: a conversion under way ends first.
  void requestStop() { stopRequested_ = true; }
  // The interval from the next wait on.
  void setInterval(std::int16_t seconds) { settings_.seconds = seconds; }
  // A paused cycle lists nothing: its passes go on, empty, and the files in hand finish.
  void setPaused(bool paused) { paused_ = paused; }

 private:
  enum class Flow { Go, Stopped };

  // Lets the front end process its events; when a stop is requested, carries it out.
  Flow checkPoint();
  void carryOutStop();
  // The cycle's one error rule: a failed action is logged and the next action follows.
  template <class Action>
  bool attempt(Action&& action);
  void setStatus(const std::string& text);

  Flow waitPhase();
  Flow listFiles();
  Flow processListedFiles();
  Flow processFile(const std::string& name);
  bool includeInPass(const std::string& name);
  // What a killed run left in the folders: temporaries nobody writes, PDFs set aside.
  void settleLeftovers();
  std::string chooseOutputPath(const std::string& name);
  // Runs the dispatch; the reason of a failure, or nothing. Sets stopFound for a script
  // run that met a stop.
  std::optional<std::string> convert(const std::string& out, const std::string& in, const std::string& ext,
                                     bool& stopFound);
  void finishInput(const std::string& name, const std::string& out, const std::optional<FileStamp>& outBefore,
                   std::optional<std::string> failure);
  // Removes the PDF set aside once its replacement exists; puts it back otherwise.
  void settleReplacedPdf(bool replaced);
  // A line for the log; in lanes, a line about a file names it, as lines of several
  // files interleave.
  void logLine(const std::string& line);

  // The pass with lanes: each file goes to a free lane once nothing in flight stands in
  // its way; the pass ends when every lane is through. A stop hands out no more files,
  // waits for the ones in flight and is then carried out.
  struct InLane;
  Flow processInLanes(const std::vector<std::string>& names);
  bool mustWaitForInFlight(const std::string& name) const;
  bool outputInFlight(const std::string& path) const;
  std::optional<std::size_t> freeLane() const;
  bool anyInFlight() const;
  // Processes events; true when a stop is requested (not yet carried out).
  bool stopPending();
  void startInLane(std::size_t lane, const std::string& name);
  // Waits up to the given time for a lane to finish, then finishes its input.
  void collectFinished(int milliseconds);
  void finishLane(std::size_t lane, std::optional<std::string> failure);
  void drainLanes();

  // Passes the engine's progress events on to the observer.
  class ProgressEvents : public CreatePDFEvents {
   public:
    explicit ProgressEvents(ScanObserver& observer) : observer_(observer) {}
    void PercentDone(std::int32_t& nPercentDone) override { observer_.percentDone(nPercentDone); }
    void PageNumber(std::int32_t& nPageNumber) override { observer_.pageReached(nPageNumber); }

   private:
    ScanObserver& observer_;
  };

  ScanSettings settings_;
  ScanObserver& observer_;
  ProgressEvents progressEvents_{observer_};
  EngineFactory engineFactory_;
  // Held while the cycle runs, so that no second instance scans the same folder.
  std::unique_ptr<FolderClaim> claim_;
  std::string refusal_;
  std::unique_ptr<CreatePDF> engine_;
  bool stopRequested_ = false;
  std::string status_;
  LeftInPlaceFiles leftInPlace_;
  // The PDF being replaced by the file in hand, kept aside until its replacement exists.
  std::unique_ptr<SetAsidePdf> replaced_;
  // The names of the current pass, in the order reported.
  std::vector<std::string> listed_;
  // Their stamps when they were listed: a file that differs after its conversion was
  // written to meanwhile.
  std::map<std::string, FileStamp> listedStamps_;
  ConversionLanes* lanes_ = nullptr;
  // By lane: the file it converts, or nothing.
  std::vector<std::unique_ptr<InLane>> inLanes_;
  // Put before the log lines of the file being finished, in lanes.
  std::string lineSubject_;
  bool lastPassFoundNothing_ = false;
  bool paused_ = false;
};

}  // namespace vd
