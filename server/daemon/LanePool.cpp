#include "server/daemon/LanePool.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "server/lane/LaneReports.h"

extern char** environ;

namespace vd::daemon {
namespace {

// How long an idle lane told to end may take before it is killed.
constexpr int kEndingGraceMilliseconds = 2000;

bool hasEnded(pid_t pid) {
  siginfo_t info{};
  return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid;
}

std::string endingOf(int status) {
  if (WIFSIGNALED(status)) return " (signal " + std::to_string(WTERMSIG(status)) + ")";
  if (WIFEXITED(status)) return " (exit code " + std::to_string(WEXITSTATUS(status)) + ")";
  return "";
}

}  // namespace

LanePool::LanePool(std::size_t count, std::string program) : program_(std::move(program)), lanes_(count) {}

LanePool::~LanePool() {
  // Closing its socket tells an idle lane to end; its engine then ends its own workers.
  for (Lane& lane : lanes_) {
    if (lane.pid == 0) continue;
    close(lane.socket);
    lane.socket = -1;
  }
  for (int waited = 0; waited < kEndingGraceMilliseconds; waited += 10) {
    if (std::all_of(lanes_.begin(), lanes_.end(), [](const Lane& lane) { return lane.pid == 0 || hasEnded(lane.pid); })) {
      break;
    }
    usleep(10000);
  }
  abandon();
}

bool LanePool::spawn(Lane& lane, std::string& why) {
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
    why = "Cannot create the socket to a conversion lane: " + std::string(std::strerror(errno)) + ".";
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // dup2 onto the worker's descriptor clears close-on-exec: only the lane's end crosses.
  posix_spawn_file_actions_adddup2(&actions, ends[1], worker::kWorkerSocketFd);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclosefrom_np(&actions, worker::kWorkerSocketFd + 1);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setpgroup(&attributes, 0);
  // The daemon's stop handlers are not the lane's: it starts with the default handling.
  sigset_t defaults;
  sigemptyset(&defaults);
  for (const int signal : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGCHLD}) sigaddset(&defaults, signal);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  const std::string client = "--client=" + std::to_string(getpid());
  char* argv[] = {const_cast<char*>(program_.c_str()), const_cast<char*>(client.c_str()), nullptr};
  pid_t pid = 0;
  const int code = posix_spawn(&pid, program_.c_str(), &actions, &attributes, argv, environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  close(ends[1]);
  if (code != 0) {
    close(ends[0]);
    why = "Cannot start the conversion lane " + program_ + ": " + std::strerror(code) + ".";
    return false;
  }
  lane.pid = pid;
  lane.socket = ends[0];
  lane.decoder = worker::FrameDecoder();
  return true;
}

int LanePool::kill(Lane& lane) {
  int status = 0;
  if (lane.pid == 0) return status;
  ::kill(-lane.pid, SIGKILL);
  while (waitpid(lane.pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (lane.socket >= 0) close(lane.socket);
  lane.socket = -1;
  lane.pid = 0;
  lane.busy = false;
  return status;
}

void LanePool::abandon() {
  for (Lane& lane : lanes_) kill(lane);
}

std::vector<pid_t> LanePool::pids() const {
  std::vector<pid_t> pids;
  for (const Lane& lane : lanes_) {
    if (lane.pid != 0) pids.push_back(lane.pid);
  }
  return pids;
}

std::optional<std::string> LanePool::start(std::size_t index, const LaneJob& job) {
  Lane& lane = lanes_.at(index);
  if (lane.busy) throw std::logic_error("a conversion lane was given a second job");
  // A warm lane that ended while idle is replaced before it is given the file.
  if (lane.pid != 0 && hasEnded(lane.pid)) kill(lane);
  std::string why;
  if (lane.pid == 0 && !spawn(lane, why)) return why;
  const std::vector<std::string> texts{job.out, job.in, job.ext, job.security ? "1" : "0", job.inputDir};
  lane.busy = true;
  lane.failure.clear();
  // A lane that cannot be written to is found out as dead by the next wait.
  worker::sendAll(lane.socket, worker::encodeFrame(worker::kJobFrame, worker::packTexts(texts)));
  return std::nullopt;
}

LaneFinished LanePool::died(std::size_t index) {
  const int status = kill(lanes_[index]);
  return LaneFinished{index, "The conversion lane stopped unexpectedly" + endingOf(status) +
                                 "; the file may have made it run out of memory or be damaged."};
}

std::optional<LaneFinished> LanePool::takeFrames(std::size_t index,
                                                 const std::function<void(std::size_t, const std::string&)>& onLine) {
  Lane& lane = lanes_[index];
  try {
    while (const std::optional<worker::Frame> frame = lane.decoder.next()) {
      switch (frame->type) {
        case worker::kLineFrame:
          if (onLine) onLine(index, frame->payload);
          break;
        case lane::kFailureReport:
          lane.failure = frame->payload;
          break;
        case worker::kEndFrame: {
          lane.busy = false;
          if (frame->payload == "0") return LaneFinished{index, std::nullopt};
          if (lane.failure.empty()) lane.failure = "The conversion failed in its lane (code " + frame->payload + ").";
          return LaneFinished{index, lane.failure};
        }
        default:
          break;
      }
    }
  } catch (const std::exception&) {
    return died(index);
  }
  return std::nullopt;
}

std::optional<LaneFinished> LanePool::wait(int milliseconds,
                                           const std::function<void(std::size_t, const std::string&)>& onLine) {
  // Frames already read come first: poll would not wake for them.
  for (std::size_t index = 0; index < lanes_.size(); ++index) {
    if (!lanes_[index].busy) continue;
    if (std::optional<LaneFinished> finished = takeFrames(index, onLine)) return finished;
  }
  std::vector<pollfd> watched;
  std::vector<std::size_t> watchedLanes;
  for (std::size_t index = 0; index < lanes_.size(); ++index) {
    if (!lanes_[index].busy) continue;
    watched.push_back(pollfd{lanes_[index].socket, POLLIN, 0});
    watchedLanes.push_back(index);
  }
  if (watched.empty()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    return std::nullopt;
  }
  // A signal cuts the wait short; the caller looks at its events and waits again.
  if (::poll(watched.data(), watched.size(), milliseconds) <= 0) return std::nullopt;
  char buffer[65536];
  for (std::size_t k = 0; k < watched.size(); ++k) {
    if (watched[k].revents == 0) continue;
    const std::size_t index = watchedLanes[k];
    const ssize_t n = read(lanes_[index].socket, buffer, sizeof buffer);
    if (n > 0) {
      lanes_[index].decoder.append(buffer, static_cast<std::size_t>(n));
      if (std::optional<LaneFinished> finished = takeFrames(index, onLine)) return finished;
    } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
      return died(index);
    }
  }
  return std::nullopt;
}

std::size_t DefaultLaneCount() {
  cpu_set_t cpus;
  CPU_ZERO(&cpus);
  long cores = sched_getaffinity(0, sizeof cpus, &cpus) == 0 ? CPU_COUNT(&cpus) : sysconf(_SC_NPROCESSORS_ONLN);
  if (cores < 1) cores = 1;
  long long availableKiB = -1;
  std::ifstream meminfo("/proc/meminfo");
  for (std::string key; meminfo >> key;) {
    long long value = 0;
    meminfo >> value;
    if (key == "MemAvailable:") {
      availableKiB = value;
      break;
    }
    meminfo.ignore(256, '\n');
  }
  long long lanes = cores;
  if (availableKiB >= 0) lanes = std::min(lanes, availableKiB / (1024LL * 1024LL));
  return static_cast<std::size_t>(std::max(1LL, lanes));
}

}  // namespace vd::daemon
