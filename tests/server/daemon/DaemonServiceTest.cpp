// The built vellumdkd as a service manager runs it: it says when it is ready, beats its
// heartbeat, says it is stopping, marks failures for the journal, and ends at once on a
// second stop signal without losing a file or leaving anything half-made; it serves the
// folders of a configuration file, refusing a bad line by its number, with one engine and
// its warm office suite for folders of different text recognition; and a file dropped
// into a folder wakes it long before its interval is over.
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../ProgramFixture.h"
#include "platform/FolderChanges.h"
#include "support/TestBounds.h"
#include "support/TextPageRendering.h"

namespace vd::test {
namespace {

// The service manager's end of the notification socket: a datagram socket of the test's own.
class NotifySocket {
 public:
  explicit NotifySocket(std::string path) : path_(std::move(path)) {
    descriptor_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path_.copy(address.sun_path, sizeof address.sun_path - 1);
    if (descriptor_ < 0 || bind(descriptor_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      throw std::runtime_error("cannot bind " + path_);
    }
  }
  ~NotifySocket() { close(descriptor_); }

  const std::string& path() const { return path_; }

  // Reads messages until one holds `text` or the bound passes; every message read is kept.
  bool waitFor(const std::string& text, std::chrono::seconds bound) {
    const auto giveUp = std::chrono::steady_clock::now() + bound;
    while (std::chrono::steady_clock::now() < giveUp) {
      timeval slice{0, 100000};
      setsockopt(descriptor_, SOL_SOCKET, SO_RCVTIMEO, &slice, sizeof slice);
      char buffer[4096];
      const ssize_t n = recv(descriptor_, buffer, sizeof buffer, 0);
      if (n <= 0) continue;
      messages_.emplace_back(buffer, static_cast<std::size_t>(n));
      if (messages_.back().find(text) != std::string::npos) return true;
    }
    return false;
  }
  const std::vector<std::string>& messages() const { return messages_; }

 private:
  std::string path_;
  int descriptor_ = -1;
  std::vector<std::string> messages_;
};

std::string deviceAndInode(const std::string& path) {
  struct stat info {};
  stat(path.c_str(), &info);
  return std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
}

class DaemonServiceTest : public ProgramFixture {
 protected:
  DaemonServiceTest() : ProgramFixture("vellumdkd") {}

  std::unique_ptr<RunningProgram> start(const std::vector<std::string>& arguments,
                                        const std::vector<std::pair<std::string, std::string>>& environment = {}) {
    return std::make_unique<RunningProgram>(program_, arguments, log_, environment, errors_);
  }
  std::string describe() const { return "stdout:\n" + ReadBytes(log_) + "stderr:\n" + ReadBytes(errors_); }
  // The folders home/NAME/in and home/NAME/out of each name, and a configuration file of
  // those sections; its path.
  std::string configure(const std::vector<std::string>& names, const std::string& sections) {
    for (const std::string& name : names) {
      for (const char* side : {"/in", "/out"}) EXPECT_TRUE(ensureDirectory(environment_.path("home/" + name) + side));
    }
    const std::string config = environment_.path("home/folders.conf");
    WriteBytes(config, sections);
    return config;
  }
  std::vector<std::string> hiddenIn(const std::string& folder) const {
    std::vector<std::string> hidden;
    for (const std::string& name : DirectoryEntries(folder)) {
      if (name.front() == '.') hidden.push_back(name);
    }
    return hidden;
  }

