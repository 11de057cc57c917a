#include "server/LaneConversion.h"

#include <algorithm>
#include <exception>
#include <stdexcept>
#include <utility>

#include "server/FailureReason.h"

namespace vd {

LaneConversion::LaneConversion(ConversionLanes& lanes, ScanObserver& observer)
    : lanes_(lanes), observer_(observer), inLanes_(lanes.count()) {}

LaneConversion::~LaneConversion() {
  if (std::any_of(inLanes_.begin(), inLanes_.end(), [](const auto& file) { return file.has_value(); })) {
    lanes_.abandon();
  }
}

bool LaneConversion::hasRoom() const {
  return std::any_of(inLanes_.begin(), inLanes_.end(), [](const auto& file) { return !file.has_value(); });
}

std::size_t LaneConversion::nextLane() const {
  const auto idle = std::find_if(inLanes_.begin(), inLanes_.end(), [](const auto& lane) { return !lane.has_value(); });
  if (idle == inLanes_.end()) throw std::logic_error("a file was started with every lane busy");
  return static_cast<std::size_t>(idle - inLanes_.begin());
}

bool LaneConversion::busy() const {
  return !ended_.empty() ||
         std::any_of(inLanes_.begin(), inLanes_.end(), [](const auto& file) { return file.has_value(); });
}

void LaneConversion::start(FileInHand file) {
  const std::size_t lane = nextLane();
  const SetAsidePdf* replaced = file.replaced.get();
  const LaneJob job{file.out,
                    file.in,
                    file.ext,
                    file.security,
                    file.inputDir,
                    replaced ? replaced->path() : std::string(),
                    replaced ? replaced->asidePath() : std::string(),
                    file.ocrLanguages,
                    file.ocrRotate};
  std::optional<std::string> refused;
  try {
    refused = lanes_.start(lane, job);
  } catch (const std::exception& error) {
    refused = FailureReason(error);
  }
  if (refused) {
    ended_.push_back(ConversionEnded{std::move(file), ConversionOutcome::failed(std::move(*refused))});
    return;
  }
  inLanes_[lane] = std::move(file);
}

std::optional<ConversionEnded> LaneConversion::next(int milliseconds) {
  if (!ended_.empty()) {
    ConversionEnded ended = std::move(ended_.front());
    ended_.pop_front();
    return ended;
  }
  std::optional<LaneFinished> finished;
  try {
    finished = lanes_.wait(milliseconds, [this](std::size_t lane, const std::string& line) {
      const bool known = lane < inLanes_.size() && inLanes_[lane];
      observer_.logLine((known ? inLanes_[lane]->in + ": " : std::string()) + line);
    });
  } catch (const std::exception&) {
    // The lanes could not be waited for (no descriptors left, say): every file in hand is
    // abandoned and kept in failed/, rather than waited for without end.
    lanes_.abandon();
    for (std::optional<FileInHand>& file : inLanes_) {
      if (!file) continue;
      ended_.push_back(
          ConversionEnded{std::move(*file), ConversionOutcome::failed("The conversion lane could not be waited for.")});
      file.reset();
    }
    if (ended_.empty()) return std::nullopt;
    ConversionEnded ended = std::move(ended_.front());
    ended_.pop_front();
    return ended;
  }
  if (!finished || finished->lane >= inLanes_.size() || !inLanes_[finished->lane]) return std::nullopt;
  // The lane decided the outcome (ConvertFile) and reported the PDF it checked whole: it is
  // taken at its word, not opened again.
  ConversionEnded ended{std::move(*inLanes_[finished->lane]), std::move(finished->outcome)};
  inLanes_[finished->lane].reset();
  return ended;
}

}  // namespace vd
