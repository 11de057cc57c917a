// The built vellumdkd seen and driven over HTTP by real clients on a loopback port: its
// health while the loop passes and while it is held, metrics that move with conversions,
// documents posted and answered (a PNG, a Word document, a broken file, a kind it does
// not take, a body past the bound), the token rule, posts at once into two lanes, and the
// status page in Debian's chromium: a failed file shown with its reason, Retry pressed,
// the file converted.
#include <httplib.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <future>
#include <regex>
#include <thread>

#include "../ProgramFixture.h"
#include "common/PrivateDirectories.h"
#include "server/http/UploadedDocument.h"
#include "support/TestBounds.h"

namespace vd::test {
namespace {

using namespace std::chrono_literals;

// Every byte of the name percent-encoded, NUL and slashes too, as a query value.
std::string queryValue(const std::string& name) {
  std::string encoded;
  for (const char c : name) {
    char byte[4];
    std::snprintf(byte, sizeof byte, "%%%02X", static_cast<unsigned>(static_cast<unsigned char>(c)));
    encoded += byte;
  }
  return encoded;
}

QJsonObject jsonOf(const std::string& text) { return QJsonDocument::fromJson(QByteArray::fromStdString(text)).object(); }

// A metric's value in a scrape; -1 when the sample is not there.
double sample(const std::string& metrics, const std::string& series) {
  for (const std::string& line : linesOf(metrics)) {
    if (line.rfind(series + " ", 0) == 0) return std::stod(line.substr(series.size() + 1));
  }
  return -1;
}

class DaemonHttpTest : public ProgramFixture {
 protected:
  DaemonHttpTest() : ProgramFixture("vellumdkd") {}

