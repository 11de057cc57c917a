// vellumdk-gsworker: the PostScript interpreter's job handler on the worker machinery
// (outside/worker/WorkerMain.h), confined where the kernel allows (Confinement.h). Started,
// bounded and ended by the interpreter's client (GhostscriptRunner); never started by hand.
#include <dirent.h>
#include <fcntl.h>
#include <ghostscript/gserrors.h>
#include <ghostscript/iapi.h>
#include <malloc.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/PrivateDirectories.h"
#include "outside/ghostscript/InterpreterReports.h"
#include "outside/worker/Confinement.h"
#include "outside/worker/MemoryBound.h"
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
// without changing how the interpreter reads it. process is the /proc folder of the process
// that runs the interpreter: the job's copy looks at itself at every page, and the worker
// looks at the copy while it waits for it (this build of the interpreter does not call a
// poll callback, and a thread of the copy's own would make each of the copy's first writes
// to a page of the template interrupt the other core to flush its view of the page).
class InputProgress {
 public:
  InputProgress(JobReporter& reporter, const std::string& path, std::string process = "/proc/self")
      : reporter_(reporter), process_(std::move(process)) {
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
    const std::string link = process_ + "/fd/" + std::to_string(fd);
    return stat(link.c_str(), &info) == 0 && info.st_dev == device_ && info.st_ino == inode_;
  }
  int findInputDescriptor() const {
    DIR* dir = opendir((process_ + "/fd").c_str());
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
  long long readPosition(int fd) const {
    std::ifstream info(process_ + "/fdinfo/" + std::to_string(fd));
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
  std::string process_;
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

// Where the interpreter's output goes: to the job that runs, and nowhere while an instance
// is made ready before its job has come.
struct OutputRoute {
  JobContext* job = nullptr;
};

int GSDLLCALL readNothing(void*, char*, int) { return 0; }
int GSDLLCALL writeOut(void* handle, const char* text, int length) {
  if (JobContext* job = static_cast<OutputRoute*>(handle)->job) job->out.add(text, length);
  return length;
}
int GSDLLCALL writeErr(void* handle, const char* text, int length) {
  if (JobContext* job = static_cast<OutputRoute*>(handle)->job) job->err.add(text, length);
  return length;
}
// The temporary folder an instance starts with, inside the worker's (which the client made
// private for this worker), named to the interpreter as TMPDIR: under -dSAFER the
// interpreter may use its temporary folder freely, so that folder must hold nothing but
// the files of the instance it was made for. It goes, with whatever is in it, when the
// object does.
class InstanceTemporaryFolder {
 public:
  // TMPDIR names the worker's own folder here.
  InstanceTemporaryFolder() : workerFolder_(temporaryBase()), folder_("job") {
    if (!folder_.ok()) throw std::runtime_error("Cannot create the interpreter's temporary folder in " + workerFolder_ + ".");
    setenv("TMPDIR", folder_.path().c_str(), 1);
  }
  ~InstanceTemporaryFolder() { setenv("TMPDIR", workerFolder_.c_str(), 1); }
  InstanceTemporaryFolder(const InstanceTemporaryFolder&) = delete;
  const std::string& path() const { return folder_.path(); }
  InstanceTemporaryFolder& operator=(const InstanceTemporaryFolder&) = delete;

 private:
  std::string workerFolder_;
  TemporaryDirectory folder_;
};

// A PostScript string literal of any bytes.
std::string postScriptString(const std::string& text) {
  static const char* const digits = "01234567";
  std::string literal = "(";
  for (unsigned char c : text) {
    if (c == '(' || c == ')' || c == '\\') {
      literal += '\\';
      literal += static_cast<char>(c);
    } else if (c < 32 || c > 126) {
      literal += '\\';
      literal += digits[(c >> 6) & 7];
      literal += digits[(c >> 3) & 7];
      literal += digits[c & 7];
    } else {
      literal += static_cast<char>(c);
    }
  }
  return literal + ")";
}

// In an output name "%" starts a page-number format; "%%" is a plain "%".
std::string escapePercent(const std::string& path) {
  std::string escaped;
  for (char c : path) {
    escaped += c;
    if (c == '%') escaped += '%';
  }
  return escaped;
}

// Reports each finished page: the device calls EndPage for every showpage, whatever the
// document does with save and restore, and this procedure prints the marker the worker
// counts.
std::string pageReporting() {
  return std::string("<< /EndPage { exch pop dup 2 ne { (") + vd::gsworker::kPageMarker +
         "\\n) print flush } if 2 ne } >> setpagedevice";
}

// The switches every instance starts with, before the job's device switches.
const std::vector<std::string> kCommonSwitches{"-q", "-dSAFER", "-dBATCH", "-dNOPAUSE"};
// The device the next job most likely wants before any job said otherwise: the Distiller's
// (outside/distiller/GhostscriptDistiller.cpp), switch for switch; any other list makes the
// first job wait for a template of its own.
const std::vector<std::string> kFirstDevice{"-sDEVICE=pdfwrite", "-dEPSCrop", "-dNEWPDF=false"};

// One interpreter instance. Making an instance ready (reading the interpreter's start-up
// files, setting up its fonts and the device) is most of the cost of a small job, so the
// worker makes one ready instance, the job template, and never runs a job on it: each job
// runs in a copy of the worker forked for it, on that copy's image of the template, and
// the copy ends with its job. Each job so gets an instance nobody used before, and nothing
// one job defines or changes reaches the template or the next job.
class Interpreter {
 public:
  Interpreter() {
    if (gsapi_new_instance(&instance_, &route_) < 0) {
      instance_ = nullptr;
      return;
    }
    gsapi_set_arg_encoding(instance_, GS_ARG_ENCODING_UTF8);
    gsapi_set_stdio_with_handle(instance_, readNothing, writeOut, writeErr, &route_);
  }
  ~Interpreter() { finish(); }
  Interpreter(const Interpreter&) = delete;
  Interpreter& operator=(const Interpreter&) = delete;

  bool created() const { return instance_ != nullptr; }

  // Starts the instance with the interpreter's command-line arguments; returns its code.
  int start(const std::vector<std::string>& arguments) {
    if (instance_ == nullptr) return gs_error_Fatal;
    std::vector<char*> argv{const_cast<char*>("gs")};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    const int code = gsapi_init_with_args(instance_, static_cast<int>(argv.size()), argv.data());
    started_ = code == 0;
    return code;
  }
  // Ready as a template for jobs with these device switches. The folder it was started
  // with (its temporary files, the device's placeholder output) goes once it is ready:
  // the interpreter lets a job use that folder's files, and no job may find there what
  // another one left; each job is given a folder of its own.
  bool makeReady(const std::vector<std::string>& device) {
    device_ = device;
    InstanceTemporaryFolder folder;
    startFolder_ = folder.path();
    std::vector<std::string> arguments = kCommonSwitches;
    arguments.insert(arguments.end(), device.begin(), device.end());
    arguments.push_back("-sOutputFile=" + escapePercent(folder.path() + "/placeholder"));
    return start(arguments) == 0;
  }
  bool readyFor(const std::vector<std::string>& device) const { return started_ && device == device_; }
  // The folder it was started with (gone now; its files the device holds open stay).
  const std::string& startFolder() const { return startFolder_; }

  // The job on a copy of a ready instance: the interpreter may write the output, read the
  // input and use the job's temporary folder, and nothing else beyond its own resources.
  int run(const std::string& input, const std::string& output, const std::string& temporaryFolder,
          const std::string& prolog) {
    gsapi_add_control_path(instance_, GS_PERMIT_FILE_WRITING, output.c_str());
    gsapi_add_control_path(instance_, GS_PERMIT_FILE_READING, input.c_str());
    const std::string folderFiles = temporaryFolder + "/*";
    for (const int kind : {GS_PERMIT_FILE_READING, GS_PERMIT_FILE_WRITING, GS_PERMIT_FILE_CONTROL}) {
      gsapi_add_control_path(instance_, kind, folderFiles.c_str());
    }
    int exitCode = 0;
    const std::string setUp = "<< /OutputFile " + postScriptString(escapePercent(output)) + " >> setpagedevice\n" +
                              pageReporting() + "\n" + prolog + "\n";
    int code = gsapi_run_string(instance_, setUp.c_str(), 0, &exitCode);
    if (code >= 0) code = gsapi_run_file(instance_, input.c_str(), 0, &exitCode);
    return code;
  }

  void attach(JobContext* job) { route_.job = job; }
  // Ends the instance in a copy that exits next: the device finishes its output; what the
  // instance still holds goes with the process. Returns the code of that.
  int endBeforeExit() {
    if (instance_ == nullptr) return 0;
    const int code = gsapi_exit(instance_);
    instance_ = nullptr;
    return code;
  }
  // Ends the instance: the device finishes its output. Returns the code of that.
  int finish() {
    if (instance_ == nullptr) return 0;
    const int code = gsapi_exit(instance_);
    gsapi_delete_instance(instance_);
    instance_ = nullptr;
    return code;
  }

 private:
  OutputRoute route_;
  void* instance_ = nullptr;
  bool started_ = false;
  std::vector<std::string> device_;
  std::string startFolder_;
};

std::unique_ptr<Interpreter> jobTemplate;
// Counts the templates made, so that a copy forked ahead is known to be of the current one.
unsigned templateGeneration = 0;

// The pages of the current template that jobs wrote, as the first copies of the template
// found them: a copy forked ahead takes its own images of these before its job comes, in one
// call a run of pages, instead of a fault for each page as the job writes it first (on this
// kind of machine about 30 µs each, several hundred a job).
std::set<std::uintptr_t> pagesJobsWrite;
int copiesLearnedFrom = 0;
// Jobs of different kinds write different pages; a few cover what most write.
constexpr int kCopiesToLearnFrom = 4;

// The device the last job used, which the next one most likely wants too.
std::vector<std::string> lastDevice = kFirstDevice;

// An instance that cannot be made ready leaves each job to start its own, which then
// reports why.
void makeTemplateFor(const std::vector<std::string>& device) {
  if (jobTemplate && jobTemplate->readyFor(device)) return;
  jobTemplate.reset();
  ++templateGeneration;
  pagesJobsWrite.clear();
  copiesLearnedFrom = 0;
  try {
    jobTemplate = std::make_unique<Interpreter>();
    if (!jobTemplate->makeReady(device)) jobTemplate.reset();
  } catch (const std::exception&) {
    jobTemplate.reset();
  }
}

// A forked copy shares with the worker, and with every other copy, the files the template
// holds open: its device's output placeholder and scratch files, which the device goes on
// writing and reading. Each copy gets files of its own in their place, in its job's folder,
// with what the template had written and at the same position, so nothing one job's device
// writes reaches another job. False when that cannot be done.
bool takeOwnCopiesOfOpenFiles(const std::string& templateFolder, const std::string& jobFolder) {
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return false;
  std::vector<int> shared;
  while (const dirent* entry = readdir(dir)) {
    char* end = nullptr;
    const long fd = std::strtol(entry->d_name, &end, 10);
    if (end == entry->d_name || *end != '\0' || fd <= vd::worker::kWorkerSocketFd || fd == dirfd(dir)) continue;
    char target[4096];
    const std::string link = "/proc/self/fd/" + std::string(entry->d_name);
    const ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
    if (length <= 0) continue;
    const std::string path(target, static_cast<std::size_t>(length));
    if (path.rfind(templateFolder + "/", 0) == 0) shared.push_back(static_cast<int>(fd));
  }
  closedir(dir);
  for (const int fd : shared) {
    const int own = open(jobFolder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (own < 0) return false;
    const off_t position = lseek(fd, 0, SEEK_CUR);
    char buffer[65536];
    off_t at = 0;
    ssize_t n;
    while ((n = pread(fd, buffer, sizeof buffer, at)) > 0) {
      if (pwrite(own, buffer, static_cast<std::size_t>(n), at) != n) {
        close(own);
        return false;
      }
      at += n;
    }
    const int flags = fcntl(fd, F_GETFD);
    const bool replaced = n == 0 && (position < 0 || lseek(own, position, SEEK_SET) == position) && dup2(own, fd) == fd;
    close(own);
    if (!replaced) return false;
    if (flags >= 0) fcntl(fd, F_SETFD, flags);
  }
  return true;
}

// Runs of pages: the first address of each and its length in bytes.
using PageRuns = std::vector<std::pair<std::uintptr_t, std::size_t>>;

std::uintptr_t pageSize() { return static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE)); }

// This process's private mappings that may be written.
PageRuns writableMappings() {
  PageRuns mappings;
  FILE* maps = std::fopen("/proc/self/maps", "re");
  if (maps == nullptr) return mappings;
  char line[4096];
  while (std::fgets(line, sizeof line, maps) != nullptr) {
    unsigned long start = 0;
    unsigned long end = 0;
    char permissions[5] = {};
    if (std::sscanf(line, "%lx-%lx %4s", &start, &end, permissions) != 3) continue;
    if (permissions[1] == 'w' && permissions[3] == 'p' && end > start) mappings.emplace_back(start, end - start);
  }
  std::fclose(maps);
  return mappings;
}

// The pages of mappings this process holds alone: those it wrote since it was forked, and
// new ones. From the kernel's page map: present (bit 63) and mapped only here (bit 56).
std::vector<std::uintptr_t> pagesHeldAlone(const PageRuns& mappings) {
  std::vector<std::uintptr_t> pages;
  const int map = open("/proc/self/pagemap", O_RDONLY | O_CLOEXEC);
  if (map < 0) return pages;
  const std::uintptr_t size = pageSize();
  std::vector<std::uint64_t> entries;
  for (const auto& [start, length] : mappings) {
    entries.assign(length / size, 0);
    const auto bytes = static_cast<ssize_t>(entries.size() * sizeof(std::uint64_t));
    if (pread(map, entries.data(), static_cast<std::size_t>(bytes), static_cast<off_t>(start / size * 8)) != bytes) {
      continue;
    }
    for (std::size_t page = 0; page < entries.size(); ++page) {
      if ((entries[page] >> 63 & 1) != 0 && (entries[page] >> 56 & 1) != 0) pages.push_back(start + page * size);
    }
  }
  close(map);
  return pages;
}

PageRuns runsOf(const std::set<std::uintptr_t>& pages) {
  PageRuns runs;
  const std::uintptr_t size = pageSize();
  for (const std::uintptr_t page : pages) {
    if (!runs.empty() && runs.back().first + runs.back().second == page) {
      runs.back().second += size;
    } else {
      runs.emplace_back(page, size);
    }
  }
  return runs;
}

// Room for the job's own memory, taken now: the allocator's heap grows by a block whose pages
// are taken at once, and keeps what the job frees instead of giving it back to the system
// (the copy ends with its job; memory given back would cost a fault a page again, and its
// unmapping a flush). Allocations up to the largest threshold come from that heap.
void makeRoomForTheJob() {
  constexpr std::size_t kRoom = 8 << 20;
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  void* block = std::malloc(kRoom);
  if (block == nullptr) return;
  const std::uintptr_t size = pageSize();
  const std::uintptr_t first = (reinterpret_cast<std::uintptr_t>(block) + size - 1) / size * size;
  const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(block) + kRoom) / size * size;
  madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
  std::free(block);
}

void takeOwnPages(const PageRuns& runs) {
  // Where the kernel cannot do it (a run no longer mapped, an older kernel), the job takes
  // its pages as it writes them.
  for (const auto& [start, length] : runs) madvise(reinterpret_cast<void*>(start), length, MADV_POPULATE_WRITE);
}

// The job, in the forked copy: on the template's image when there is one (the copy has
// taken its own files already), else on an instance of its own started with the job's whole
// command line.
int runJob(const std::vector<std::string>& device, const std::string& input, const std::string& output,
           const std::string& prolog, const std::string& temporaryFolder, JobReporter& reporter) {
  JobContext context(reporter, input);
  Interpreter* interpreter = jobTemplate.get();
  std::unique_ptr<Interpreter> own;
  if (interpreter == nullptr) {
    own = std::make_unique<Interpreter>();
    interpreter = own.get();
    if (!interpreter->created()) {
      reporter.line("Cannot create an interpreter instance.");
      return gs_error_Fatal;
    }
  }
  interpreter->attach(&context);
  int code = 0;
  if (!own) {
    code = interpreter->run(input, output, temporaryFolder, prolog);
  } else {
    std::vector<std::string> arguments = kCommonSwitches;
    arguments.insert(arguments.end(), device.begin(), device.end());
    arguments.push_back("-sOutputFile=" + escapePercent(output));
    arguments.push_back("-c");
    arguments.push_back(pageReporting() + "\n" + prolog);
    arguments.push_back("-f");
    arguments.push_back(input);
    code = interpreter->start(arguments);
  }
  const int exitCode = interpreter->endBeforeExit();
  if (code == 0 || code == gs_error_Quit) code = exitCode;
  context.out.finish();
  context.err.finish();
  return code;
}

// Reads exactly size bytes; false when the other end closed or failed first.
bool readExactly(int fd, void* into, std::size_t size) {
  std::size_t got = 0;
  auto* bytes = static_cast<char*>(into);
  while (got < size) {
    const ssize_t n = read(fd, bytes + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    got += static_cast<std::size_t>(n);
  }
  return true;
}

// Writes all of data; false when the other end is gone.
bool writeAll(int fd, const std::string& data) {
  std::size_t written = 0;
  while (written < data.size()) {
    const ssize_t n = write(fd, data.data() + written, data.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    written += static_cast<std::size_t>(n);
  }
  return true;
}

// What a job's copy of a confined worker keeps of its files: it reads its input and writes
// in the folder of its output and in its temporary folder.
vd::worker::JobFiles jobFiles(const std::string& input, const std::string& output, const std::string& temporaryFolder) {
  const std::size_t slash = output.rfind('/');
  vd::worker::JobFiles files;
  files.readable = {input};
  files.writable = {temporaryFolder};
  if (slash != std::string::npos && slash > 0) files.writable.push_back(output.substr(0, slash));
  return files;
}

// Copies that have ended, or will end soon, and are not yet reaped.
std::vector<pid_t> endingCopies;

void reapEndedCopies() {
  std::erase_if(endingCopies, [](pid_t copy) {
    int status = 0;
    return waitpid(copy, &status, WNOHANG) != 0;
  });
}

// A copy of the worker with the template, forked before its job is known: while the worker
// waits for the job, the copy does what every job's copy must do first (takes its own copies
// of the files the template holds open, of the template's pages jobs write, and room for the
// job's memory), then waits. Given its job, it narrows itself to the job's files, runs it,
// tells its code and ends; the first copies of a template then also tell which of the
// template's pages their jobs wrote. Never given a job, it ends when the worker lets it go.
class JobCopy {
 public:
  // False when no copy could be made. ahead: forked while nothing waits for it, so it also
  // takes the pages jobs write before its job comes.
  bool fork(bool ahead) {
    generation_ = templateGeneration;
    learns_ = copiesLearnedFrom < kCopiesToLearnFrom;
    const PageRuns pages = ahead ? runsOf(pagesJobsWrite) : PageRuns{};
    if (!folder_.ok()) return false;
    int jobPipe[2];
    int codePipe[2];
    if (pipe2(jobPipe, O_CLOEXEC) != 0) return false;
    if (pipe2(codePipe, O_CLOEXEC) != 0) {
      close(jobPipe[0]);
      close(jobPipe[1]);
      return false;
    }
    const pid_t worker = getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
      close(jobPipe[1]);
      close(codePipe[0]);
      serve(worker, jobPipe[0], codePipe[1], pages);
    }
    close(jobPipe[0]);
    close(codePipe[1]);
    if (pid_ < 0) {
      close(jobPipe[1]);
      close(codePipe[0]);
      return false;
    }
    jobFd_ = jobPipe[1];
    codeFd_ = codePipe[0];
    return true;
  }
  ~JobCopy() {
    if (jobFd_ >= 0) close(jobFd_);
    if (codeFd_ >= 0) close(codeFd_);
    // Ends at once when never given its job (it finds its job pipe closed), else it has told
    // its code and only its exit is left.
    if (pid_ > 0) endingCopies.push_back(pid_);
    reapEndedCopies();
  }
  JobCopy() = default;
  JobCopy(const JobCopy&) = delete;
  JobCopy& operator=(const JobCopy&) = delete;

  bool madeFromCurrentTemplate() const { return generation_ == templateGeneration; }
  bool learns() const { return learns_; }

  // After its job: adds the pages of the template the job wrote to those the next copies take.
  void learn() {
    std::uint64_t count = 0;
    if (!madeFromCurrentTemplate() || !readExactly(codeFd_, &count, sizeof count)) return;
    std::vector<std::uintptr_t> pages(static_cast<std::size_t>(std::min<std::uint64_t>(count, kMostPagesLearned)));
    if (count > kMostPagesLearned || !readExactly(codeFd_, pages.data(), pages.size() * sizeof pages[0])) return;
    pagesJobsWrite.insert(pages.begin(), pages.end());
    ++copiesLearnedFrom;
  }

  // The job [input, output, prolog, device switches...] in the copy; its code.
  int run(const std::vector<std::string>& job, JobReporter& reporter) {
    const std::string packed = vd::worker::packTexts(job);
    const std::uint64_t length = packed.size();
    const bool sent = writeAll(jobFd_, std::string(reinterpret_cast<const char*>(&length), sizeof length) + packed);
    close(jobFd_);
    jobFd_ = -1;
    InputProgress progress(reporter, job[0], "/proc/" + std::to_string(pid_));
    pollfd told{codeFd_, POLLIN, 0};
    // The copy's read position, at the rate of a progress bar, until it tells its code.
    while (sent) {
      const int ready = poll(&told, 1, 20);
      if (ready > 0 || (ready < 0 && errno != EINTR)) break;
      progress.poll();
    }
    int code = gs_error_Fatal;
    if (sent && readExactly(codeFd_, &code, sizeof code)) return code;
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    reporter.line(WIFSIGNALED(status) ? "The interpreter ended with signal " + std::to_string(WTERMSIG(status)) + "."
                                      : std::string("The interpreter ended without finishing its job."));
    return gs_error_Fatal;
  }

 private:
  [[noreturn]] void serve(pid_t worker, int jobFd, int codeFd, const PageRuns& pages) {
    // The copy ends with the worker, even a worker killed on its own.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != worker) _exit(1);
    vd::worker::keepMemoryBoundInCopy();
    setenv("TMPDIR", folder_.path().c_str(), 1);
    const bool ownFiles = !jobTemplate || takeOwnCopiesOfOpenFiles(jobTemplate->startFolder(), folder_.path());
    // The template's own, before the room for the job's memory extends them.
    const PageRuns templateMappings = learns_ ? writableMappings() : PageRuns{};
    if (ownFiles) {
      takeOwnPages(pages);
      makeRoomForTheJob();
    }
    std::uint64_t length = 0;
    std::string packed;
    if (!readExactly(jobFd, &length, sizeof length)) _exit(0);
    packed.resize(length);
    std::vector<std::string> job;
    JobReporter reporter;
    try {
      if (!readExactly(jobFd, packed.data(), packed.size())) _exit(0);
      job = vd::worker::unpackTexts(packed);
    } catch (const std::exception&) {
      _exit(1);
    }
    int code = gs_error_Fatal;
    if (!ownFiles) {
      reporter.line("Cannot give the job's interpreter files of its own.");
    } else {
      const std::string& input = job[0];
      const std::string& output = job[1];
      const std::vector<std::string> device(job.begin() + 3, job.end());
      // While it has one thread: the copy reaches the job's own files and no other job's.
      const std::string narrowing = vd::worker::narrowToJob(jobFiles(input, output, folder_.path()));
      if (!narrowing.empty()) {
        reporter.line("Cannot confine the interpreter to its job's files (" + narrowing + ").");
      } else {
        try {
          code = runJob(device, input, output, job[2], folder_.path(), reporter);
        } catch (const std::exception& error) {
          reporter.line(error.what());
        }
      }
    }
    const ssize_t written = write(codeFd, &code, sizeof code);
    if (written != static_cast<ssize_t>(sizeof code)) _exit(1);
    // Once the job is done: which of the template's pages it wrote.
    if (learns_) {
      const std::vector<std::uintptr_t> held = pagesHeldAlone(templateMappings);
      const std::uint64_t count = held.size();
      writeAll(codeFd, std::string(reinterpret_cast<const char*>(&count), sizeof count) +
                           std::string(reinterpret_cast<const char*>(held.data()), held.size() * sizeof held[0]));
    }
    _exit(0);
  }

  // Made and removed here, so it goes with whatever the job left in it, however the job ended.
  TemporaryDirectory folder_{"job"};
  pid_t pid_ = -1;
  int jobFd_ = -1;
  int codeFd_ = -1;
  unsigned generation_ = 0;
  bool learns_ = false;
  // More than a template holds (a few thousand pages): a copy that says so is not believed.
  static constexpr std::uint64_t kMostPagesLearned = 1 << 20;
};

// The copy for the next job, forked while the worker waits for it.
std::unique_ptr<JobCopy> nextCopy;
// The last job's copy, which told its code: let go (its folder removed, and what it learned
// taken) once the job's end has been reported.
std::unique_ptr<JobCopy> lastCopy;

std::unique_ptr<JobCopy> forkCopy(bool ahead) {
  auto copy = std::make_unique<JobCopy>();
  if (!copy->fork(ahead)) return nullptr;
  return copy;
}

void prepareNextJob() {
  if (lastCopy && lastCopy->learns()) lastCopy->learn();
  lastCopy.reset();
  reapEndedCopies();
  makeTemplateFor(lastDevice);
  if (!nextCopy || !nextCopy->madeFromCurrentTemplate()) {
    nextCopy.reset();
    nextCopy = forkCopy(true);
  }
}

// A job is [input, output, prolog, device switches...].
int runInterpreter(const std::vector<std::string>& texts, JobReporter& reporter) {
  if (texts.size() < 4) return -1;
  const std::vector<std::string> device(texts.begin() + 3, texts.end());
  lastDevice = device;
  makeTemplateFor(device);
  std::unique_ptr<JobCopy> copy = std::move(nextCopy);
  if (!copy || !copy->madeFromCurrentTemplate()) {
    copy.reset();
    copy = forkCopy(false);
  }
  if (!copy) {
    reporter.line("Cannot start the job: the worker cannot be copied.");
    return gs_error_Fatal;
  }
  const int code = copy->run(texts, reporter);
  lastCopy = std::move(copy);
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  // The interpreter reads its font maps and resources beyond the system's trees, and needs
  // no socket.
  vd::worker::ConfinementRules rules;
  rules.readable = {"/var/lib/ghostscript", "/etc/ghostscript"};
  const int code = vd::worker::serveConfinedJobs(argc, argv, rules, runInterpreter, prepareNextJob);
  // Before the statics they use go.
  nextCopy.reset();
  lastCopy.reset();
  jobTemplate.reset();
  return code;
}
