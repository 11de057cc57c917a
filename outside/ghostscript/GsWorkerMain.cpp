// vellumdk-gsworker: the PostScript interpreter's job handler on the worker machinery
// (outside/worker/WorkerMain.h). Started, bounded and ended by the interpreter's client
// (GhostscriptRunner); never started by hand.
#include <dirent.h>
#include <ghostscript/iapi.h>
#include <ghostscript/gserrors.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "common/PrivateDirectories.h"
#include "outside/ghostscript/InterpreterReports.h"
#include "outside/worker/WorkerMain.h"
#include "outside/worker/WorkerProtocol.h"

namespace {

using vd::worker::JobReporter;
using vd::TemporaryDirectory;
using vd::temporaryBase;

// Splits what the interpreter prints into lines, takes the page markers out of them and
// sends the rest as log lines.
class OutputLines {
 public:
  // onPage runs after each page has been reported.
  OutputLines(JobReporter& reporter, int& pages, std::function<void()> onPage = {})
      : reporter_(reporter), pages_(pages), onPage_(std::move(onPage)) {}
  void add(const char* text, int length) {
    pending_.append(text, static_cast<std::size_t>(length));
    std::size_t end;
    while ((end = pending_.find('\n')) != std::string::npos) {
      emit(pending_.substr(0, end));
      pending_.erase(0, end + 1);
    }
  }
  void finish() {
    if (!pending_.empty()) emit(pending_);
    pending_.clear();
  }

 private:
  void emit(std::string line) {
    const std::string marker = vd::gsworker::kPageMarker;
    std::size_t at;
    while ((at = line.find(marker)) != std::string::npos) {
      line.erase(at, marker.size());
      ++pages_;
      reporter_.report(vd::gsworker::kPageFrame, std::to_string(pages_));
      if (onPage_) onPage_();
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos) return;
    reporter_.line(line);
  }

  JobReporter& reporter_;
  int& pages_;
  std::function<void()> onPage_;
  std::string pending_;
};

// Follows how far the interpreter has read its input file, from the kernel's view of the
// file descriptor it opened, so every kind of input (PostScript, EPS, PDF) is covered
// without changing how the interpreter reads it. Runs on a watcher thread: this build of
// the interpreter does not call a poll callback.
class InputProgress {
 public:
  InputProgress(JobReporter& reporter, const std::string& path) : reporter_(reporter) {
    struct stat info {};
    if (!path.empty() && stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
      device_ = info.st_dev;
      inode_ = info.st_ino;
      size_ = info.st_size;
    }
  }
  // Called by the watcher thread and at every finished page.
  void poll() {
    const std::lock_guard<std::mutex> hold(mutex_);
    if (size_ <= 0) return;
    if (fd_ < 0 || !refersToInput(fd_)) fd_ = findInputDescriptor();
    if (fd_ < 0) return;
    const long long position = readPosition(fd_);
    if (position < 0) return;
    const int percent = static_cast<int>(std::min<long long>(99, position * 100 / size_));
    if (percent > lastPercent_) {
      lastPercent_ = percent;
      reporter_.report(vd::gsworker::kPercentFrame, std::to_string(percent));
    }
  }

 private:
  bool refersToInput(int fd) const {
    struct stat info {};
    return fstat(fd, &info) == 0 && info.st_dev == device_ && info.st_ino == inode_;
  }
  int findInputDescriptor() const {
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr) return -1;
    int found = -1;
    while (const dirent* entry = readdir(dir)) {
      char* end = nullptr;
      const long fd = std::strtol(entry->d_name, &end, 10);
      if (end == entry->d_name || *end != '\0' || fd <= vd::worker::kWorkerSocketFd) continue;
      if (refersToInput(static_cast<int>(fd))) {
        found = static_cast<int>(fd);
        break;
      }
    }
    closedir(dir);
    return found;
  }
  static long long readPosition(int fd) {
    std::ifstream info("/proc/self/fdinfo/" + std::to_string(fd));
    std::string key;
    long long value = -1;
    while (info >> key) {
      if (key == "pos:") {
        info >> value;
        return value;
      }
    }
    return -1;
  }

