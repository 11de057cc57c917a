// The HTTP layer of the daemon: what its page, health and metrics say of a status, and a
// real client against the server, the test standing in for the scan loop on the other side
// of the mailbox. (The real daemon over HTTP, conversions included: DaemonHttpTest.)
#include <gtest/gtest.h>
#include <httplib.h>
#include <poll.h>

#include <future>

#include "server/DaemonMailbox.h"
#include "server/FailedFiles.h"
#include "server/http/HealthReport.h"
#include "server/http/HtmlText.h"
#include "server/http/HttpServer.h"
#include "server/http/MetricsText.h"
#include "server/http/StatusPage.h"
#include "server/http/UploadedDocument.h"
#include "support/ContentChecks.h"
#include "support/IsolatedEnvironment.h"
#include "support/TestBounds.h"

namespace vd::test {
namespace {

using namespace std::chrono_literals;
using http::HttpServer;
using http::HttpSettings;

// The scan loop's side of the mailbox, turned by the test: it holds the documents sent
// (their conversion, and the forms, are DaemonHttpTest's).
class StandInLoop {
 public:
  explicit StandInLoop(DaemonMailbox& mailbox, DaemonStatus status) : mailbox_(mailbox), status_(std::move(status)) {
    mailbox_.publish(status_);
  }

  // Waits up to the time given for requests and handles them.
  void turn(std::chrono::milliseconds bound) {
    pollfd wake{mailbox_.descriptor(), POLLIN, 0};
    poll(&wake, 1, static_cast<int>(bound.count()));
    for (const auto& request : mailbox_.take()) handle(request);
  }
  // Turns until the future is ready (the client's answer has come).
  template <class T>
  T until(std::future<T> answer) {
    const Deadline deadline(120s, "a request to the HTTP server");
    while (answer.wait_for(0s) != std::future_status::ready) turn(20ms);
    return answer.get();
  }

  std::vector<std::shared_ptr<DaemonRequest>> held;

 private:
  void handle(const std::shared_ptr<DaemonRequest>& request) {
    if (std::holds_alternative<ConvertDocument>(request->what())) return held.push_back(request);
    request->finish(DaemonRequest::End::Done);
  }

  DaemonMailbox& mailbox_;
  DaemonStatus status_;
};

DaemonStatus oneFolder(const std::string& input, const std::string& output) {
  DaemonStatus status;
  status.version = "9.9.9";
  status.startedSteady = std::chrono::steady_clock::now();
  status.started = std::chrono::system_clock::now();
  FolderStatus folder;
  folder.name = "scans";
  folder.inputDir = input;
  folder.outputDir = output;
  folder.lastPass = status.startedSteady;
  folder.lastPassWall = status.started;
  status.folders.push_back(folder);
  status.lanes = {{false, "idle"}};
  return status;
}

class HttpServerTest : public IsolatedTest {
 protected:
  // Starts a server on a free loopback port with the settings changed as asked.
  void serve(const std::function<void(HttpSettings&)>& change = {}) {
    HttpSettings settings;
    settings.address = {"127.0.0.1", 0, true};
    if (change) change(settings);
    server_ = std::make_unique<HttpServer>(settings, mailbox_);
    server_->start();
  }
  httplib::Client client(const httplib::Headers& headers = {}) {
    httplib::Client client("127.0.0.1", server_->port());
    client.set_read_timeout(120, 0);
    client.set_default_headers(headers);
    return client;
  }
  // A request on a thread of its own while the stand-in loop turns here.
  httplib::Result post(const std::string& target, const std::string& body,
                       const std::string& type = "application/octet-stream", const httplib::Headers& headers = {}) {
    return loop_.until(std::async(std::launch::async,
                                  [=, this] { return client(headers).Post(target.c_str(), body, type.c_str()); }));
  }
  httplib::Result get(const std::string& target, const httplib::Headers& headers = {}) {
    return loop_.until(std::async(std::launch::async, [=, this] { return client(headers).Get(target.c_str()); }));
  }

