// Several files at once, one per lane (vellumdkd --jobs N): a file is started in a free
// lane and comes back when its lane reports its end. The lanes only convert; every
// decision about names and files stays with the cycle.
#pragma once

#include <deque>
#include <memory>
#include <vector>

#include "server/ConversionLanes.h"
#include "server/ConversionWay.h"
#include "server/ScanObserver.h"

namespace vd {

class LaneConversion : public ConversionWay {
 public:
  // The lanes must outlive this object.
  LaneConversion(ConversionLanes& lanes, ScanObserver& observer);
  // Lanes still converting are ended, so nothing writes over a PDF put back meanwhile.
  ~LaneConversion() override;

  bool hasRoom() const override;
  // The first idle lane: a warm lane is reused before a cold one is started.
  std::size_t nextLane() const override;
  void start(FileInHand file) override;
  std::optional<ConversionEnded> next(int milliseconds) override;
  bool busy() const override;
  bool interleaves() const override { return true; }

 private:
  ConversionLanes& lanes_;
  ScanObserver& observer_;
  // By lane: the file it converts, or nothing.
  std::vector<std::optional<FileInHand>> inLanes_;
  // Conversions that ended without a lane's report (a lane that could not take its file).
  std::deque<ConversionEnded> ended_;
};

}  // namespace vd
