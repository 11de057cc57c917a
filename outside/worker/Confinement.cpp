#include "outside/worker/Confinement.h"

#include <fcntl.h>
#include <linux/audit.h>
#include <linux/capability.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "outside/worker/WorkerProtocol.h"

namespace vd::worker {
namespace {

// Landlock's interface, spelt out: the build machine's kernel headers may predate the
// rights this code asks for (each is used only where the running kernel knows it).
constexpr std::uint64_t kExecute = 1ULL << 0;
constexpr std::uint64_t kWriteFile = 1ULL << 1;
constexpr std::uint64_t kReadFile = 1ULL << 2;
constexpr std::uint64_t kReadDir = 1ULL << 3;
constexpr std::uint64_t kMakeChar = 1ULL << 6;
constexpr std::uint64_t kMakeBlock = 1ULL << 11;
constexpr std::uint64_t kTruncate = 1ULL << 14;
constexpr std::uint64_t kIoctlDev = 1ULL << 15;
// The rights that can be given on a file rather than a folder.
constexpr std::uint64_t kFileRights = kExecute | kWriteFile | kReadFile | kTruncate | kIoctlDev;
constexpr std::uint64_t kBindTcp = 1ULL << 0;
constexpr std::uint64_t kConnectTcp = 1ULL << 1;
constexpr std::uint64_t kScopeAbstractSockets = 1ULL << 0;
constexpr std::uint64_t kScopeSignals = 1ULL << 1;
constexpr unsigned kAskVersion = 1U << 0;
constexpr int kPathBeneathRule = 1;

struct RulesetAttributes {
  std::uint64_t handledFs;
  std::uint64_t handledNet;
  std::uint64_t scoped;
};
struct PathBeneath {
  std::uint64_t allowed;
  std::int32_t parentFd;
} __attribute__((packed));

// The file-system rights a Landlock version knows.
std::uint64_t fsRightsOf(int abi) {
  if (abi >= 5) return (1ULL << 16) - 1;
  if (abi >= 3) return (1ULL << 15) - 1;
  if (abi >= 2) return (1ULL << 14) - 1;
  return (1ULL << 13) - 1;
}

std::string errorText(const std::string& what) { return what + ": " + std::strerror(errno); }

bool writeWhole(const std::string& path, const std::string& text) {
  const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  close(fd);
  return written;
}

// mkdir -p, each new folder private.
bool makeFolders(const std::string& path) {
  for (std::size_t at = path.find('/', 1); ; at = path.find('/', at + 1)) {
    const std::string prefix = at == std::string::npos ? path : path.substr(0, at);
    if (mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (at == std::string::npos) return true;
  }
}

// A user, mount and network namespace of the process's own: the network has no interface
// up, and /tmp is an empty private file system holding only the client's folder.
std::string enterPrivateNamespaces(const std::string& folder) {
  const uid_t uid = getuid();
  const gid_t gid = getgid();
  if (unshare(CLONE_NEWUSER | CLONE_NEWNS | CLONE_NEWNET) == 0) {
    // Root stays root inside, and so does everyone else; outside it the process keeps no
    // capability of its own.
    if (!writeWhole("/proc/self/setgroups", "deny") ||
        !writeWhole("/proc/self/uid_map", std::to_string(uid) + " " + std::to_string(uid) + " 1") ||
        !writeWhole("/proc/self/gid_map", std::to_string(gid) + " " + std::to_string(gid) + " 1")) {
      return errorText("cannot map the user into a namespace of its own");
    }
  } else if (unshare(CLONE_NEWNS | CLONE_NEWNET) != 0) {
    // A container may forbid user namespaces and still let an administrator make the others.
    return errorText("no private namespaces");
  }
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return errorText("cannot make the mounts private");

  char canonical[PATH_MAX];
  if (realpath(folder.c_str(), canonical) == nullptr) return errorText("cannot find the worker's folder " + folder);
  const std::string shared = canonical;
  // Opened in the new namespace, before /tmp is covered, to be mounted back beneath it.
  const int kept = open(shared.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (kept < 0) return errorText("cannot open the worker's folder " + shared);
  std::string failure;
  if (mount("tmpfs", "/tmp", "tmpfs", MS_NOSUID | MS_NODEV | MS_NOEXEC, "mode=0700,size=64m") != 0) {
    failure = errorText("cannot give the worker a /tmp of its own");
  } else if (shared.rfind("/tmp/", 0) == 0) {
    const std::string source = "/proc/self/fd/" + std::to_string(kept);
    if (!makeFolders(shared) || mount(source.c_str(), shared.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0) {
      failure = errorText("cannot mount the worker's folder into its /tmp");
      umount2("/tmp", MNT_DETACH);
    }
  }
  close(kept);
  return failure;
}

class Ruleset {
 public:
  Ruleset(int abi, std::uint64_t handled) : handled_(handled) {
    RulesetAttributes attributes{handled, abi >= 4 ? kBindTcp | kConnectTcp : 0,
                                 abi >= 6 ? kScopeAbstractSockets | kScopeSignals : 0};
    // Older versions know a shorter structure: give each the part it knows.
    const std::size_t size = abi >= 6 ? sizeof attributes : abi >= 4 ? offsetof(RulesetAttributes, scoped)
                                                                      : offsetof(RulesetAttributes, handledNet);
    fd_ = static_cast<int>(syscall(SYS_landlock_create_ruleset, &attributes, size, 0));
  }
  ~Ruleset() {
    if (fd_ >= 0) close(fd_);
  }
  Ruleset(const Ruleset&) = delete;
  Ruleset& operator=(const Ruleset&) = delete;

  bool made() const { return fd_ >= 0; }
  // Allows rights beneath path; a path that cannot be opened (there is none) is left out,
  // which only allows less.
  bool allow(const std::string& path, std::uint64_t rights) {
    const int target = open(path.c_str(), O_PATH | O_CLOEXEC);
    if (target < 0) return true;
    struct stat info {};
    fstat(target, &info);
    PathBeneath rule{rights & handled_ & (S_ISDIR(info.st_mode) ? ~0ULL : kFileRights), target};
    const bool added = syscall(SYS_landlock_add_rule, fd_, kPathBeneathRule, &rule, 0) == 0;
    close(target);
    return added;
  }
  bool enforce() { return syscall(SYS_landlock_restrict_self, fd_, 0) == 0; }

 private:
  std::uint64_t handled_;
  int fd_ = -1;
};

std::string homeFolder() {
  const char* home = std::getenv("HOME");
  return home != nullptr && home[0] == '/' ? home : "";
}
// An XDG base folder: the variable when it names an absolute path, else HOME + fallback.
std::string xdgFolder(const char* variable, const char* fallback) {
  const char* value = std::getenv(variable);
  if (value != nullptr && value[0] == '/') return value;
  const std::string home = homeFolder();
  return home.empty() ? "" : home + fallback;
}

std::string applyFileAndNetworkRules(int abi, const ConfinementRules& rules) {
  const std::uint64_t all = fsRightsOf(abi);
  const std::uint64_t read = kReadFile | kReadDir;
  // Whatever a program does in its own folder, except running what it wrote or making
  // device nodes.
  const std::uint64_t own = all & ~(kExecute | kMakeChar | kMakeBlock);
  Ruleset ruleset(abi, all);
  if (!ruleset.made()) return errorText("cannot make a Landlock ruleset");

  std::vector<std::pair<std::string, std::uint64_t>> allowed;
  for (const char* programs : {"/usr", "/bin", "/sbin", "/lib", "/lib32", "/lib64", "/libx32", "/opt"}) {
    allowed.emplace_back(programs, read | kExecute);
  }
  // What of /etc a program, its fonts and its paper need; nothing else of it (its secrets).
  for (const char* configuration :
       {"/etc/fonts", "/etc/ld.so.cache", "/etc/ld.so.conf", "/etc/ld.so.conf.d", "/etc/localtime", "/etc/timezone",
        "/etc/nsswitch.conf", "/etc/passwd", "/etc/group", "/etc/papersize", "/etc/paperspecs", "/etc/locale.alias",
        "/etc/locale.conf", "/etc/default/locale", "/etc/mime.types", "/etc/gnutls", "/var/cache/fontconfig", "/proc",
        "/sys/devices/system/cpu"}) {
    allowed.emplace_back(configuration, read);
  }
  for (const char* device : {"/dev/null", "/dev/zero", "/dev/full", "/dev/random", "/dev/urandom"}) {
    allowed.emplace_back(device, kReadFile | kWriteFile | kIoctlDev);
  }
  // The user's own fonts and font settings.
  const std::string home = homeFolder();
  if (!home.empty()) {
    for (const char* fonts : {"/.fonts", "/.fonts.conf", "/.fonts.conf.d"}) allowed.emplace_back(home + fonts, read);
  }
  const std::string dataHome = xdgFolder("XDG_DATA_HOME", "/.local/share");
  if (!dataHome.empty()) allowed.emplace_back(dataHome + "/fonts", read);
  const std::string configHome = xdgFolder("XDG_CONFIG_HOME", "/.config");
  if (!configHome.empty()) allowed.emplace_back(configHome + "/fontconfig", read);
  for (const std::string& tree : rules.readable) allowed.emplace_back(tree, read);
  allowed.emplace_back(rules.folder + "/" + kInputsPart, read);
  allowed.emplace_back(rules.folder + "/" + kWorkPart, own);
  // The private /tmp (sockets and temporary files of programs that ignore TMPDIR).
  allowed.emplace_back("/tmp", own);

  for (const auto& [path, rights] : allowed) {
    if (!ruleset.allow(path, rights)) return errorText("cannot allow " + path);
  }
  if (!ruleset.enforce()) return errorText("cannot enforce the Landlock rules");
  return "";
}

#if defined(__x86_64__)
constexpr std::uint32_t kNativeArchitecture = AUDIT_ARCH_X86_64;
// x32 system calls share the architecture and set this bit in their number.
constexpr std::uint32_t kForeignCallBit = 0x40000000;
#elif defined(__aarch64__)
constexpr std::uint32_t kNativeArchitecture = AUDIT_ARCH_AARCH64;
constexpr std::uint32_t kForeignCallBit = 0;
#else
#error "The system-call filter knows x86-64 and AArch64 only."
#endif

// A filter that fails one system call with EACCES and lets the others through; calls of
// another architecture (32-bit calls on a 64-bit kernel) end the process.
std::vector<sock_filter> refusing(unsigned call) {
  std::vector<sock_filter> filter = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kNativeArchitecture, 1, 0),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
  };
  if (kForeignCallBit != 0) {
    filter.push_back(BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, kForeignCallBit, 0, 1));
    filter.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS));
  }
  filter.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, call, 0, 1));
  filter.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EACCES));
  filter.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
  return filter;
}