  JobReporter& reporter_;
  dev_t device_ = 0;
  ino_t inode_ = 0;
  off_t size_ = 0;
  int fd_ = -1;
  int lastPercent_ = -1;
  std::mutex mutex_;
};

// The read position is also taken at every page, so a document of several pages reports
// its progress page by page however fast the interpreter reads it.
struct JobContext {
  int pages = 0;
  InputProgress progress;
  OutputLines out;
  OutputLines err;
  JobContext(JobReporter& reporter, const std::string& progressPath)
      : progress(reporter, progressPath),
        out(reporter, pages, [this] { progress.poll(); }),
        err(reporter, pages, [this] { progress.poll(); }) {}
};

int GSDLLCALL readNothing(void*, char*, int) { return 0; }
int GSDLLCALL writeOut(void* handle, const char* text, int length) {
  static_cast<JobContext*>(handle)->out.add(text, length);
  return length;
}
int GSDLLCALL writeErr(void* handle, const char* text, int length) {
  static_cast<JobContext*>(handle)->err.add(text, length);
  return length;
}
// Watches the input's read position while the job runs.
class ProgressWatcher {
 public:
  explicit ProgressWatcher(InputProgress& progress)
      : thread_([this, &progress] {
          std::unique_lock<std::mutex> lock(mutex_);
          while (!stop_) {
            lock.unlock();
            progress.poll();
            lock.lock();
            wake_.wait_for(lock, std::chrono::milliseconds(20), [this] { return stop_; });
          }
        }) {}
  ~ProgressWatcher() {
    {
      const std::lock_guard<std::mutex> hold(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  ProgressWatcher(const ProgressWatcher&) = delete;
  ProgressWatcher& operator=(const ProgressWatcher&) = delete;

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread thread_;
};

// Each job gets a temporary folder of its own inside the worker's (which the client made
// private for this worker), named to the interpreter as TMPDIR: under -dSAFER the
// interpreter may use its temporary folder freely, so that folder must hold nothing but
// this job's files. It goes, with whatever the job left in it, when the job ends.
class JobTemporaryFolder {
 public:
  // TMPDIR names the worker's own folder here: the last job's folder gave it back.
  JobTemporaryFolder() : workerFolder_(temporaryBase()), folder_("job") {
    if (!folder_.ok()) throw std::runtime_error("Cannot create the job's temporary folder in " + workerFolder_ + ".");
    setenv("TMPDIR", folder_.path().c_str(), 1);
  }
  ~JobTemporaryFolder() { setenv("TMPDIR", workerFolder_.c_str(), 1); }
  JobTemporaryFolder(const JobTemporaryFolder&) = delete;
  JobTemporaryFolder& operator=(const JobTemporaryFolder&) = delete;

 private:
  std::string workerFolder_;
  TemporaryDirectory folder_;
};

int runInterpreter(const std::vector<std::string>& texts, JobReporter& reporter) {
  if (texts.size() < 2) return -1;
  const JobTemporaryFolder temporaryFolder;
  JobContext context(reporter, texts[0]);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>("gs"));
  for (std::size_t i = 1; i < texts.size(); ++i) argv.push_back(const_cast<char*>(texts[i].c_str()));

  void* instance = nullptr;
  int code = gsapi_new_instance(&instance, &context);
  if (code < 0) {
    reporter.line("Cannot create an interpreter instance (code " + std::to_string(code) + ").");
    return code;
  }
  gsapi_set_arg_encoding(instance, GS_ARG_ENCODING_UTF8);
  gsapi_set_stdio_with_handle(instance, readNothing, writeOut, writeErr, &context);
  {
    const ProgressWatcher watcher(context.progress);
    code = gsapi_init_with_args(instance, static_cast<int>(argv.size()), argv.data());
  }
  const int exitCode = gsapi_exit(instance);
  if (code == 0 || code == gs_error_Quit) code = exitCode;
  gsapi_delete_instance(instance);
  context.out.finish();
  context.err.finish();
  return code;
}

}  // namespace

int main(int argc, char** argv) { return vd::worker::serveJobs(argc, argv, runInterpreter); }
