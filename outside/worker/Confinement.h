// Kernel confinement of a worker program and of everything it starts, for workers that run
// an interpreter of untrusted documents (outside/worker/WorkerMain.h, serveConfinedJobs).
// A confined worker
//   - reads the system's program, library, font and configuration trees (only the parts of
//     /etc an interpreter needs: never /etc/shadow or a host key), the user's own font
//     folders, /proc and the few devices every program opens;
//   - reads its jobs' inputs (the "in" part of its client's folder) and reads and writes only
//     its work folder (the "work" part), where it executes nothing;
//   - sees a /tmp of its own: an empty private file system, with its client's folder in it
//     when that folder lies under /tmp;
//   - has a network of its own with no interface up, and no TCP port to connect or bind;
//   - cannot signal or connect to abstract sockets of processes outside its confinement, nor
//     trace them (Landlock's scopes and ptrace rule);
//   - keeps no capability, even when it runs as root, and gains none from a program it runs.
// Landlock through its system calls makes the file and TCP rules, a user, mount and network
// namespace of the worker's own the private /tmp and network. What these leave open is
// closed by a system-call filter: a worker that needs no socket cannot make one, and a
// program started with startWithoutConnections cannot connect any socket (a Unix socket is
// reached by its path, which the file rules do not cover).
//
// All or nothing: when the kernel lacks a part (Landlock, namespaces, the filter) the worker
// is not confined and says why; VELLUMDOCK_REQUIRE_CONFINEMENT=1 then refuses its jobs.
// VELLUMDOCK_SIMULATE_NO_CONFINEMENT=1 makes a worker behave as if the kernel could not
// confine it: for tests and benchmarks only.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "outside/worker/WorkerProtocol.h"

namespace vd::worker {

struct ConfinementRules {
  // The client's folder shared with the worker (its "in" and "work" parts).
  std::string folder;
  // Trees of the worker's own interpreter read beyond the system's (its font maps, its
  // configuration), absolute paths; those that do not exist are left out.
  std::vector<std::string> readable;
  // Whether the worker itself makes sockets (the office worker reaches its suite through one).
  bool sockets = false;
};

// Confines this process and whatever it starts from now on; "" when it is confined, else
// why not (a sentence without its full stop). Call it while the process has one thread.
std::string confineThisProcess(const ConfinementRules& rules);

// Whether confineThisProcess confined this process.
bool thisProcessIsConfined();

// Starts a program with the environment envp in this process's group, with no descriptor of
// ours but the standard streams, unable to connect any socket; its process id, or -1 with
// errno set. A kernel without system-call filters runs it unfiltered unless filtered is
// required (a confined worker's kernel has them).
pid_t startWithoutConnections(const std::vector<std::string>& argv, char* const* envp, bool filterRequired);

}  // namespace vd::worker
