// One file after the other, in this process, with one engine: the window's way, and
// vellumdkd's with --jobs 1. A file is converted as it is started; next() hands it back.
#pragma once

#include <functional>
#include <memory>

#include "server/EngineFactory.h"
#include "server/FileConversion.h"
#include "server/ScanObserver.h"

namespace vd {

class SerialConversion : public FileConversion {
 public:
  // stopRequested is asked between a script's entries (events processed first).
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
  std::unique_ptr<CreatePDF> engine_;
  std::optional<ConversionEnded> ended_;
};

}  // namespace vd
