#include "server/http/StatusPage.h"

#include <cstdio>
#include <ctime>

#include "common/Paths.h"
#include "server/http/HtmlText.h"

namespace vd::http {
namespace {

// Small screens get each row as a block of labelled lines instead of a table too wide
// for them.
constexpr const char* kStyle = R"(
:root{color-scheme:light dark;--line:#8884;--muted:#777;--bad:#c62828;--good:#2e7d32}
*{box-sizing:border-box}
body{font:15px/1.45 system-ui,sans-serif;margin:0 auto;padding:.75em;max-width:72em}
h1{font-size:1.4em;margin:.2em 0}h2{font-size:1.15em;margin:0}h3{font-size:1em;margin:1em 0 .3em}
.summary,.paths,.empty,.more{color:var(--muted);margin:.2em 0}
.health-ok{color:var(--good)}.health-bad,.failure,.notice{color:var(--bad)}
.notice{font-weight:600}
section{border-top:1px solid var(--line);padding:.8em 0}
.heading{display:flex;flex-wrap:wrap;gap:.5em;align-items:center;justify-content:space-between}
.state{font-size:.8em;padding:.1em .5em;border:1px solid var(--line);border-radius:1em}
table{border-collapse:collapse;width:100%}
th,td{text-align:left;padding:.3em .5em;border-bottom:1px solid var(--line);vertical-align:top}
td.name,td.reason{overflow-wrap:anywhere}
td.number{text-align:right;white-space:nowrap}
form{display:inline;margin:0}
button{font:inherit;padding:.25em .9em;border-radius:.3em;border:1px solid var(--muted);cursor:pointer}
progress{width:8em;vertical-align:middle}
@media (max-width:40em){
 table,tbody,tr,td{display:block}thead{display:none}
 tr{border-bottom:1px solid var(--line);padding:.3em 0}
 td{border:0;padding:.1em 0}td.number{text-align:left}
 td[data-label]::before{content:attr(data-label) ": ";color:var(--muted)}
}
)";

std::string localTime(WallTime time) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

std::string seconds(double value) {
  char text[32];
  std::snprintf(text, sizeof text, value < 10 ? "%.2f" : "%.0f", value);
  return text;
}

std::string cell(const char* label, const std::string& html, const char* kind = nullptr) {
  std::string td = "<td";
  if (kind != nullptr) td += std::string(" class=\"") + kind + "\"";
  return td + " data-label=\"" + label + "\">" + html + "</td>";
}

std::string hiddenField(const char* name, const std::string& value) {
  return std::string("<input type=\"hidden\" name=\"") + name + "\" value=\"" + HtmlText(value) + "\">";
}

class Page {
 public:
  Page(const DaemonStatus& status, const PageContext& context) : status_(status), context_(context) {}

  std::string render() {
    html_ += "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
             "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
             // The address is named: a refresh of "/#folder-0", where a form leads back to,
             // would only scroll to the folder instead of loading the page again.
             "<meta http-equiv=\"refresh\" content=\"" + std::to_string(kPageRefreshSeconds) + "; url=/\">"
             "<title>Vellumdock</title><style>" + std::string(kStyle) + "</style></head>\n<body>\n";
    header();
    for (std::size_t i = 0; i < status_.folders.size(); ++i) folder(i);
    if (!status_.sentInHand.empty() || !status_.sentOutcomes.empty()) sent();
    html_ += "</body></html>\n";
    return std::move(html_);
  }

 private:
  void header() {
    html_ += "<header><h1>Vellumdock</h1><p class=\"summary\">Version " + HtmlText(status_.version) + " · " +
             std::to_string(status_.lanesBusy()) + " of " + std::to_string(status_.lanes.size()) +
             " lanes busy · shown at " + localTime(context_.now) + "</p>";
    if (context_.health.healthy) {
      html_ += "<p class=\"health-ok\">Healthy.</p>";
    } else {
      html_ += "<ul class=\"health-bad\">";
      for (const std::string& problem : context_.health.problems) html_ += "<li>" + HtmlText(problem) + "</li>";
      html_ += "</ul>";
    }
    if (!context_.notice.empty()) html_ += "<p class=\"notice\">" + HtmlText(context_.notice) + "</p>";
    html_ += "</header>\n";
  }