  // Starts the daemon listening on a free loopback port; the port it announced.
  int start(const std::vector<std::string>& arguments,
            const std::vector<std::pair<std::string, std::string>>& environment = {}) {
    std::vector<std::string> all = {"--input", input_, "--output", output_, "--interval", "1", "--listen", "127.0.0.1:0"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::remove(log_.c_str());
    daemon_ = std::make_unique<RunningProgram>(program_, all, log_, environment);
    int port = 0;
    const std::regex announced("listening on http://127\\.0\\.0\\.1:([0-9]+)/");
    WaitUntil(*daemon_, [&] {
      std::smatch found;
      const std::string log = ReadBytes(log_);
      if (std::regex_search(log, found, announced)) port = std::stoi(found[1]);
      return port != 0;
    }, 60s);
    EXPECT_NE(port, 0) << ReadBytes(log_);
    return port;
  }
  httplib::Client client(int port, const httplib::Headers& headers = {}) const {
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(300, 0);
    client.set_default_headers(headers);
    return client;
  }
  // The answer to a document posted under a name.
  httplib::Result post(int port, const std::string& name, const std::string& bytes,
                       const httplib::Headers& headers = {}) const {
    return client(port, headers).Post(("/convert?name=" + queryValue(name)).c_str(), bytes,
                                      "application/octet-stream");
  }
  // The bytes of an answer saved under a name; its path.
  std::string saved(const std::string& bytes, const std::string& name) const {
    const std::string path = environment_.path(name);
    WriteBytes(path, bytes);
    return path;
  }

  const std::string log_ = environment_.path("vellumdkd.log");
  std::unique_ptr<RunningProgram> daemon_;
};

// Healthy while the loop passes; unavailable, with the reason, once it has been held for
// three intervals (one lane converting a long job in the daemon's own process); healthy
// again when the job is done. Metrics count the conversions by converter and outcome.
TEST_F(DaemonHttpTest, HealthFollowsTheLoopAndMetricsFollowTheConversions) {
  const int port = start({"--jobs", "1"});
  ASSERT_NE(port, 0);
  httplib::Result health = client(port).Get("/health");
  ASSERT_TRUE(health);
  EXPECT_EQ(health->status, 200) << health->body;
  EXPECT_EQ(jsonOf(health->body)["status"].toString(), "ok");
  const QJsonObject folder = jsonOf(health->body)["folders"].toArray()[0].toObject();
  EXPECT_TRUE(folder["claimed"].toBool());
  EXPECT_EQ(folder["input"].toString().toStdString(), input_);

  const std::string before = client(port).Get("/metrics")->body;
  EXPECT_LE(sample(before, "vellumdock_conversions_total{converter=\"CreatePDFfromImageFile\",outcome=\"converted\"}"), 0) << before;
  ASSERT_EQ(post(port, "photo.png", ReadBytes(Corpus("png/basn2c16.png")))->status, 200);
  WriteSettledFile(input_ + "/broken.ps", "%!PS\nnosuchoperator\n");
  ASSERT_TRUE(WaitUntil(*daemon_, [&] { return FileExistsOnDisk(input_ + "/failed/broken.ps"); }, 120s));
  const std::string after = client(port).Get("/metrics")->body;
  EXPECT_EQ(sample(after, "vellumdock_conversions_total{converter=\"CreatePDFfromImageFile\",outcome=\"converted\"}"), 1) << after;
  EXPECT_EQ(sample(after, "vellumdock_conversion_seconds_count{converter=\"CreatePDFfromImageFile\"}"), 1);
  EXPECT_EQ(sample(after, "vellumdock_conversions_total{converter=\"CreatePDFfromPS\",outcome=\"failed\"}"), 1);
  EXPECT_EQ(sample(after, "vellumdock_failed_files{folder=\"" + folder["name"].toString().toStdString() + "\"}"), 1);

  WriteSettledFile(input_ + "/slow.ps", slowJob(12000, "slow"));
  std::string unavailable;
  EXPECT_TRUE(WaitUntil(*daemon_, [&] {
    httplib::Result held = client(port).Get("/health");
    if (held && held->status == 503) unavailable = held->body;
    return !unavailable.empty();
  }, 60s));
  EXPECT_NE(unavailable.find("no pass"), std::string::npos) << unavailable;
  EXPECT_TRUE(WaitUntil(*daemon_, [&] { return client(port).Get("/health")->status == 200; }, 120s));
  EXPECT_TRUE(FileExistsOnDisk(output_ + "/slow.pdf"));
}

TEST_F(DaemonHttpTest, AnswersEachPostedDocumentWithItsPdfOrWhoseFaultItWas) {
  // A Word document of today's format, made from a sample by the office suite itself.
  const std::string made = environment_.path("made");
  ASSERT_TRUE(ensureDirectory(made));
  CopySettledFile(Corpus("doc/SampleDoc.doc"), made + "/SampleDoc.doc");
  ASSERT_EQ(RunProgram("soffice", {"-env:UserInstallation=file://" + environment_.path("office-profile"), "--headless",
                                   "--convert-to", "docx", "--outdir", made, made + "/SampleDoc.doc"}),
            0);
  const int port = start({"--jobs", "2", "--max-upload-mb", "1"}, {{"VELLUMDOCK_JOB_TIMEOUT", "120"}});
  ASSERT_NE(port, 0);

  httplib::Result png = post(port, "scan 1.png", ReadBytes(Corpus("png/basn2c16.png")));
  ASSERT_TRUE(png);
  ASSERT_EQ(png->status, 200) << png->body;
  EXPECT_EQ(png->get_header_value("Content-Type"), "application/pdf");
  EXPECT_EQ(PageCount(saved(png->body, "scan.pdf")), 1);

  const httplib::MultipartFormDataItems form = {{"file", ReadBytes(made + "/SampleDoc.docx"), "report.docx", ""}};
  httplib::Result docx = client(port).Post("/convert", form);
  ASSERT_TRUE(docx);
  ASSERT_EQ(docx->status, 200) << docx->body;
  ExpectContainsAll(PdfText(saved(docx->body, "report.pdf")), {"I am a test document", "This is page two"});

  struct Refused {
    std::string name;
    std::string bytes;
    int status;
    const char* reason;
  };
  for (const Refused& r : std::initializer_list<Refused>{
           {"broken.png", ReadBytes(Corpus("broken/badcrc.png")), 422, "broken.png"},
           {"job.ps", "%!PS\nnosuchoperator\n", 422, "nosuchoperator"},
           {"join.scr", "a.ps\r\n", 415, "Script files"},
           {"big.png", std::string((1 << 20) + 1, 'x'), 413, "larger than 1048576 bytes"},
           {"..", ReadBytes(Corpus("png/basn2c16.png")), 400, "Not a file name"},
           {std::string("a\0b.png", 7), ReadBytes(Corpus("png/basn2c16.png")), 400, "NUL"}}) {
    httplib::Result answer = post(port, r.name, r.bytes);
    ASSERT_TRUE(answer) << r.name;
    EXPECT_EQ(answer->status, r.status) << r.name << ": " << answer->body;
    EXPECT_NE(jsonOf(answer->body)["error"].toString().toStdString().find(r.reason), std::string::npos)
        << r.name << ": " << answer->body;
  }
  // A name with a path keeps its last part only: converted in the private folder, never
  // written where the path pointed.
  httplib::Result escaping = post(port, "../../out box/escaped.png", ReadBytes(Corpus("png/basn2c16.png")));
  ASSERT_TRUE(escaping);
  EXPECT_EQ(escaping->status, 200) << escaping->body;
  EXPECT_NE(escaping->get_header_value("Content-Disposition").find("filename=\"escaped.pdf\""), std::string::npos);
  // Nothing sent ever lands in the watched folders, nor stays in the temporary one.
  EXPECT_EQ(DirectoryEntries(input_), std::vector<std::string>{});
  EXPECT_EQ(DirectoryEntries(output_), std::vector<std::string>{});
  // (The folder of the last answer goes once its last byte is sent, just after the client has it.)
  const std::string uploads = std::string(http::kUploadPrefix) + std::to_string(daemon_->pid()) + "-";
  std::vector<std::string> left;
  EXPECT_TRUE(WaitUntil(*daemon_, [&] {
    left.clear();
    for (const std::string& entry : DirectoryEntries(temporaryBase())) {
      if (entry.rfind(uploads, 0) == 0) left.push_back(entry);
    }
    return left.empty();
  }, 10s)) << testing::PrintToString(left);
}

// Eight documents posted at once into two lanes: every client gets an answer, and each
// answer is its own document. A lane killed in the middle of a document fails that one
// only, is counted as a worker restart, and the next document gets a new lane.
TEST_F(DaemonHttpTest, PostsAtOnceAreAllAnsweredAndNoneMixedUp) {
  const int port = start({"--jobs", "2"});
  ASSERT_NE(port, 0);
  std::vector<std::future<httplib::Result>> answers;
  for (int i = 0; i < 8; ++i) {
    answers.push_back(std::async(std::launch::async, [&, i] {
      return post(port, "document " + std::to_string(i) + ".ps",
                  "%!PS\n/Helvetica findfont 24 scalefont setfont 72 700 moveto (this is document number " +
                      std::to_string(i) + ") show showpage\n");
    }));
  }
  for (int i = 0; i < 8; ++i) {
    httplib::Result answer = answers[i].get();
    ASSERT_TRUE(answer) << i;
    ASSERT_EQ(answer->status, 200) << i << ": " << answer->body;
    // Its own page, and nothing of another document.
    EXPECT_EQ(PageTexts(saved(answer->body, "answer-" + std::to_string(i) + ".pdf")),
              std::vector<std::string>{"this is document number " + std::to_string(i)});
  }

  auto killed = std::async(std::launch::async, [&] { return post(port, "long.ps", slowJob(60000, "long")); });
  ASSERT_TRUE(WaitUntil(*daemon_, [&] {
    return sample(client(port).Get("/metrics")->body, "vellumdock_lanes_busy") == 1;
  }, 60s));
  // No file was dropped: the lanes of this world are those of the documents sent.
  for (const pid_t lane : processes("vellumdk-lane")) kill(lane, SIGKILL);
  httplib::Result failed = killed.get();
  ASSERT_TRUE(failed);
  EXPECT_EQ(failed->status, 422) << failed->body;
  EXPECT_NE(failed->body.find("stopped unexpectedly"), std::string::npos) << failed->body;
  EXPECT_GE(sample(client(port).Get("/metrics")->body, "vellumdock_worker_restarts_total{kind=\"lane\"}"), 1);
  EXPECT_EQ(post(port, "after.png", ReadBytes(Corpus("png/basn2c16.png")))->status, 200);
}

// With a token, no request is answered without it; an address other than loopback needs one.
// A second daemon on the same folder and port is turned away for the folder, before it listens.
TEST_F(DaemonHttpTest, TheTokenRule) {
  const std::string tokenFile = environment_.path("token");
  const std::string token = "a-token-for-this-test-0123456789";
  WriteBytes(tokenFile, token + "\n");
  ASSERT_EQ(chmod(tokenFile.c_str(), 0600), 0);
  WriteSettledFile(input_ + "/private name.ps", "%!PS\nnosuchoperator\n");
  const int port = start({"--listen-token-file", tokenFile});
  ASSERT_NE(port, 0);
  ASSERT_EQ(chmod(tokenFile.c_str(), 0644), 0);
  expectOutcomes({
      {{"--listen", "0.0.0.0:0", "--input", input_, "--output", output_}, 2, "", "needs --listen-token-file"},
      {{"--listen", "127.0.0.1:0", "--listen-token-file", tokenFile, "--input", input_, "--output", output_},
       2,
       "",
       "can be read by every account"},
      {{"--listen", "127.0.0.1:" + std::to_string(port), "--input", input_, "--output", output_},
       4,
       "",
       "Not scanning."},
  });
  ASSERT_TRUE(WaitUntil(*daemon_, [&] { return FileExistsOnDisk(input_ + "/failed/private name.ps"); }, 120s));
  const httplib::Headers wrong = {{"Authorization", "Bearer " + token + "x"}};
  for (const char* target : {"/", "/health", "/metrics", "/nothing-here"}) {
    for (const httplib::Headers& headers : {httplib::Headers{}, wrong}) {
      httplib::Result refused = client(port, headers).Get(target);
      ASSERT_TRUE(refused);
      EXPECT_EQ(refused->status, 401) << target;
      EXPECT_EQ(refused->body.find("private"), std::string::npos) << target;
    }
  }
  // A browser gives the token as a password.
  EXPECT_EQ(client(port, {httplib::make_basic_authentication_header("me", token)}).Get("/metrics")->status, 200);
  EXPECT_EQ(post(port, "a.png", ReadBytes(Corpus("png/basn2c16.png")))->status, 401);
  EXPECT_EQ(post(port, "a.png", ReadBytes(Corpus("png/basn2c16.png")), {{"Authorization", "Bearer " + token}})->status,
            200);
  EXPECT_NE(client(port, {{"Authorization", "Bearer " + token}}).Get("/")->body.find("private name.ps"),
            std::string::npos);
}

// Pause, from a form of the page only, stops the listing, not the passes: a file dropped
// into a paused folder stays there pass after pass, and is converted once it is resumed.
TEST_F(DaemonHttpTest, APausedFolderIsPassedOverUntilResumed) {
  const int port = start({"--jobs", "1"});
  ASSERT_NE(port, 0);
  const std::string page = client(port).Get("/")->body;
  const std::size_t value = page.find("name=\"form\" value=\"") + 19;
  const std::string form = "folder=0&form=" + page.substr(value, page.find('"', value) - value);
  // A form forged elsewhere, without this page's token, is refused.
  EXPECT_EQ(
      client(port).Post("/pause", "folder=0&form=" + std::string(32, '0'), "application/x-www-form-urlencoded")->status,
      403);
  ASSERT_EQ(client(port).Post("/pause", form, "application/x-www-form-urlencoded")->status, 303);
  const auto lastPass = [&] {
    const QJsonObject folder = jsonOf(client(port).Get("/health")->body)["folders"].toArray()[0].toObject();
    EXPECT_TRUE(folder["paused"].toBool());
    return folder["lastPass"].toString().toStdString();
  };
  ASSERT_TRUE(WaitUntil(*daemon_, [&] { return !lastPass().empty(); }, 30s));
  WriteSettledFile(input_ + "/held.ps", slowJob(0, "held back"));
  // Two passes later (the times have a second's resolution): still there.
  for (int pass = 0; pass < 2; ++pass) {
    const std::string before = lastPass();
    ASSERT_TRUE(WaitUntil(*daemon_, [&] { return lastPass() != before; }, 30s));
  }
  EXPECT_TRUE(FileExistsOnDisk(input_ + "/held.ps"));
  EXPECT_FALSE(FileExistsOnDisk(output_ + "/held.pdf"));
  ASSERT_EQ(client(port).Post("/resume", form, "application/x-www-form-urlencoded")->status, 303);
  ASSERT_TRUE(WaitUntil(*daemon_, [&] { return FileExistsOnDisk(output_ + "/held.pdf"); }, 120s));
  EXPECT_NE(PdfText(output_ + "/held.pdf").find("held back"), std::string::npos);
}

// The status page in Debian's chromium: a failed file whose name holds markup shows as text
// with its reason; once the operator has mended it, Retry puts it back and the page,
// refreshing itself, shows it converted by the daemon. The screenshots stay in the build tree.
TEST_F(DaemonHttpTest, TheStatusPageInABrowser) {
  const std::string driver = std::string(VD_BROWSER_DRIVER_DIR) + "/StatusPage.mjs";
  ASSERT_TRUE(FileExistsOnDisk(driver)) << "the browser test's driver is missing: install npm (packaging/install-deps.sh)"
                                        << " and build the target vd_browser_driver";
  ASSERT_EQ(access("/usr/bin/chromium", X_OK), 0) << "chromium is missing: packaging/install-deps.sh installs it";
  const std::string name = "<script>window.injected=1<\\script> report & \"notes\".ps";
  WriteSettledFile(input_ + "/" + name, "%!PS\nnosuchoperator\n");
  const int port = start({"--jobs", "2"});
  ASSERT_NE(port, 0);
  ASSERT_TRUE(WaitUntil(*daemon_, [&] { return FileExistsOnDisk(input_ + "/failed/" + name); }, 120s));
  WriteBytes(input_ + "/failed/" + name,
             "%!PS\n/Helvetica findfont 20 scalefont setfont 72 700 moveto (the mended report) show showpage\n");
  Backdate(input_ + "/failed/" + name, 60);
  const std::string shots = std::string(VD_BUILD_DIR) + "/screenshots";
  ASSERT_TRUE(ensureDirectory(shots));

  std::string output;
  std::string errors;
  ASSERT_EQ(RunProgram("node", {driver, "http://127.0.0.1:" + std::to_string(port) + "/", name, shots + "/status-page",
                                "90"},
                       &output, &errors, "", 180),
            0)
      << errors;
  const QJsonObject seen = jsonOf(output);
  ASSERT_FALSE(seen.isEmpty()) << output << errors;
  EXPECT_EQ(seen["problem"].toString().toStdString(), "");
  EXPECT_TRUE(seen["failedShown"].toBool()) << output;
  EXPECT_NE(seen["reason"].toString().toStdString().find("nosuchoperator"), std::string::npos) << output;
  EXPECT_EQ(seen["scripts"].toInt(-1), 0);
  EXPECT_TRUE(seen["injected"].isNull()) << output;
  ASSERT_TRUE(seen["converted"].toBool()) << output << errors << ReadBytes(log_);
  const std::string pdf = "<script>window.injected=1<\\script> report & \"notes\".pdf";
  EXPECT_EQ(seen["output"].toString().toStdString(), pdf);
  EXPECT_EQ(seen["pages"].toString().toStdString(), "1");
  EXPECT_NE(PdfText(output_ + "/" + pdf).find("the mended report"), std::string::npos);
  for (const char* shot : {"failed", "phone", "converted"}) {
    EXPECT_EQ(ReadBytes(shots + "/status-page-" + shot + ".png").substr(0, 4), "\x89PNG") << shot;
  }
}

}  // namespace
}  // namespace vd::test
