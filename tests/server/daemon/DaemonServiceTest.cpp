// The built vellumdkd as a service manager runs it: it says when it is ready, beats its
// heartbeat, says it is stopping, marks failures for the journal, and ends at once on a
// second stop signal without losing a file or leaving anything half-made; it serves the
// folders of a configuration file, refusing a bad line by its number; and a file dropped
// into a folder wakes it long before its interval is over.
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <chrono>
#include <thread>

#include "../ProgramFixture.h"
#include "support/TestBounds.h"

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

}  // namespace
}  // namespace vd::test
