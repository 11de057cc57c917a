// Starting and ending a worker program's process, for whatever keeps workers (the worker
// client, the daemon's conversion lanes). A worker
//   - runs in a process group of its own, so a terminal's Ctrl-C reaches only its client
//     and a kill of the group takes whatever the worker started with it;
//   - starts with the default handling of the stop signals, SIGPIPE and SIGCHLD, and
//     nothing blocked, whatever its client ignores or blocks;
//   - is given no descriptor of its client's but its socket (kWorkerSocketFd) and
//     /dev/null as its standard streams;
//   - is told its client's process id ("--client=PID").
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace vd::worker {

struct StartedWorker {
  pid_t pid = 0;
  // The client's end of the worker's socket.
  int socket = -1;
};

// Why a worker did not start: the errno, and whether it was its socket that could not be
// made (rather than the program that could not be started).
struct WorkerStartFailure {
  int error = 0;
  bool atSocket = false;
};

// Starts program with the environment envp (ours when null) and the arguments given after
// "--client=PID". False, with the reason in failure, when it did not start; nothing is left
// open then.
bool startWorkerProcess(const std::string& program, char* const* envp, const std::vector<std::string>& arguments,
                        StartedWorker& started, WorkerStartFailure& failure);

// Asks a worker program that confines itself whether the kernel can confine it
// (kProbeOption): "" when it can, else why not, as a sentence without its full stop.
std::string confinementProblem(const std::string& program);

// True when the process has ended; it stays unreaped, so its id (and the id of its
// process group) cannot be taken by another process meanwhile.
bool hasEnded(pid_t pid);

// Kills the worker's process group and reaps the worker; returns its wait status.
int killWorkerGroup(pid_t pid);

}  // namespace vd::worker
