#include "outside/worker/JobFolder.h"

#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "common/Errors.h"
#include "outside/worker/WorkerClient.h"
#include "outside/worker/WorkerProtocol.h"

namespace vd {
namespace {

std::string systemReason() { return std::strerror(errno); }

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  // Closes now, reporting what close says (a write that failed late).
  bool closeChecked() {
    const int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }

 private:
  int fd_;
};

// Copies all of from into to; false with errno set when a read or write failed. A file
// system that can share the blocks does (a copy of a large input costs nothing there).
bool copyAll(int from, int to) {
  bool sharing = true;
  for (;;) {
    const ssize_t copied = sharing ? copy_file_range(from, nullptr, to, nullptr, 1 << 30, 0)
                                   : sendfile(to, from, nullptr, 1 << 30);
    if (copied == 0) return true;
    if (copied > 0 || errno == EINTR) continue;
    if (!sharing || (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)) return false;
    sharing = false;
  }
}

void removeTree(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

}  // namespace

JobFolder::JobFolder(WorkerClient& worker) : shared_(worker.sharedFolder()) {
  static unsigned counter = 0;
  const std::string job = "job-" + std::to_string(++counter);
  inputs_ = shared_->path() + "/" + worker::kInputsPart + "/" + job;
  work_ = shared_->path() + "/" + worker::kWorkPart + "/" + job;
  for (const std::string& folder : {inputs_, work_}) {
    removeTree(folder);
    if (mkdir(folder.c_str(), 0700) != 0) throw FileError("create", folder, systemReason());
  }
}

JobFolder::~JobFolder() {
  removeTree(inputs_);
  removeTree(work_);
}

std::string JobFolder::placeInput(const std::string& source, const std::string& name) {
  // A copy, never a link: through a hard link the worker could still change the original's
  // mode and times, which the kernel's file rules do not cover.
  const Descriptor from(open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (from.get() < 0) throw FileError("read", source, systemReason());
  struct stat info {};
  if (fstat(from.get(), &info) != 0) throw FileError("read", source, systemReason());
  if (!S_ISREG(info.st_mode)) throw FileError("read", source, "not an ordinary file");
  const std::string placed = inputs_ + "/" + name;
  Descriptor to(open(placed.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (to.get() < 0) throw FileError("create", placed, systemReason());
  if (!copyAll(from.get(), to.get()) || !to.closeChecked()) throw FileError("copy " + source + " to", placed, systemReason());
  return placed;
}

std::string JobFolder::outputPath(const std::string& name) const { return work_ + "/" + name; }

bool JobFolder::takeOutput(const std::string& name, const std::string& destination) const {
  // Never a link the worker planted in place of its output, nor anything but a file.
  const Descriptor from(open(outputPath(name).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat info {};
  if (from.get() < 0 || fstat(from.get(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  Descriptor to(open(destination.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (to.get() < 0) throw FileError("create", destination, systemReason());
  if (!copyAll(from.get(), to.get()) || !to.closeChecked()) throw FileError("write", destination, systemReason());
  return true;
}

}  // namespace vd
