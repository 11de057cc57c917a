#include "outside/worker/WorkerSpawn.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <poll.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "outside/worker/WorkerProtocol.h"

extern char** environ;

namespace vd::worker {
namespace {

// Kills a process that is no group leader and reaps it (it may have ended already: its id
// stays its own until it is reaped); returns its wait status.
int killAndReap(pid_t pid) {
  int status = 0;
  ::kill(pid, SIGKILL);
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

}  // namespace

bool startWorkerProcess(const std::string& program, char* const* envp, const std::vector<std::string>& arguments,
                        StartedWorker& started, WorkerStartFailure& failure) {
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
    failure = WorkerStartFailure{errno, true};
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // dup2 onto the worker's descriptor clears close-on-exec, so only the worker's end
  // crosses exec.
  posix_spawn_file_actions_adddup2(&actions, ends[1], kWorkerSocketFd);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  // Nothing else of ours reaches the worker, whoever opened it without close-on-exec.
  posix_spawn_file_actions_addclosefrom_np(&actions, kWorkerSocketFd + 1);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setpgroup(&attributes, 0);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (const int signal : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGCHLD}) sigaddset(&defaults, signal);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  const std::string client = "--client=" + std::to_string(getpid());
  std::vector<char*> argv{const_cast<char*>(program.c_str()), const_cast<char*>(client.c_str())};
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int code =
      posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), envp != nullptr ? envp : environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  close(ends[1]);
  if (code != 0) {
    close(ends[0]);
    failure = WorkerStartFailure{code, false};
    return false;
  }
  started = StartedWorker{pid, ends[0]};
  return true;
}

bool hasEnded(pid_t pid) {
  siginfo_t info{};
  return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid;
}

int killWorkerGroup(pid_t pid) {
  int status = 0;
  ::kill(-pid, SIGKILL);
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

std::string confinementProblem(const std::string& program) {
  int answer[2];
  if (pipe2(answer, O_CLOEXEC) != 0) return std::string("cannot ask ") + program + ": " + std::strerror(errno);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, answer[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(kProbeOption), nullptr};
  pid_t pid = 0;
  const int code = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(answer[1]);
  if (code != 0) {
    close(answer[0]);
    return "cannot run " + program + ": " + std::strerror(code);
  }
  // Trying takes moments; a probe that hangs is not waited for.
  std::string said;
  char buffer[512];
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd waitFor{answer[0], POLLIN, 0};
    if (left.count() <= 0 || ::poll(&waitFor, 1, static_cast<int>(left.count())) <= 0) break;
    const ssize_t n = read(answer[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || said.size() > 4096) break;
    said.append(buffer, static_cast<std::size_t>(n));
  }
  close(answer[0]);
  const int status = killAndReap(pid);
  while (!said.empty() && (said.back() == '\n' || said.back() == '\r')) said.pop_back();
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0 && said == "confined") return "";
  return said.empty() ? program + " did not say whether it can be confined" : said;
}

}  // namespace vd::worker

