#include "outside/worker/MemoryBound.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

namespace vd::worker {

#if !defined(__SANITIZE_ADDRESS__)

void prepareMemoryBound(std::vector<std::string>& /*environment*/, long long /*megabytes*/) {}

bool boundMemory(pid_t worker, long long megabytes) {
  if (megabytes <= 0) return true;
  const rlim_t bytes = static_cast<rlim_t>(megabytes) * 1024u * 1024u;
  const rlimit bound{bytes, bytes};
  return prlimit(worker, RLIMIT_AS, &bound, nullptr) == 0;
}

long long memoryBoundMegabytes() {
  rlimit limit{};
  if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 0;
  return static_cast<long long>(limit.rlim_cur / (1024u * 1024u));
}

void keepMemoryBoundInCopy() {}

void whenAllocatorRunsOut(void (* /*outOfMemory*/)()) {}

#else  // the address sanitizer's build: see the header

namespace {

constexpr char kBoundOption[] = "soft_rss_limit_mb=";
void (*outOfMemoryHandler)() = nullptr;

void onSanitizerReport(const char* report) {
  // "allocator is out of memory trying to allocate ..."; any other finding goes on to fail.
  if (outOfMemoryHandler != nullptr && std::strstr(report, "out of memory") != nullptr) outOfMemoryHandler();
}

}  // namespace

void prepareMemoryBound(std::vector<std::string>& environment, long long megabytes) {
  if (megabytes <= 0) return;
  // Later options win over the ones the environment already gives.
  const std::string bound = kBoundOption + std::to_string(megabytes) + ":allocator_may_return_null=1";
  for (std::string& variable : environment) {
    if (variable.rfind("ASAN_OPTIONS=", 0) == 0) {
      variable += ":" + bound;
      return;
    }
  }
  environment.push_back("ASAN_OPTIONS=" + bound);
}

bool boundMemory(pid_t /*worker*/, long long /*megabytes*/) { return true; }

long long memoryBoundMegabytes() {
  const char* options = std::getenv("ASAN_OPTIONS");
  const char* last = nullptr;
  for (const char* at = options; at != nullptr && (at = std::strstr(at, kBoundOption)) != nullptr; ++at) last = at;
  return last == nullptr ? 0 : std::atoll(last + sizeof kBoundOption - 1);
}

void keepMemoryBoundInCopy() {
  const long long megabytes = memoryBoundMegabytes();
  if (megabytes <= 0) return;
  // The first of statm's numbers: the pages of address space the copy holds.
  long long pages = 0;
  std::FILE* statm = std::fopen("/proc/self/statm", "r");
  if (statm == nullptr) return;
  const bool read = std::fscanf(statm, "%lld", &pages) == 1;
  std::fclose(statm);
  if (!read) return;
  const rlim_t bytes = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) +
                       static_cast<rlim_t>(megabytes) * 1024u * 1024u;
  const rlimit bound{bytes, bytes};
  setrlimit(RLIMIT_AS, &bound);
}

void whenAllocatorRunsOut(void (*outOfMemory)()) {
  outOfMemoryHandler = outOfMemory;
  __asan_set_error_report_callback(onSanitizerReport);
}

#endif

}  // namespace vd::worker
