#include "outside/worker/WorkerSpawn.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "outside/worker/WorkerProtocol.h"

extern char** environ;

namespace vd::worker {

bool startWorkerProcess(const std::string& program, char* const* envp, StartedWorker& started,
                        WorkerStartFailure& failure) {
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
  char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(client.c_str()), nullptr};
  pid_t pid = 0;
  const int code = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv, envp != nullptr ? envp : environ);
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

}  // namespace vd::worker
