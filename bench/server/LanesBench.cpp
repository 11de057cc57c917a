// vellumdkd under bursts and drops, each run in a scratch world of its own:
//
// - the burst: 200 and 500 small files (images and PostScript, copied from the sample files
//   to as many names) present when the daemon starts, with --jobs 1 and --jobs 2 taking turns
//   over the rounds (1 then 2, 2 then 1, ...) so a noisy neighbour touches both alike: the
//   PDFs it made (all, none lost) and the wall time from the daemon's start until the input
//   folder is empty, and the ratio of the medians against the target of 0.55 on a two-core
//   machine;
// - the mixed burst: one 200-page PostScript file among 300 small files, dropped at once
//   into a running daemon, in interleaved rounds of --jobs 1 and --jobs 2: the wall time
//   until the folder is empty (target: two lanes at most 0.6 of one) and each small file's
//   latency from the drop to its PDF (target: a median under 2 s with two lanes), and when
//   the long file's PDF came;
// - the lone drop: one small file written into the folder of a daemon with a 5-second
//   interval, 20 times at different moments of the interval: the latency from the drop to
//   its PDF (median, min, max);
// - over HTTP: 200 small files sent to POST /convert by 4 clients at once, against the same
//   files dropped into the folder, both with --jobs 2, in interleaved rounds: the wall time
//   until the last PDF, and their ratio.
//
//   bench_lanes [files...] [--rounds N] [--only burst|mixed|lone|http]   (default 200 and 500 files, 3 rounds)
//   bench_lanes FILES --profile-jobs N    one burst of FILES with N lanes and nothing else, for a
//                                         profiler to wrap (perf record -g -- bench_lanes 500 --profile-jobs 2)
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Small files of every kind the burst mixes: PostScript and EPS through the Distiller,
// images through the image converter.
const std::vector<std::string> kSamples = {
    "ps/alphabet.ps",  "ps/snowflak.ps",    "ps/colorcir.ps", "eps/golfer.eps",
    "eps/ridt91.eps",  "jpg/flower.jpg",    "png/basn2c16.png", "png/basn6a16.png",
    "gif/hopper.gif",  "bmp/hopper.bmp",    "tif/hopper_lzw.tif", "rle/hopper_rle8.rle",
};

// 200 pages of text and filled shapes: a job that keeps one lane busy for a while.
const char* kLongJob =
    "%!PS\n/Helvetica findfont 9 scalefont setfont\n"
    "1 1 200 { /page exch def\n"
    "  0 1 70 { /line exch def 36 770 line 10 mul sub moveto (Page ) show page 10 string cvs show\n"
    "    ( line ) show line 10 string cvs show ( the quick brown fox jumps over the lazy dog) show } for\n"
    "  0 1 1500 { /k exch def k 7 mul 500 mod 40 add k 13 mul 700 mod 40 add moveto k 3 mul 100 mod 20 add 0\n"
    "    rlineto 0 k 5 mul 60 mod 5 add rlineto closepath k 1500 div setgray fill } for\n"
    "  showpage } for\n";

pid_t spawn(const std::vector<std::string>& arguments, const std::string& log) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int code = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (code != 0) throw std::runtime_error("cannot start " + arguments[0]);
  return pid;
}

