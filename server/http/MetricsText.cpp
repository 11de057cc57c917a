#include "server/http/MetricsText.h"

#include <cstdint>
#include <cstdio>
#include <map>

#include "common/Text.h"

namespace vd::http {
namespace {

// A label value: backslash, quote and line feed escaped as the format wants.
std::string labelValue(const std::string& text) {
  std::string escaped;
  for (const char c : withValidUtf8(text)) {
    if (c == '\\' || c == '"') {
      escaped += '\\';
      escaped += c;
    } else if (c == '\n') {
      escaped += "\\n";
    } else {
      escaped += c;
    }
  }
  return escaped;
}

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

class Exposition {
 public:
  void family(const char* name, const char* type, const char* help) {
    text_ += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
  }
  void sample(const std::string& name, const std::string& labels, const std::string& value) {
    text_ += name + (labels.empty() ? "" : "{" + labels + "}") + " " + value + "\n";
  }
  std::string text() const { return text_; }

 private:
  std::string text_;
};

std::string label(const char* name, const std::string& value) {
  return std::string(name) + "=\"" + labelValue(value) + "\"";
}

}  // namespace

std::string MetricsText(const DaemonStatus& status, const std::vector<std::size_t>& failedKept) {
  Exposition out;
  const auto& byConverter = status.stats.byConverter();

  out.family("vellumdock_conversions_total", "counter", "Conversions finished, by converter and outcome.");
  for (const auto& [converter, counts] : byConverter) {
    out.sample("vellumdock_conversions_total", label("converter", converter) + "," + label("outcome", "converted"),
               std::to_string(counts.converted));
    out.sample("vellumdock_conversions_total", label("converter", converter) + "," + label("outcome", "failed"),
               std::to_string(counts.failed));
  }

  out.family("vellumdock_conversion_seconds", "histogram", "Time a conversion took, by converter.");
  for (const auto& [converter, counts] : byConverter) {
    const std::string converterLabel = label("converter", converter);
    for (std::size_t i = 0; i < kConversionSecondsBuckets.size(); ++i) {
      out.sample("vellumdock_conversion_seconds_bucket",
                 converterLabel + "," + label("le", number(kConversionSecondsBuckets[i])),
                 std::to_string(counts.atMost[i]));
    }
    out.sample("vellumdock_conversion_seconds_bucket", converterLabel + "," + label("le", "+Inf"),
               std::to_string(counts.total()));
    out.sample("vellumdock_conversion_seconds_sum", converterLabel, number(counts.seconds));
    out.sample("vellumdock_conversion_seconds_count", converterLabel, std::to_string(counts.total()));
  }

  out.family("vellumdock_files_waiting", "gauge", "Files listed in a folder and waiting for a lane.");
  for (const FolderStatus& folder : status.folders) {
    out.sample("vellumdock_files_waiting", label("folder", folder.name), std::to_string(folder.filesWaiting));
  }

  out.family("vellumdock_failed_files", "gauge", "Files kept in a folder's failed/ subfolder.");
  for (std::size_t i = 0; i < status.folders.size() && i < failedKept.size(); ++i) {
    out.sample("vellumdock_failed_files", label("folder", status.folders[i].name), std::to_string(failedKept[i]));
  }

  out.family("vellumdock_lanes", "gauge", "Lanes that convert files side by side.");
  out.sample("vellumdock_lanes", "", std::to_string(status.lanes.size()));
  out.family("vellumdock_lanes_busy", "gauge", "Lanes converting a file now.");
  out.sample("vellumdock_lanes_busy", "", std::to_string(status.lanesBusy()));

  out.family("vellumdock_worker_restarts_total", "counter",
             "Worker programs replaced because they died or passed a bound, by kind.");
  // The kinds every daemon has are there from the start, so a rate can be taken at once.
  std::map<std::string, std::uint64_t> restarts{{"lane", 0}, {"interpreter", 0}, {"office", 0}};
  for (const auto& [kind, count] : status.workerRestarts) restarts[kind] = count;
  for (const auto& [kind, count] : restarts) {
    out.sample("vellumdock_worker_restarts_total", label("kind", kind), std::to_string(count));
  }
  return out.text();
}

}  // namespace vd::http