  void folder(std::size_t index) {
    const FolderStatus& folder = status_.folders[index];
    const std::string id = std::to_string(index);
    html_ += "<section class=\"folder\" id=\"folder-" + id + "\"><div class=\"heading\"><h2>" + HtmlText(folder.name) +
             " <span class=\"state\">" + (folder.paused ? "paused" : "scanning") + "</span></h2>";
    html_ += std::string("<form method=\"post\" action=\"") + (folder.paused ? "/resume" : "/pause") + "\">" +
             hiddenField("folder", id) + hiddenField("form", context_.formToken) + "<button type=\"submit\">" +
             (folder.paused ? "Resume" : "Pause") + "</button></form></div>";
    html_ += "<p class=\"paths\">" + HtmlText(folder.inputDir) + " → " + HtmlText(folder.outputDir) + ", every " +
             std::to_string(folder.intervalSeconds) + " s; " + std::to_string(folder.filesWaiting) + " waiting";
    if (folder.lastPassWall) html_ += "; last pass " + localTime(*folder.lastPassWall);
    html_ += "</p>";
    inHand(folder.inHand);
    failed(index);
    outcomes(folder.outcomes, "Last outcomes");
    html_ += "</section>\n";
  }

  void sent() {
    html_ += "<section class=\"sent\"><div class=\"heading\"><h2>Sent for conversion</h2></div>";
    inHand(status_.sentInHand);
    outcomes(status_.sentOutcomes, "Last outcomes");
    html_ += "</section>\n";
  }

  void inHand(const std::vector<FileBeingConverted>& files) {
    html_ += "<h3>In hand</h3>";
    if (files.empty()) {
      html_ += "<p class=\"empty\">Nothing is being converted.</p>";
      return;
    }
    html_ += "<table class=\"in-hand\"><thead><tr><th>File</th><th>Lane</th><th>Progress</th><th>Since</th></tr>"
             "</thead><tbody>";
    for (const FileBeingConverted& file : files) {
      std::string progress = "converting";
      if (file.percent >= 0) {
        progress = "<progress max=\"100\" value=\"" + std::to_string(file.percent) + "\">" +
                   std::to_string(file.percent) + " %</progress> " + std::to_string(file.percent) + " %";
      }
      if (file.page > 0) progress += ", page " + std::to_string(file.page);
      const double running = std::chrono::duration<double>(context_.now - file.since).count();
      html_ += "<tr>" + cell("File", HtmlText(fileNameOf(file.input)), "name") +
               cell("Lane", std::to_string(file.lane + 1), "number") + cell("Progress", progress) +
               cell("Since", seconds(running < 0 ? 0 : running) + " s", "number") + "</tr>";
    }
    html_ += "</tbody></table>";
  }

  void failed(std::size_t index) {
    const FailedFiles none;
    const FailedFiles& kept = index < context_.failed.size() ? context_.failed[index] : none;
    html_ += "<h3>Failed (" + std::to_string(kept.count) + ")</h3>";
    if (kept.count == 0) {
      html_ += "<p class=\"empty\">No failed files are kept.</p>";
      return;
    }
    html_ += "<table class=\"failed\"><thead><tr><th>File</th><th>Reason</th><th></th></tr></thead><tbody>";
    for (const FailedFile& file : kept.files) {
      const std::string reason = file.reason.empty() ? "No reason was kept." : file.reason;
      html_ += "<tr>" + cell("File", HtmlText(file.name), "name") + cell("Reason", HtmlText(reason), "reason") +
               "<td><form method=\"post\" action=\"/retry\">" + hiddenField("folder", std::to_string(index)) +
               hiddenField("file", ToHex(file.name)) + hiddenField("form", context_.formToken) +
               "<button type=\"submit\">Retry</button></form></td></tr>";
    }
    html_ += "</tbody></table>";
    if (kept.count > kept.files.size()) {
      html_ += "<p class=\"more\">" + std::to_string(kept.count - kept.files.size()) + " more not shown.</p>";
    }
  }

  void outcomes(const std::deque<FileOutcome>& list, const char* title) {
    html_ += std::string("<h3>") + title + "</h3>";
    if (list.empty()) {
      html_ += "<p class=\"empty\">Nothing has been converted yet.</p>";
      return;
    }
    html_ += "<table class=\"outcomes\"><thead><tr><th>Time</th><th>Input</th><th>Output</th><th>Pages</th>"
             "<th>Seconds</th><th>Reason</th></tr></thead><tbody>";
    for (const FileOutcome& outcome : list) {
      html_ += std::string("<tr class=\"") + (outcome.failure ? "failure" : "success") + "\">" +
               cell("Time", localTime(outcome.finished)) + cell("Input", HtmlText(fileNameOf(outcome.input)), "name") +
               cell("Output", outcome.output.empty() ? "–" : HtmlText(fileNameOf(outcome.output)), "name") +
               cell("Pages", outcome.pages > 0 ? std::to_string(outcome.pages) : "–", "number") +
               cell("Seconds", seconds(outcome.seconds), "number") +
               cell("Reason", outcome.failure ? HtmlText(*outcome.failure) : "", "reason") + "</tr>";
    }
    html_ += "</tbody></table>";
  }

  const DaemonStatus& status_;
  const PageContext& context_;
  std::string html_;
};

}  // namespace

std::string StatusPage(const DaemonStatus& status, const PageContext& context) { return Page(status, context).render(); }

}  // namespace vd::http