  const std::string input_ = scratchFolder("in");
  DaemonMailbox mailbox_;
  StandInLoop loop_{mailbox_, oneFolder(input_, scratchFolder("out"))};
  std::unique_ptr<HttpServer> server_;
};

// A name with markup, quotes, an ampersand, a line feed and bytes that are no UTF-8 shows as
// text everywhere: page, hidden form value (exact bytes, so Retry finds the file), JSON, metrics.
TEST(HttpTextsTest, NamesShowAsTextAndNeverAsMarkup) {
  const std::string name = "a<script>alert(1)<\\script>&\"q'\nx\xff.ps";
  EXPECT_EQ(http::HtmlText(name),
            "a&lt;script&gt;alert(1)&lt;\\script&gt;&amp;&quot;q&#39;\xE2\x90\x8Ax\xEF\xBF\xBD.ps");
  std::string back;
  ASSERT_TRUE(http::FromHex(http::ToHex(name), back));
  EXPECT_EQ(back, name);
  EXPECT_FALSE(http::FromHex("4g", back));

  DaemonStatus status = oneFolder("/in", "/out");
  status.folders[0].name = name;
  status.folders[0].inHand = {{"/in/" + name, "/out/x.pdf", 0, {}, 40, 3}};
  KeepOutcome(status.folders[0].outcomes, {{}, "/in/" + name, "", 0, 1.5, "broke <b>"});
  http::PageContext context;
  context.failed = {{{{name, "reason with <i>markup</i>"}}, 1}};
  context.formToken = "f0f0";
  const std::string page = http::StatusPage(status, context);
  EXPECT_EQ(page.find("<script"), std::string::npos);
  EXPECT_EQ(page.find("<b>"), std::string::npos);
  EXPECT_EQ(page.find("<i>"), std::string::npos);
  EXPECT_NE(page.find("value=\"" + http::ToHex(name) + "\""), std::string::npos);
  EXPECT_NE(page.find("<progress max=\"100\" value=\"40\">"), std::string::npos);

  const http::HealthVerdict verdict = http::JudgeHealth(status, status.startedSteady);
  const std::string json = http::HealthJson(status, verdict, status.startedSteady);
  EXPECT_NE(json.find("\"name\": \"a<script>alert(1)<\\\\script>&\\\"q'\\u000ax\xEF\xBF\xBD.ps\""), std::string::npos)
      << json;
  const std::string metrics = http::MetricsText(status, {3});
  EXPECT_NE(metrics.find("vellumdock_failed_files{folder=\"a<script>alert(1)<\\\\script>&\\\"q'\\nx\xEF\xBF\xBD.ps\"} 3"),
            std::string::npos)
      << metrics;
}

// The progress of the file in hand, published apart from the whole status, shows in the
// status read after it, and a whole status published later carries its own.
TEST(DaemonMailboxTest, ProgressShowsInTheStatusReadAfterIt) {
  DaemonMailbox mailbox;
  DaemonStatus status = oneFolder("/in", "/out");
  status.folders[0].inHand = {{"/in/a.ps", "/out/a.pdf", 0, {}}};
  mailbox.publish(status);
  mailbox.publishProgress({40, 3});
  const std::shared_ptr<const DaemonStatus> shown = mailbox.status();
  EXPECT_EQ(shown->folders[0].inHand[0].percent, 40);
  EXPECT_EQ(shown->folders[0].inHand[0].page, 3);
  EXPECT_EQ(mailbox.status(), shown);
  status.folders[0].inHand[0].percent = 60;
  mailbox.publish(status);
  EXPECT_EQ(mailbox.status()->folders[0].inHand[0].percent, 60);
  EXPECT_EQ(mailbox.status()->folders[0].inHand[0].page, 0);
}

// Each bucket counts every conversion that took at most its bound; +Inf and _count are the
// total, _sum the seconds; outcomes by converter; restarts of every kind from zero.
TEST(HttpTextsTest, MetricsCountByConverterInCumulativeBuckets) {
  DaemonStatus status = oneFolder("/in", "/out");
  status.folders[0].filesWaiting = 7;
  status.lanes = {{true, "converting"}, {false, "idle"}};
  status.workerRestarts = {{"office", 2}};
  for (const double seconds : {0.05, 0.3, 0.3, 4.0, 900.0}) status.stats.record("image", seconds < 100, seconds);
  const std::string text = http::MetricsText(status, {1});
  ExpectContainsAll(text, {"vellumdock_conversions_total{converter=\"image\",outcome=\"converted\"} 4\n",
                           "vellumdock_conversions_total{converter=\"image\",outcome=\"failed\"} 1\n",
                           "# TYPE vellumdock_conversion_seconds histogram\n",
                           "vellumdock_conversion_seconds_bucket{converter=\"image\",le=\"0.5\"} 3\n",
                           "vellumdock_conversion_seconds_bucket{converter=\"image\",le=\"600\"} 4\n",
                           "vellumdock_conversion_seconds_bucket{converter=\"image\",le=\"+Inf\"} 5\n",
                           "vellumdock_conversion_seconds_sum{converter=\"image\"} 904.64999999999998\n",
                           "vellumdock_conversion_seconds_count{converter=\"image\"} 5\n",
                           "vellumdock_files_waiting{folder=\"scans\"} 7\n", "vellumdock_lanes_busy 1\n",
                           "vellumdock_worker_restarts_total{kind=\"interpreter\"} 0\n",
                           "vellumdock_worker_restarts_total{kind=\"office\"} 2\n"});
}

// Unavailable when a folder has had no pass for three intervals (from the start before
// its first), when no lane can start, while stopping, and before the loop has published
// anything; a paused folder is not waited for.
TEST(HttpTextsTest, HealthFollowsTheLoopsPasses) {
  const DaemonStatus base = oneFolder("/in", "/out");
  const SteadyTime start = base.startedSteady;
  struct Case {
    const char* what;
    std::function<void(DaemonStatus&)> change;
    std::chrono::seconds later;
    bool healthy;
  };
  const Case cases[] = {
      {"three intervals without a pass", [](DaemonStatus&) {}, 16s, false},
      {"just within three intervals", [](DaemonStatus&) {}, 14s, true},
      {"no pass yet, started long ago", [](DaemonStatus& s) { s.folders[0].lastPass.reset(); }, 16s, false},
      {"paused", [](DaemonStatus& s) { s.folders[0].paused = true; }, 600s, true},
      {"lanes cannot start", [](DaemonStatus& s) { s.lanesCannotStart = "vellumdk-lane is missing"; }, 1s, false},
      {"stopping", [](DaemonStatus& s) { s.stopping = true; }, 1s, false},
      {"nothing published", [](DaemonStatus& s) { s = DaemonStatus(); }, 1s, false},
  };
  for (const Case& c : cases) {
    DaemonStatus status = base;
    c.change(status);
    const http::HealthVerdict verdict = http::JudgeHealth(status, start + c.later);
    EXPECT_EQ(verdict.healthy, c.healthy) << c.what;
    EXPECT_EQ(verdict.problems.empty(), c.healthy) << c.what;
  }
}

// A body past the bound is refused before it is read whole, however it comes: in chunks of
// unknown length, or announced to a client that waits for leave to send it. Nothing of it
// stays in the temporary folder.
TEST_F(HttpServerTest, BodiesPastTheBoundAreRefused) {
  serve([](HttpSettings& s) { s.maxUploadBytes = 1 << 20; });
  WriteBytes(scratch("big.png"), std::string(2 << 20, 'x'));
  for (const char* header : {"Transfer-Encoding: chunked", "Expect: 100-continue"}) {
    std::string status;
    EXPECT_EQ(RunProgram("curl",
                         {"-sS", "-H", header, "--data-binary", "@" + scratch("big.png"), "-w", "%{http_code}", "-o",
                          "/dev/null", "http://127.0.0.1:" + std::to_string(server_->port()) + "/convert?name=big.png"},
                         &status),
              0)
        << header;
    EXPECT_EQ(status, "413") << header;
  }
  for (const std::string& entry : DirectoryEntries(temporaryBase())) {
    EXPECT_NE(entry.rfind(std::string(http::kUploadPrefix) + std::to_string(getpid()) + "-", 0), 0u) << entry;
  }
}

// Past the conversions in hand and waiting, a client is told the server is busy; past the
// job bound, that it took too long; the one held then still ends and its folder goes.
TEST_F(HttpServerTest, BusyAndTooLongAreTheServersFault) {
  serve([](HttpSettings& s) {
    s.waitingPerLane = 0;
    s.jobBound = 2s;
  });
  const std::string png = ReadBytes(Corpus("png/basn2c16.png"));
  auto first = std::async(std::launch::async, [&] { return client().Post("/convert?name=a.png", png, "image/png"); });
  while (loop_.held.empty()) loop_.turn(20ms);
  httplib::Result second = post("/convert?name=b.png", png);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->status, 503) << second->body;
  EXPECT_EQ(second->get_header_value("Retry-After"), "5");
  httplib::Result late = loop_.until(std::move(first));
  ASSERT_TRUE(late);
  EXPECT_EQ(late->status, 504) << late->body;
  EXPECT_TRUE(loop_.held.front()->abandoned());
  loop_.held.front()->finish(DaemonRequest::End::Done);
  EXPECT_EQ(get("/health")->status, 200);
}

// Without a token, a request addressed to another host than loopback (a name rebound to
// 127.0.0.1 by a web page's DNS) is refused and learns no file name.
TEST_F(HttpServerTest, HostsOtherThanLoopbackLearnNothing) {
  serve();
  WriteBytes(input_ + "/secret name.ps", "%!PS");
  KeepFailedFile(input_, "secret name.ps", "a reason");
  EXPECT_EQ(get("/health", {{"Host", "localhost:1234"}})->status, 200);
  httplib::Result rebound = get("/", {{"Host", "attacker.example"}});
  EXPECT_EQ(rebound->status, 403);
  EXPECT_EQ(rebound->body.find("secret"), std::string::npos);
}

}  // namespace
}  // namespace vd::test
