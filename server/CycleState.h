// What a scan cycle is doing, kept up to date by the cycle for a front end that shows it
// elsewhere (a status page, a health check): the folders served, the files in hand, when
// each folder's last pass ended, and the latest outcomes. Read on the cycle's thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "server/ScanSettings.h"

namespace vd {

struct CycleState {
  using Time = std::chrono::system_clock::time_point;
  struct Outcome {
    std::string input;
    std::string output;
    // Why it failed; nothing for a PDF made.
    std::optional<std::string> failure;
    Time at;
  };
  // How many outcomes are kept, the oldest going first.
  static constexpr std::size_t kRecentOutcomes = 100;

  std::vector<ScanSettings> folders;
  // How many files may be converted at once.
  std::size_t conversionsAtOnce = 1;
  // The inputs being converted now.
  std::vector<std::string> inHand;
  // By folder: when its last pass ended, once one has.
  std::vector<std::optional<Time>> lastPassEnded;
  std::deque<Outcome> recent;

  void addOutcome(Outcome outcome) {
    recent.push_back(std::move(outcome));
    if (recent.size() > kRecentOutcomes) recent.pop_front();
  }
};

}  // namespace vd
