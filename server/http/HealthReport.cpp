#include "server/http/HealthReport.h"

#include <cstdio>
#include <ctime>

#include "common/JsonText.h"

namespace vd::http {
namespace {

double secondsBetween(SteadyTime from, SteadyTime to) { return std::chrono::duration<double>(to - from).count(); }

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", value);
  return text;
}

}  // namespace

std::string IsoTime(WallTime time) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

HealthVerdict JudgeHealth(const DaemonStatus& status, SteadyTime now) {
  HealthVerdict verdict;
  const auto problem = [&](std::string text) {
    verdict.healthy = false;
    verdict.problems.push_back(std::move(text));
  };
  if (status.folders.empty()) problem("The scan loop has not started.");
  if (status.stopping) problem("The daemon is stopping.");
  if (status.lanesCannotStart) problem("No lane can start: " + *status.lanesCannotStart);
  for (const FolderStatus& folder : status.folders) {
    if (folder.paused) continue;
    // Before its first pass, the time since the start counts.
    const SteadyTime since = folder.lastPass.value_or(status.startedSteady);
    const double seconds = secondsBetween(since, now);
    if (seconds > kMissedPassesAllowed * folder.intervalSeconds) {
      problem("The scan loop has completed no pass over " + folder.name + " for " + number(seconds) +
              " s (interval " + std::to_string(folder.intervalSeconds) + " s).");
    }
  }
  return verdict;
}

std::string HealthJson(const DaemonStatus& status, const HealthVerdict& verdict, SteadyTime now) {
  std::string json = "{\"status\": ";
  appendJsonString(json, verdict.healthy ? "ok" : "unavailable");
  json += ", \"version\": ";
  appendJsonString(json, status.version);
  json += ", \"problems\": [";
  for (std::size_t i = 0; i < verdict.problems.size(); ++i) {
    if (i > 0) json += ", ";
    appendJsonString(json, verdict.problems[i]);
  }
  json += "], \"folders\": [";
  for (std::size_t i = 0; i < status.folders.size(); ++i) {
    const FolderStatus& folder = status.folders[i];
    if (i > 0) json += ", ";
    json += "{\"name\": ";
    appendJsonString(json, folder.name);
    json += ", \"input\": ";
    appendJsonString(json, folder.inputDir);
    json += ", \"output\": ";
    appendJsonString(json, folder.outputDir);
    // Every folder shown is held: a daemon that cannot claim one does not run.
    json += ", \"claimed\": true";
    json += std::string(", \"paused\": ") + (folder.paused ? "true" : "false");
    json += ", \"interval\": " + std::to_string(folder.intervalSeconds);
    json += ", \"filesWaiting\": " + std::to_string(folder.filesWaiting);
    json += ", \"filesInHand\": " + std::to_string(folder.inHand.size());
    json += ", \"lastPass\": ";
    if (folder.lastPassWall && folder.lastPass) {
      appendJsonString(json, IsoTime(*folder.lastPassWall));
      json += ", \"secondsSinceLastPass\": " + number(secondsBetween(*folder.lastPass, now));
    } else {
      json += "null, \"secondsSinceLastPass\": null";
    }
    json += "}";
  }
  const std::size_t busy = status.lanesBusy();
  json += "], \"lanes\": {\"total\": " + std::to_string(status.lanes.size()) + ", \"busy\": " + std::to_string(busy) +
          ", \"idle\": " + std::to_string(status.lanes.size() - busy) + "}, \"workers\": [";
  for (std::size_t i = 0; i < status.lanes.size(); ++i) {
    if (i > 0) json += ", ";
    json += "{\"lane\": " + std::to_string(i) + ", \"state\": ";
    appendJsonString(json, status.lanes[i].state);
    json += "}";
  }
  json += "]}\n";
  return json;
}

}  // namespace vd::http