  const std::string log_ = environment_.path("vellumdkd.out");
  const std::string errors_ = environment_.path("vellumdkd.err");
};

// Under a service manager that watches it and keeps its lines in the journal: ready only
// once it holds its folder, a heartbeat while it runs, failures marked as errors, stopping
// said on SIGTERM while the long job goes on; the second SIGTERM ends it at once, in lanes
// and in its own process alike: the file in hand stays, the PDF it was replacing is back,
// and no temporary or process is left.
TEST_F(DaemonServiceTest, TellsTheServiceManagerItsStateAndASecondSignalEndsItAtOnce) {
  for (const std::string jobs : {"2", "1"}) {
    SCOPED_TRACE("--jobs " + jobs);
    for (const std::string& path : {log_, errors_, output_ + "/slow.pdf"}) std::remove(path.c_str());
    MakeTextPdf(output_ + "/slow.pdf", {"the earlier slow document"});
    WriteSettledFile(input_ + "/broken.ps", "%!PS\nnosuchoperator\nshowpage\n");
    // The streams the journal would hold: the files the program writes its lines into.
    WriteBytes(log_, "");
    WriteBytes(errors_, "");
    NotifySocket manager(environment_.path("notify-" + jobs));
    auto running = start({"--input", input_, "--output", output_, "--interval", "1", "--overwrite", "--jobs", jobs},
                         {{"NOTIFY_SOCKET", manager.path()},
                          {"WATCHDOG_USEC", "300000"},
                          {"JOURNAL_STREAM", deviceAndInode(errors_)}});

    ASSERT_TRUE(manager.waitFor("READY=1", std::chrono::seconds(60))) << describe();
    // Ready means claimed: a second instance on the folder is turned away.
    EXPECT_EQ(RunProgram(program_, {"--input", input_, "--output", output_}, nullptr, nullptr, {}, 60), 4);
    EXPECT_NE(manager.messages().back().find("STATUS="), std::string::npos);
    // Beats while it runs (every 150 ms asked): a few in a row.
    for (int beat = 0; beat < 3; ++beat) ASSERT_TRUE(manager.waitFor("WATCHDOG=1", std::chrono::seconds(30)));

    ASSERT_TRUE(WaitUntil(*running, [&] { return FileExistsOnDisk(input_ + "/failed/broken.ps.error.txt"); },
                          std::chrono::seconds(120))) << describe();
    WriteSettledFile(input_ + "/slow.ps", slowJob(120000, "never finished"));
    const std::string arrow = input_ + "/slow.ps --> " + output_ + "/slow.pdf";
    ASSERT_TRUE(WaitUntil(*running, [&] {
      const std::vector<std::string> hidden = hiddenIn(output_);
      // The earlier PDF set aside, its replacement being written.
      return ReadBytes(log_).find(arrow) != std::string::npos && hidden.size() == 2 &&
             hidden[0].rfind(".slow.pdf", 0) == 0 && hidden[1].rfind(".vellumdock-new-", 0) == 0;
    }, std::chrono::seconds(120))) << describe();
    running->signal(SIGTERM);
    ASSERT_TRUE(manager.waitFor("STOPPING=1", std::chrono::seconds(30))) << describe();
    // The first signal waits for the file in hand: still running, still beating.
    ASSERT_TRUE(manager.waitFor("WATCHDOG=1", std::chrono::seconds(30)));
    EXPECT_TRUE(running->running());
    running->signal(SIGTERM);
    // Long before the two-minute job could have finished.
    EXPECT_EQ(running->waitForExit(std::chrono::seconds(60)), 0) << describe();
    expectNoProcessLeft();

    EXPECT_EQ(DirectoryEntries(input_), (std::vector<std::string>{"failed", "slow.ps"}));
    EXPECT_EQ(DirectoryEntries(output_), (std::vector<std::string>{"broken.log", "slow.pdf"})) << describe();
    EXPECT_NE(PdfText(output_ + "/slow.pdf").find("the earlier slow document"), std::string::npos);
    // stderr is the journal: its lines carry their priorities; stdout is not.
    const std::vector<std::string> errorLines = linesOf(ReadBytes(errors_));
    ASSERT_EQ(errorLines.size(), 2u) << describe();
    EXPECT_EQ(errorLines[0].rfind("<3>vellumdkd: " + input_ + "/broken.ps: ", 0), 0u) << errorLines[0];
    EXPECT_EQ(errorLines[1], "<5>vellumdkd: ending at once; the files in hand stay in the input folder");
    EXPECT_EQ(ReadBytes(log_).find("<"), std::string::npos);
    std::remove((input_ + "/slow.ps").c_str());
    std::filesystem::remove_all(input_ + "/failed");
    std::remove((output_ + "/broken.log").c_str());
  }
}

// PostScript that shows one line of text: quick for a lane.
std::string smallJob(const std::string& text) {
  return "%!PS\n/Helvetica findfont 20 scalefont setfont 72 700 moveto (" + text + ") show showpage\n";
}

// Two lanes, one busy with a minute-long job: the twenty small files dropped after it
// started all become PDFs while it still runs, each with its own text.
TEST_F(DaemonServiceTest, SmallFilesPassALongJobInTheOtherLane) {
  WriteSettledFile(input_ + "/long.ps", slowJob(60000, "the long job"));
  NotifySocket manager(environment_.path("notify"));
  auto running = start({"--input", input_, "--output", output_, "--interval", "1", "--jobs", "2"},
                       {{"NOTIFY_SOCKET", manager.path()}});
  ASSERT_TRUE(WaitUntil(*running, [&] { return ReadBytes(log_).find(input_ + "/long.ps --> ") != std::string::npos; },
                        std::chrono::seconds(60))) << describe();
  const auto longStarted = std::chrono::steady_clock::now();
  for (int n = 0; n < 20; ++n) WriteBytes(input_ + "/small" + std::to_string(n) + ".ps", smallJob("small " + std::to_string(n)));
  ASSERT_TRUE(WaitUntil(*running, [&] {
    for (int n = 0; n < 20; ++n) {
      if (!FileExistsOnDisk(output_ + "/small" + std::to_string(n) + ".pdf")) return false;
    }
    return true;
  }, std::chrono::seconds(120))) << describe();
  // The long job is still in hand: its input is there and its PDF is not.
  EXPECT_TRUE(FileExistsOnDisk(input_ + "/long.ps"));
  EXPECT_FALSE(FileExistsOnDisk(output_ + "/long.pdf")) << describe();
  const auto passed = std::chrono::steady_clock::now() - longStarted;
  EXPECT_LT(passed, std::chrono::seconds(60));
  std::printf("20 small files beside the long job: %lld ms\n",
              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(passed).count()));
  std::fflush(stdout);
  for (int n = 0; n < 20; ++n) {
    EXPECT_NE(PdfText(output_ + "/small" + std::to_string(n) + ".pdf").find("small " + std::to_string(n)), std::string::npos) << n;
  }
  // Not waiting for the long job: the second signal ends it at once (two signals sent
  // together would arrive as one).
  running->signal(SIGTERM);
  ASSERT_TRUE(manager.waitFor("STOPPING=1", std::chrono::seconds(30))) << describe();
  running->signal(SIGTERM);
  EXPECT_EQ(running->waitForExit(std::chrono::seconds(30)), 0) << describe();
  EXPECT_TRUE(FileExistsOnDisk(input_ + "/long.ps"));
  expectNoProcessLeft();
}

// A pass hands out its files the lightest first, and files dropped while it hands out join
// it: an image dropped while the first of four PostScript files converts is converted next,
// before the three others listed with the first, in the daemon's own process and in lanes.
TEST_F(DaemonServiceTest, AFileDroppedDuringAPassJoinsItLightestFirst) {
  for (const std::string jobs : {"1", "2"}) {
    SCOPED_TRACE("--jobs " + jobs);
    for (const std::string& path : {log_, errors_}) std::remove(path.c_str());
    // Of one kind the smaller first: the slow job is the smallest file.
    const std::string padding(4000, '%');
    WriteSettledFile(input_ + "/first.ps", slowJob(3000, "first"));
    for (const std::string name : {"later1", "later2", "later3"}) {
      WriteSettledFile(input_ + "/" + name + ".ps", slowJob(jobs == "1" ? 100 : 3000, name) + padding + "\n");
    }
    auto running = start({"--input", input_, "--output", output_, "--interval", "30", "--jobs", jobs});
    const std::string firstArrow = input_ + "/first.ps --> ";
    ASSERT_TRUE(WaitUntil(
        *running, [&] { return ReadBytes(log_).find(firstArrow) != std::string::npos; }, std::chrono::seconds(60)))
        << describe();
    // With two lanes the second is busy too: the image waits for a lane like every file.
    CopySettledFile(Corpus("png/basn2c16.png"), input_ + "/dropped.png");
    ASSERT_TRUE(WaitUntil(
        *running,
        [&] {
          for (const char* pdf : {"/first.pdf", "/dropped.pdf", "/later1.pdf", "/later2.pdf", "/later3.pdf"}) {
            if (!FileExistsOnDisk(output_ + pdf)) return false;
          }
          return true;
        },
        std::chrono::seconds(120)))
        << describe();
    std::vector<std::string> taken;
    std::istringstream lines(ReadBytes(log_));
    for (std::string line; std::getline(lines, line);) {
      const std::size_t arrow = line.find(" --> ");
      if (arrow != std::string::npos) taken.push_back(line.substr(input_.size() + 1, arrow - input_.size() - 1));
    }
    ASSERT_EQ(taken.size(), 5u) << describe();
    EXPECT_EQ(taken.front(), "first.ps") << describe();
    // One lane: the image right after the first. Two: the second lane may have taken one of
    // the others before the image came, never two.
    const auto image = std::find(taken.begin(), taken.end(), "dropped.png");
    EXPECT_LE(image - taken.begin(), jobs == "1" ? 1 : 2) << describe();
    EXPECT_EQ(PageCount(output_ + "/dropped.pdf"), 1);
    EXPECT_GT(InkOf(output_ + "/dropped.pdf", environment_.path("ink"), 36), 0);
    EXPECT_NE(PdfText(output_ + "/later3.pdf").find("later3"), std::string::npos);
    running->signal(SIGTERM);
    EXPECT_EQ(running->waitForExit(std::chrono::seconds(60)), 0) << describe();
    for (const std::string& name : DirectoryEntries(output_)) std::remove((output_ + "/" + name).c_str());
  }
}

// Two scripts dropped together never run at once (their entries' temporaries share the
// input folder): the second is taken only once the first has ended, while a small file
// passes both in the other lane; both PDFs hold their entries.
TEST_F(DaemonServiceTest, ScriptsTakeTurnsWhileOtherFilesPassThem) {
  const std::string sources = environment_.path("home/sources");
  ASSERT_TRUE(ensureDirectory(sources));
  for (const std::string name : {"first", "second"}) {
    WriteSettledFile(sources + "/" + name + ".ps", slowJob(3000, "entry of the " + name + " script"));
    WriteSettledFile(input_ + "/" + name + ".scr", sources + "/" + name + ".ps\r\n");
  }
  auto running = start({"--input", input_, "--output", output_, "--interval", "1", "--jobs", "2"});
  ASSERT_TRUE(WaitUntil(*running, [&] { return ReadBytes(log_).find(".scr --> ") != std::string::npos; },
                        std::chrono::seconds(60))) << describe();
  WriteBytes(input_ + "/small.ps", smallJob("passing by"));
  bool overlapped = false;
  ASSERT_TRUE(WaitUntil(*running, [&] {
    const bool bothTaken = linesOf(ReadBytes(log_)).size() >= 3 &&
                           ReadBytes(log_).find("first.scr --> ") != std::string::npos &&
                           ReadBytes(log_).find("second.scr --> ") != std::string::npos;
    const int scriptsLeft = FileExistsOnDisk(input_ + "/first.scr") + FileExistsOnDisk(input_ + "/second.scr");
    if (bothTaken && scriptsLeft == 2) overlapped = true;
    return scriptsLeft == 0;
  }, std::chrono::seconds(120))) << describe();
  EXPECT_FALSE(overlapped) << describe();
  for (const std::string name : {"first", "second"}) {
    EXPECT_NE(PdfText(output_ + "/" + name + ".pdf").find("entry of the " + name + " script"), std::string::npos);
  }
  EXPECT_NE(PdfText(output_ + "/small.pdf").find("passing by"), std::string::npos);
  // The small file was handed out while a script still ran: its arrow comes before the second script's.
  const std::string log = ReadBytes(log_);
  const std::size_t secondTaken = std::max(log.find("first.scr --> "), log.find("second.scr --> "));
  EXPECT_LT(log.find("small.ps --> "), secondTaken) << describe();
  running->signal(SIGTERM);
  EXPECT_EQ(running->waitForExit(std::chrono::seconds(60)), 0) << describe();
}

// A file waiting when the daemon starts is converted at once, not after the first interval.
// A file dropped (written as a copy would, not backdated) wakes the daemon long before its
// 30-second interval, in its own process and in lanes; with change notification turned off
// the interval alone paces the passes, and the log says so.
TEST_F(DaemonServiceTest, ADroppedFileWakesTheWaitAndTheIntervalPacesItWithoutNotification) {
  struct Case {
    std::string jobs;
    std::string notification;
    std::string interval;
    std::chrono::seconds bound;
  };
  for (const Case& c : {Case{"1", "1", "30", std::chrono::seconds(20)}, Case{"2", "1", "30", std::chrono::seconds(20)},
                        Case{"2", "0", "3", std::chrono::seconds(40)}}) {
    SCOPED_TRACE("--jobs " + c.jobs + ", notification " + c.notification);
    for (const std::string& path : {log_, errors_}) std::remove(path.c_str());
    WriteSettledFile(input_ + "/waiting.ps", smallJob("waiting at the start"));
    auto running = start({"--input", input_, "--output", output_, "--interval", c.interval, "--jobs", c.jobs},
                         {{kChangeNotificationVariable, c.notification}});
    ASSERT_TRUE(WaitUntil(*running, [&] { return ReadBytes(log_).find(" lanes.") != std::string::npos ||
                                                 ReadBytes(log_).find("one file at a time.") != std::string::npos; },
                          std::chrono::seconds(60))) << describe();
    // Within the 30-second interval even without a change to wake the wait.
    ASSERT_TRUE(WaitUntil(
        *running, [&] { return FileExistsOnDisk(output_ + "/waiting.pdf"); }, c.bound))
        << describe();
    EXPECT_NE(PdfText(output_ + "/waiting.pdf").find("waiting at the start"), std::string::npos);
    const bool toldOff = ReadBytes(log_).find("change notification is turned off") != std::string::npos;
    EXPECT_EQ(toldOff, c.notification == "0") << describe();
    const auto dropped = std::chrono::steady_clock::now();
    WriteBytes(input_ + "/dropped.ps", smallJob("dropped in"));
    ASSERT_TRUE(WaitUntil(*running, [&] { return FileExistsOnDisk(output_ + "/dropped.pdf") && !FileExistsOnDisk(input_ + "/dropped.ps"); },
                          c.bound)) << describe();
    const auto latency = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - dropped);
    // Printed, not asserted: the wake-up is shown by the bound; its speed is bench_lanes's.
    std::printf("drop to PDF: %lld ms\n", static_cast<long long>(latency.count()));
    std::fflush(stdout);
    EXPECT_NE(PdfText(output_ + "/dropped.pdf").find("dropped in"), std::string::npos);
    running->signal(SIGTERM);
    EXPECT_EQ(running->waitForExit(std::chrono::seconds(60)), 0) << describe();
    for (const char* pdf : {"/dropped.pdf", "/waiting.pdf"}) std::remove((output_ + pdf).c_str());
  }
}

// Folders of different text recognition share the one engine of a daemon converting in its
// own process, and with it the office suite it keeps warm: files from both folders in turn
// leave the suite that converted the first document running, and a scan is recognised in
// the folder that asks for it and left as it is in the other.
TEST_F(DaemonServiceTest, FoldersOfDifferentRecognitionShareOneEngineAndItsOfficeSuite) {
  environment_.set("VELLUMDOCK_HELPER_DIR", VD_BUILD_HELPER_DIR);
  const std::string text = "Scanned pages are recognised in the folder that asks for it";
  const std::string scan =
      RenderTextPages(SetTextPages(WordsOf(text), 1, TextPageLayout{}), "jpeggray", environment_.path("home/scan.jpg"));
  const std::string plain = environment_.path("home/plain");
  const std::string scans = environment_.path("home/scans");
  const std::string config = configure({"plain", "scans"},
                                       "[plain]\ninput = plain/in\noutput = plain/out\ninterval = 1\n\n"
                                       "[scans]\ninput = scans/in\noutput = scans/out\ninterval = 1\nocr = eng\n");
  auto running = start({"--config", config, "--jobs", "1"});
  const auto convert = [&](const std::string& source, const std::string& folder, const std::string& name) {
    CopySettledFile(source, folder + "/in/" + name);
    const std::string pdf = folder + "/out/" + name.substr(0, name.find('.')) + ".pdf";
    EXPECT_TRUE(WaitUntil(
        *running, [&] { return FileExistsOnDisk(pdf); }, std::chrono::seconds(180)))
        << describe();
    return pdf;
  };
  convert(Corpus("doc/SampleDoc.doc"), plain, "first.doc");
  const std::set<pid_t> suite = processes("soffice");
  ASSERT_FALSE(suite.empty());
  const std::string recognised = convert(scan, scans, "scan.jpg");
  const std::string left = convert(scan, plain, "scan.jpg");
  convert(Corpus("doc/SampleDoc.doc"), scans, "second.doc");
  EXPECT_EQ(processes("soffice"), suite);
  EXPECT_GT(ShareFound(TokensOf(text), TokensOf(PdfText(recognised))), 0.9) << describe();
  EXPECT_EQ(PdfText(left).find_first_not_of(" \n\f"), std::string::npos) << PdfText(left);
  running->signal(SIGTERM);
  EXPECT_EQ(running->waitForExit(std::chrono::seconds(60)), 0) << describe();
}

// Two folders from one configuration file, one daemon and one pool of lanes: each folder's
// file goes to its own output, replacing the earlier PDF where overwrite is set and
// numbered beside it where not; a second daemon on the same file is turned away; and a
// bad line is refused by its number before anything is claimed.
TEST_F(DaemonServiceTest, ServesTheFoldersOfAConfigurationFileAndRefusesABadLineByItsNumber) {
  const std::string sales = environment_.path("home/sales");
  const std::string scans = environment_.path("home/scans");
  const std::string config =
      configure({"sales", "scans"},
                "# two departments\n[sales]\ninput = sales/in\noutput = sales/out\noverwrite = yes\ninterval = 1\n\n"
                "[scans]\ninput = scans/in\noutput = scans/out\noverwrite = no\ninterval = 2\nocr = eng\n");
  MakeTextPdf(sales + "/out/report.pdf", {"the earlier sales report"});
  MakeTextPdf(scans + "/out/report.pdf", {"the earlier scan"});
  WriteSettledFile(sales + "/in/report.ps", smallJob("the new sales report"));
  WriteSettledFile(scans + "/in/report.ps", smallJob("the new scan"));
  auto running = start({"--config", config, "--jobs", "2"});
  ASSERT_TRUE(WaitUntil(*running, [&] {
    return !FileExistsOnDisk(sales + "/in/report.ps") && !FileExistsOnDisk(scans + "/in/report.ps");
  }, std::chrono::seconds(120))) << describe();
  const std::string startup = linesOf(ReadBytes(log_)).front();
  EXPECT_NE(startup.find("[sales] scanning " + sales + "/in for PDFs in " + sales + "/out every 1 s (overwrite"),
            std::string::npos) << startup;
  EXPECT_NE(startup.find("[scans] scanning " + scans + "/in for PDFs in " + scans + "/out every 2 s (number"),
            std::string::npos) << startup;
  // Recognition is the scans folder's alone.
  EXPECT_NE(startup.find("no security, text recognised in eng)"), std::string::npos) << startup;
  EXPECT_EQ(startup.find("text recognised"), startup.rfind("text recognised")) << startup;
  EXPECT_EQ(DirectoryEntries(sales + "/out"), (std::vector<std::string>{"report.pdf"}));
  EXPECT_NE(PdfText(sales + "/out/report.pdf").find("the new sales report"), std::string::npos);
  EXPECT_EQ(DirectoryEntries(scans + "/out"), (std::vector<std::string>{"report.pdf", "report_1.pdf"}));
  EXPECT_NE(PdfText(scans + "/out/report.pdf").find("the earlier scan"), std::string::npos);
  EXPECT_NE(PdfText(scans + "/out/report_1.pdf").find("the new scan"), std::string::npos);
  // Each folder is claimed: a second daemon with the same file, or on one of its folders alone, is turned away.
  expectOutcomes({{{"--config", config}, 4, "", "Not scanning."},
                  {{"--input", scans + "/in", "--output", output_}, 4, "", "Not scanning."}});
  running->signal(SIGTERM);
  EXPECT_EQ(running->waitForExit(std::chrono::seconds(60)), 0) << describe();

  WriteBytes(config, "[sales]\ninput = sales/in\noutput = sales/out\ninterval = soon\n");
  expectOutcomes({{{"--config", config}, 2, "", config + ":4: interval takes whole seconds"},
                  {{"--config", config, "--interval", "5"}, 2, "", "cannot be added"},
                  {{"--config", config, "--ocr", "eng"}, 2, "", "cannot be added"},
                  {{"--config", environment_.path("home/none.conf")}, 2, "", "cannot read the configuration"}});
}

}  // namespace
}  // namespace vd::test