int waitFor(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::size_t filesIn(const fs::path& folder, const std::string& extension = "") {
  std::size_t count = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.is_regular_file() && (extension.empty() || entry.path().extension() == extension)) ++count;
  }
  return count;
}

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::string loadAverage() {
  std::ifstream file("/proc/loadavg");
  std::string one, five, fifteen;
  file >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

// A scratch world after set-up: its folders, the environment pointing at them.
fs::path makeWorld(const fs::path& scratch, const std::string& name) {
  const fs::path world = scratch / name;
  // Each world starts from nothing: no PDFs of an earlier round to number around.
  fs::remove_all(world);
  for (const char* folder : {"home", "config", "data", "xdg", "runtime", "machine", "in", "out", "staged"}) {
    fs::create_directories(world / folder);
  }
  fs::permissions(world / "runtime", fs::perms::owner_all);
  setenv("HOME", (world / "home").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (world / "config").c_str(), 1);
  setenv("XDG_DATA_HOME", (world / "data").c_str(), 1);
  setenv("XDG_CONFIG_DIRS", (world / "xdg").c_str(), 1);
  setenv("XDG_RUNTIME_DIR", (world / "runtime").c_str(), 1);
  setenv("VELLUMDOCK_MACHINE_DIR", (world / "machine").c_str(), 1);
  if (waitFor(spawn({std::string(VD_BUILD_PROGRAM_DIR) + "/vellumdk-setup"}, (world / "setup.log").string())) != 0) {
    throw std::runtime_error("vellumdk-setup failed; see " + (world / "setup.log").string());
  }
  return world;
}

pid_t startDaemon(const fs::path& world, int jobs, int interval, const std::vector<std::string>& more = {}) {
  std::vector<std::string> arguments = {std::string(VD_BUILD_PROGRAM_DIR) + "/vellumdkd", "--jobs", std::to_string(jobs),
                                        "--input", (world / "in").string(), "--output", (world / "out").string(),
                                        "--interval", std::to_string(interval), "--no-overwrite", "--no-security"};
  arguments.insert(arguments.end(), more.begin(), more.end());
  return spawn(arguments, (world / "daemon.log").string());
}

void stopDaemon(pid_t daemon) {
  kill(daemon, SIGTERM);
  waitFor(daemon);
}

// Waits until the daemon has written its start-up line (its folder claimed) or ended.
void waitUntilScanning(const fs::path& world, pid_t daemon) {
  const auto bound = Clock::now() + std::chrono::minutes(2);
  while (Clock::now() < bound) {
    std::ifstream log(world / "daemon.log");
    std::string first;
    if (std::getline(log, first) && first.find("scanning") != std::string::npos) return;
    int status = 0;
    if (waitpid(daemon, &status, WNOHANG) == daemon) throw std::runtime_error("vellumdkd ended early");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  throw std::runtime_error("vellumdkd did not start scanning");
}

// Copies of the samples, settled (a minute old) beside the input folder, to be moved in.
std::vector<fs::path> stageSmallFiles(const fs::path& world, std::size_t files) {
  const auto settled = fs::file_time_type::clock::now() - std::chrono::seconds(60);
  std::vector<fs::path> staged;
  for (std::size_t i = 0; i < files; ++i) {
    const fs::path sample = fs::path(VD_CORPUS_DIR) / kSamples[i % kSamples.size()];
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "burst-%03zu-", i);
    const fs::path copy = world / "staged" / (prefix + sample.filename().string());
    fs::copy_file(sample, copy, fs::copy_options::overwrite_existing);
    fs::last_write_time(copy, settled);
    staged.push_back(copy);
  }
  return staged;
}

struct BurstResult {
  double seconds = 0;
  std::size_t pdfs = 0;
  std::size_t failed = 0;
  std::size_t left = 0;
  bool finished = false;
  // Seconds from the drop to each PDF, by the PDF's name.
  std::map<std::string, double> latency;
};

// Watches the folders until the input folder is empty: when each PDF appeared.
BurstResult watchBurst(const fs::path& world, pid_t daemon, Clock::time_point dropped) {
  BurstResult result;
  // The bound only keeps a broken build from running forever.
  const auto bound = dropped + std::chrono::minutes(30);
  while (Clock::now() < bound) {
    for (const auto& entry : fs::directory_iterator(world / "out")) {
      const std::string name = entry.path().filename().string();
      if (entry.path().extension() == ".pdf" && name.front() != '.' && result.latency.count(name) == 0) {
        result.latency[name] = secondsSince(dropped);
      }
    }
    if (filesIn(world / "in") == 0) {
      result.finished = true;
      break;
    }
    int status = 0;
    if (waitpid(daemon, &status, WNOHANG) == daemon) throw std::runtime_error("vellumdkd ended early");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  result.seconds = secondsSince(dropped);
  return result;
}

void count(const fs::path& world, BurstResult& result) {
  result.pdfs = filesIn(world / "out", ".pdf");
  result.left = filesIn(world / "in");
  if (fs::exists(world / "in" / "failed")) result.failed = filesIn(world / "in" / "failed") / 2;
}

// The burst of small files, present when the daemon starts: from its start to an empty folder.
BurstResult runBurst(const fs::path& scratch, int jobs, std::size_t files) {
  const fs::path world = makeWorld(scratch, "burst-jobs" + std::to_string(jobs));
  for (const fs::path& copy : stageSmallFiles(world, files)) fs::rename(copy, world / "in" / copy.filename());
  const auto started = Clock::now();
  const pid_t daemon = startDaemon(world, jobs, 1);
  BurstResult result = watchBurst(world, daemon, started);
  stopDaemon(daemon);
  count(world, result);
  return result;
}

// The mixed burst, dropped into a running daemon: the long job first, then the small files.
BurstResult runMixedBurst(const fs::path& scratch, int jobs, std::size_t smallFiles, int round) {
  const fs::path world = makeWorld(scratch, "mixed-" + std::to_string(round) + "-jobs" + std::to_string(jobs));
  const std::vector<fs::path> staged = stageSmallFiles(world, smallFiles);
  const fs::path longJob = world / "staged" / "long-200-pages.ps";
  std::ofstream(longJob) << kLongJob;
  fs::last_write_time(longJob, fs::file_time_type::clock::now() - std::chrono::seconds(60));
  const pid_t daemon = startDaemon(world, jobs, 1);
  waitUntilScanning(world, daemon);
  const auto dropped = Clock::now();
  fs::rename(longJob, world / "in" / longJob.filename());
  for (const fs::path& copy : staged) fs::rename(copy, world / "in" / copy.filename());
  BurstResult result = watchBurst(world, daemon, dropped);
  stopDaemon(daemon);
  count(world, result);
  return result;
}

struct LoneResult {
  std::vector<double> latencies;
  std::size_t missing = 0;
};

// One small file at a time, written into the folder the way a copy does, at moments spread
// over the interval.
LoneResult runLoneDrops(const fs::path& scratch, int drops, int interval) {
  const fs::path world = makeWorld(scratch, "lone");
  const pid_t daemon = startDaemon(world, 2, interval);
  waitUntilScanning(world, daemon);
  LoneResult result;
  const std::string sample = fs::path(VD_CORPUS_DIR) / "png/basn2c16.png";
  for (int drop = 0; drop < drops; ++drop) {
    // Not in step with the interval: each drop comes at another moment of it.
    std::this_thread::sleep_for(std::chrono::milliseconds(300 + (drop * 1370) % (interval * 1000)));
    const std::string name = "lone-" + std::to_string(drop);
    const fs::path pdf = world / "out" / (name + ".pdf");
    const auto dropped = Clock::now();
    fs::copy_file(sample, world / "in" / (name + ".png"));
    const auto bound = dropped + std::chrono::seconds(interval + 60);
    while (!fs::exists(pdf) && Clock::now() < bound) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (fs::exists(pdf)) {
      result.latencies.push_back(secondsSince(dropped));
    } else {
      ++result.missing;
    }
  }
  stopDaemon(daemon);
  return result;
}

int benchBurst(const fs::path& scratch, const std::vector<std::size_t>& sizes, int rounds) {
  constexpr double kTarget = 0.55;
  int status = 0;
  for (const std::size_t files : sizes) {
    std::printf(
        "\nburst of %zu files (%zu kinds, images and PostScript) present at start, %d interleaved rounds, "
        "load %s\n",
        files, kSamples.size(), rounds, loadAverage().c_str());
    std::map<int, std::vector<double>> seconds;
    for (int round = 0; round < rounds; ++round) {
      for (const int jobs : round % 2 == 0 ? std::vector<int>{1, 2} : std::vector<int>{2, 1}) {
        const BurstResult result = runBurst(scratch, jobs, files);
        std::vector<double> made;
        for (const auto& [name, seconds] : result.latency) made.push_back(seconds);
        std::sort(made.begin(), made.end());
        std::printf(
            "round %d --jobs %d: %zu PDFs, %zu failed, %zu left, %.1f s%s; the first PDF at %.2f s, the median "
            "one at %.2f s (load now %s)\n",
            round + 1, jobs, result.pdfs, result.failed, result.left, result.seconds,
            result.finished ? "" : " (did not finish)", made.empty() ? 0.0 : made.front(), median(made),
            loadAverage().c_str());
        std::fflush(stdout);
        if (result.pdfs != files || result.failed != 0 || result.left != 0) status = 1;
        seconds[jobs].push_back(result.seconds);
      }
    }
    const double ratio = median(seconds[2]) / median(seconds[1]);
    const bool met = ratio <= kTarget;
    std::printf("%zu files: median --jobs 1 %.1f s, --jobs 2 %.1f s, ratio %.2f (target <= %.2f: %s)\n", files,
                median(seconds[1]), median(seconds[2]), ratio, kTarget, met ? "met" : "NOT met");
    if (!met) status = 1;
  }
  return status;
}

int benchMixedBurst(const fs::path& scratch, int rounds) {
  const std::size_t smallFiles = 300;
  int status = 0;
  std::printf("\nmixed burst: one 200-page PostScript file among %zu small files, dropped at once into a running\n"
              "daemon; %d interleaved rounds, load %s\n", smallFiles, rounds, loadAverage().c_str());
  std::map<int, std::vector<double>> walls;
  std::map<int, std::vector<double>> medians;
  for (int round = 0; round < rounds; ++round) {
    // The order turns from round to round, so a load that changes favours neither.
    for (const int jobs : round % 2 == 0 ? std::vector<int>{1, 2} : std::vector<int>{2, 1}) {
      const BurstResult result = runMixedBurst(scratch, jobs, smallFiles, round);
      std::vector<double> small;
      double longJob = 0;
      for (const auto& [name, seconds] : result.latency) {
        if (name.rfind("long-", 0) == 0) {
          longJob = seconds;
        } else {
          small.push_back(seconds);
        }
      }
      walls[jobs].push_back(result.seconds);
      medians[jobs].push_back(median(small));
      std::printf("round %d --jobs %d: %zu PDFs, %zu failed, %zu left, wall %.1f s, small files' latency median "
                  "%.2f s (max %.2f), long job's PDF at %.1f s (load %s)\n",
                  round + 1, jobs, result.pdfs, result.failed, result.left, result.seconds, median(small),
                  small.empty() ? 0.0 : *std::max_element(small.begin(), small.end()), longJob, loadAverage().c_str());
      if (result.pdfs != smallFiles + 1 || result.failed != 0 || result.left != 0) status = 1;
    }
  }
  const double ratio = median(walls[2]) / median(walls[1]);
  std::printf("median wall: --jobs 1 %.1f s, --jobs 2 %.1f s; ratio %.2f (target <= 0.60: %s)\n", median(walls[1]),
              median(walls[2]), ratio, ratio <= 0.6 ? "met" : "NOT met");
  std::printf("small files' median latency with --jobs 2: %.2f s (target < 2 s: %s); with --jobs 1: %.2f s\n",
              median(medians[2]), median(medians[2]) < 2 ? "met" : "NOT met", median(medians[1]));
  if (ratio > 0.6 || median(medians[2]) >= 2) status = 1;
  return status;
}

int benchLoneDrops(const fs::path& scratch) {
  const int drops = 20;
  const int interval = 5;
  std::printf("\nlone drops: one small PNG written into the folder %d times, interval %d s, --jobs 2, load %s\n",
              drops, interval, loadAverage().c_str());
  const LoneResult result = runLoneDrops(scratch, drops, interval);
  const auto [least, most] = std::minmax_element(result.latencies.begin(), result.latencies.end());
  std::printf("drop to PDF: median %.2f s (min %.2f, max %.2f), %zu never came (load now %s)\n",
              median(result.latencies), result.latencies.empty() ? 0.0 : *least,
              result.latencies.empty() ? 0.0 : *most, result.missing, loadAverage().c_str());
  return result.missing == 0 ? 0 : 1;
}

// The port a daemon started with --listen 127.0.0.1:0 announced in its log.
int listeningPort(const fs::path& world, pid_t daemon) {
  const std::string announced = "listening on http://127.0.0.1:";
  const auto bound = Clock::now() + std::chrono::minutes(2);
  while (Clock::now() < bound) {
    std::ifstream log(world / "daemon.log");
    for (std::string line; std::getline(log, line);) {
      if (const std::size_t at = line.find(announced); at != std::string::npos) {
        return std::atoi(line.c_str() + at + announced.size());
      }
    }
    int status = 0;
    if (waitpid(daemon, &status, WNOHANG) == daemon) throw std::runtime_error("vellumdkd ended early");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  throw std::runtime_error("vellumdkd did not announce its address");
}

struct HttpRound {
  double seconds = 0;
  std::size_t pdfs = 0;
  std::size_t refused = 0;
};

// The files sent to POST /convert by `clients` clients at once, each taking the next file
// when its answer has come: from the first request to the last PDF received.
HttpRound runHttpRound(const fs::path& scratch, std::size_t files, int clients, int round) {
  const fs::path world = makeWorld(scratch, "http-" + std::to_string(round));
  std::vector<std::pair<std::string, std::string>> documents;
  for (const fs::path& copy : stageSmallFiles(world, files)) {
    std::ifstream file(copy, std::ios::binary);
    documents.emplace_back(copy.filename().string(), std::string(std::istreambuf_iterator<char>(file), {}));
  }
  const pid_t daemon = startDaemon(world, 2, 1, {"--listen", "127.0.0.1:0"});
  const int port = listeningPort(world, daemon);
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> pdfs{0};
  std::atomic<std::size_t> refused{0};
  const auto started = Clock::now();
  std::vector<std::thread> senders;
  for (int client = 0; client < clients; ++client) {
    senders.emplace_back([&] {
      httplib::Client http("127.0.0.1", port);
      http.set_read_timeout(600, 0);
      for (std::size_t i = next++; i < documents.size(); i = next++) {
        const auto& [name, bytes] = documents[i];
        const httplib::Result answer = http.Post(("/convert?name=" + name).c_str(), bytes, "application/octet-stream");
        if (answer && answer->status == 200 && answer->body.rfind("%PDF", 0) == 0) {
          ++pdfs;
        } else {
          ++refused;
        }
      }
    });
  }
  for (std::thread& sender : senders) sender.join();
  HttpRound result{secondsSince(started), pdfs.load(), refused.load()};
  stopDaemon(daemon);
  return result;
}

// The same files dropped at once into the folder of a running daemon: from the drop to an
// empty folder.
BurstResult runDropRound(const fs::path& scratch, std::size_t files, int round) {
  const fs::path world = makeWorld(scratch, "drop-" + std::to_string(round));
  const std::vector<fs::path> staged = stageSmallFiles(world, files);
  const pid_t daemon = startDaemon(world, 2, 1);
  waitUntilScanning(world, daemon);
  const auto dropped = Clock::now();
  for (const fs::path& copy : staged) fs::rename(copy, world / "in" / copy.filename());
  BurstResult result = watchBurst(world, daemon, dropped);
  stopDaemon(daemon);
  count(world, result);
  return result;
}

int benchHttp(const fs::path& scratch, int rounds) {
  const std::size_t files = 200;
  const int clients = 4;
  int status = 0;
  std::printf("\nover HTTP: %zu small files sent to POST /convert by %d clients at once, against the same files\n"
              "dropped into the folder; --jobs 2, %d interleaved rounds, load %s\n",
              files, clients, rounds, loadAverage().c_str());
  std::vector<double> sent;
  std::vector<double> dropped;
  for (int round = 0; round < rounds; ++round) {
    for (const bool http : round % 2 == 0 ? std::vector<bool>{true, false} : std::vector<bool>{false, true}) {
      if (http) {
        const HttpRound result = runHttpRound(scratch, files, clients, round);
        sent.push_back(result.seconds);
        std::printf("round %d POST /convert: %zu PDFs, %zu refused or failed, wall %.1f s (load %s)\n", round + 1,
                    result.pdfs, result.refused, result.seconds, loadAverage().c_str());
        if (result.pdfs != files) status = 1;
      } else {
        const BurstResult result = runDropRound(scratch, files, round);
        dropped.push_back(result.seconds);
        std::printf("round %d dropped: %zu PDFs, %zu failed, %zu left, wall %.1f s (load %s)\n", round + 1,
                    result.pdfs, result.failed, result.left, result.seconds, loadAverage().c_str());
        if (result.pdfs != files || result.failed != 0 || result.left != 0) status = 1;
      }
    }
  }
  std::printf("median wall: POST /convert %.1f s, dropped %.1f s; ratio %.2f\n", median(sent), median(dropped),
              median(sent) / median(dropped));
  return status;
}

}  // namespace

// One burst, to be profiled: the profile then holds nothing of the other lane count's run.
int profileBurst(const fs::path& scratch, std::size_t files, int jobs) {
  std::printf("burst of %zu files with --jobs %d, load %s\n", files, jobs, loadAverage().c_str());
  const BurstResult result = runBurst(scratch, jobs, files);
  std::printf("%zu PDFs, %zu failed, %zu left, %.1f s%s (load now %s)\n", result.pdfs, result.failed, result.left,
              result.seconds, result.finished ? "" : " (did not finish)", loadAverage().c_str());
  return result.pdfs == files && result.failed == 0 && result.left == 0 ? 0 : 1;
}

int main(int argc, char** argv) {
  std::vector<std::size_t> sizes;
  int rounds = 3;
  int profileJobs = 0;
  std::string only;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--rounds" && i + 1 < argc) {
      rounds = std::max(1, std::atoi(argv[++i]));
    } else if (argument == "--only" && i + 1 < argc) {
      only = argv[++i];
    } else if (argument == "--profile-jobs" && i + 1 < argc) {
      profileJobs = std::max(1, std::atoi(argv[++i]));
    } else {
      sizes.push_back(static_cast<std::size_t>(std::stoul(argument)));
    }
  }
  if (sizes.empty()) sizes = {200, 500};
  char pattern[] = "/tmp/vellumdock-bench-lanes-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  const fs::path scratch = pattern;
  int status = 0;
  try {
    std::printf("vellumdkd, %u cores\n", std::thread::hardware_concurrency());
    if (profileJobs > 0) {
      status = profileBurst(scratch, sizes.front(), profileJobs);
      fs::remove_all(scratch);
      return status;
    }
    if (only.empty() || only == "burst") status |= benchBurst(scratch, sizes, rounds);
    if (only.empty() || only == "mixed") status |= benchMixedBurst(scratch, rounds);
    if (only.empty() || only == "lone") status |= benchLoneDrops(scratch);
    if (only.empty() || only == "http") status |= benchHttp(scratch, rounds);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench_lanes: %s\n", error.what());
    status = 1;
  }
  std::error_code ignored;
  fs::remove_all(scratch, ignored);
  return status;
}
