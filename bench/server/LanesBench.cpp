// Bursts of small files (images and PostScript, copied from the sample files to as many
// names) dropped at once into the input folder of vellumdkd, run with --jobs 1 and with
// --jobs 2, each in a scratch world of its own: the PDFs it made (all of them, none lost)
// and the burst's wall time, from the daemon's start until the input folder is empty. The
// two runs of a size take turns over the rounds (1 then 2, 2 then 1, ...), so a noisy
// neighbour touches both alike; the ratio of their medians is held against 0.55 on a
// two-core machine.
//
//   bench_lanes [files...] [--rounds N]     (default 200 and 500 files, 2 rounds)
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <algorithm>
#include <map>
#include <optional>
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

struct BurstResult {
  double seconds = 0;
  std::size_t pdfs = 0;
  std::size_t failed = 0;
  std::size_t left = 0;
  bool finished = false;
};

BurstResult runBurst(const fs::path& scratch, int jobs, std::size_t files) {
  const fs::path world = scratch / ("jobs" + std::to_string(jobs));
  // Each burst starts from nothing: no PDFs of an earlier round to number around.
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
  // Copied and settled beside the input folder first, then moved in at once: the burst.
  const auto settled = fs::file_time_type::clock::now() - std::chrono::seconds(30);
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
  for (const fs::path& copy : staged) fs::rename(copy, world / "in" / copy.filename());

  const auto started = Clock::now();
  const pid_t daemon = spawn({std::string(VD_BUILD_PROGRAM_DIR) + "/vellumdkd", "--jobs", std::to_string(jobs),
                              "--input", (world / "in").string(), "--output", (world / "out").string(), "--interval",
                              "1", "--no-overwrite", "--no-security"},
                             (world / "daemon.log").string());
  BurstResult result;
  // The bound only keeps a broken build from running forever.
  const auto bound = started + std::chrono::minutes(30);
  while (Clock::now() < bound) {
    if (filesIn(world / "in") == 0) {
      result.finished = true;
      break;
    }
    int status = 0;
    if (waitpid(daemon, &status, WNOHANG) == daemon) throw std::runtime_error("vellumdkd ended early");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  result.seconds = std::chrono::duration<double>(Clock::now() - started).count();
  kill(daemon, SIGTERM);
  waitFor(daemon);
  result.pdfs = filesIn(world / "out", ".pdf");
  result.left = filesIn(world / "in");
  if (fs::exists(world / "in" / "failed")) result.failed = filesIn(world / "in" / "failed") / 2;
  return result;
}

std::string loadAverage() {
  std::ifstream file("/proc/loadavg");
  std::string one, five, fifteen;
  file >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::size_t> sizes;
  int rounds = 2;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--rounds" && i + 1 < argc) {
      rounds = std::max(1, std::stoi(argv[++i]));
    } else {
      sizes.push_back(static_cast<std::size_t>(std::stoul(argument)));
    }
  }
  if (sizes.empty()) sizes = {200, 500};
  constexpr double kTarget = 0.55;
  char pattern[] = "/tmp/vellumdock-bench-lanes-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  const fs::path scratch = pattern;
  int status = 0;
  try {
    for (const std::size_t files : sizes) {
      std::printf("burst of %zu files (%zu kinds, images and PostScript), %u cores, %d rounds, load at start %s\n", files,
                  kSamples.size(), std::thread::hardware_concurrency(), rounds, loadAverage().c_str());
      std::map<int, std::vector<double>> seconds;
      for (int round = 0; round < rounds; ++round) {
        const std::vector<int> order = round % 2 == 0 ? std::vector<int>{1, 2} : std::vector<int>{2, 1};
        for (const int jobs : order) {
          const BurstResult result = runBurst(scratch, jobs, files);
          std::printf("  round %d --jobs %d: %zu PDFs, %zu failed, %zu left, %.1f s%s (load now %s)\n", round + 1, jobs,
                      result.pdfs, result.failed, result.left, result.seconds, result.finished ? "" : " (did not finish)",
                      loadAverage().c_str());
          std::fflush(stdout);
          if (result.pdfs != files || result.failed != 0 || result.left != 0) status = 1;
          seconds[jobs].push_back(result.seconds);
        }
      }
      const double ratio = median(seconds[2]) / median(seconds[1]);
      const bool met = ratio <= kTarget;
      std::printf("%zu files: median --jobs 1 %.1f s, --jobs 2 %.1f s, ratio %.2f (target <= %.2f: %s)\n\n", files,
                  median(seconds[1]), median(seconds[2]), ratio, kTarget, met ? "met" : "NOT met");
      if (!met) status = 1;
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench_lanes: %s\n", error.what());
    status = 1;
  }
  std::error_code ignored;
  fs::remove_all(scratch, ignored);
  return status;
}
