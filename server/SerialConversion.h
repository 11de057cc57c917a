// One file after the other, in this process, with one engine: the window's way, and
// vellumdkd's with --jobs 1. A file is converted as it is started (ConvertFile); next()
// hands it back. The one engine, with its warm workers, serves every folder: each file is
// converted with its own folder's text recognition.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "server/ConversionWay.h"
#include "server/EngineFactory.h"
#include "server/ScanObserver.h"
#include "server/ScanSettings.h"

namespace vd {

class SerialConversion : public ConversionWay {
 public:
  // stopRequested is asked between a script's entries (events processed first). begin()
  // makes the engine.
  SerialConversion(EngineFactory engineFactory, ScanObserver& observer, std::function<bool()> stopRequested);

  void begin() override;
  void end() override { engine_.reset(); }
  bool hasRoom() const override { return !ended_; }
  void start(FileInHand file) override;
  std::optional<ConversionEnded> next(int milliseconds) override;
  bool busy() const override { return ended_.has_value(); }
  bool interleaves() const override { return false; }

 private:
  // Passes the engine's progress events on to the observer.
  class ProgressEvents : public CreatePDFEvents {
   public:
    explicit ProgressEvents(ScanObserver& observer) : observer_(observer) {}
    void PercentDone(std::int32_t& nPercentDone) override { observer_.percentDone(nPercentDone); }
    void PageNumber(std::int32_t& nPageNumber) override { observer_.pageReached(nPageNumber); }

   private:
    ScanObserver& observer_;
  };

  EngineFactory engineFactory_;
  ScanObserver& observer_;
  std::function<bool()> stopRequested_;
  ProgressEvents progressEvents_{observer_};
  // Null when it could not be made: each file then says so (ConvertFile).
  std::unique_ptr<CreatePDF> engine_;
  std::optional<ConversionEnded> ended_;
};

}  // namespace vd