bool installFilter(std::vector<sock_filter>& filter) {
  const sock_fprog program{static_cast<unsigned short>(filter.size()), filter.data()};
  return prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program, 0, 0) == 0;
}

// No capability now or after running a program, root or not.
std::string dropCapabilities() {
  for (int capability = 0; capability <= 63; ++capability) {
    if (prctl(PR_CAPBSET_DROP, capability, 0, 0, 0) != 0 && errno != EINVAL) return errorText("cannot drop capabilities");
  }
  prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct none[2] = {};
  if (syscall(SYS_capset, &header, none) != 0) return errorText("cannot drop capabilities");
  return "";
}

bool confined = false;

}  // namespace

bool thisProcessIsConfined() { return confined; }

std::string confineThisProcess(const ConfinementRules& rules) {
  const char* simulated = std::getenv("VELLUMDOCK_SIMULATE_NO_CONFINEMENT");
  if (simulated != nullptr && std::strcmp(simulated, "1") == 0) return "confinement is switched off for a test";
  const long abi = syscall(SYS_landlock_create_ruleset, nullptr, 0, kAskVersion);
  if (abi < 1) return errorText("the kernel offers no Landlock");
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return errorText("cannot set no_new_privs");
  std::string failure = enterPrivateNamespaces(rules.folder);
  if (failure.empty()) failure = applyFileAndNetworkRules(static_cast<int>(abi), rules);
  if (failure.empty() && !rules.sockets) {
    std::vector<sock_filter> noSockets = refusing(SYS_socket);
    if (!installFilter(noSockets)) failure = errorText("cannot filter the worker's system calls");
  }
  if (failure.empty()) failure = dropCapabilities();
  if (!failure.empty()) return failure;
  // Nothing else is reachable: the worker works in its own folder.
  const std::string work = rules.folder + "/" + kWorkPart;
  if (chdir(work.c_str()) != 0) return errorText("cannot enter " + work);
  // Font caches of the user's fonts are written there too.
  const std::string cache = work + "/cache";
  mkdir(cache.c_str(), 0700);
  setenv("XDG_CACHE_HOME", cache.c_str(), 1);
  confined = true;
  return "";
}

pid_t startWithoutConnections(const std::vector<std::string>& argv, char* const* envp, bool filterRequired) {
  if (argv.empty()) {
    errno = EINVAL;
    return -1;
  }
  std::vector<char*> arguments;
  for (const std::string& argument : argv) arguments.push_back(const_cast<char*>(argument.c_str()));
  arguments.push_back(nullptr);
  // Made before the fork: the child may only make system calls.
  std::vector<sock_filter> noConnections = refusing(SYS_connect);
  const sock_fprog program{static_cast<unsigned short>(noConnections.size()), noConnections.data()};
  const pid_t pid = fork();
  if (pid != 0) return pid;
  syscall(SYS_close_range, 3U, ~0U, 0U);
  const bool filtered =
      prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program, 0, 0) == 0;
  if (!filtered && filterRequired) _exit(126);
  execve(arguments[0], arguments.data(), envp);
  _exit(127);
}

}  // namespace vd::worker
