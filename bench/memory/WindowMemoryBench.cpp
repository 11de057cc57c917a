// Whether the window's memory stays flat over a long run: the built `vellumdk m` runs on
// the offscreen platform in a scratch environment and converts small images dropped into
// its input folder in batches; its resident memory is read from /proc after 500
// conversions and after 5,000 (and every 1,000 in between). Each conversion writes one
// line to the log box, which holds at most 10,000 lines: a run past 10,000 conversions
// shows the bound at work.
// Target: after 5,000 at most 10% above after 500.
//
//   bench_memory [conversions]     (default 5000; the first reading is at a tenth of it)
#include <unistd.h>

#include <QCoreApplication>
#include <QImage>
#include <QProcess>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

long residentKilobytes(qint64 pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string key;
  while (status >> key) {
    long value = 0;
    if (key == "VmRSS:" && status >> value) return value;
  }
  return -1;
}

std::size_t entries(const fs::path& folder) {
  std::size_t count = 0;
  for (const auto& entry : fs::directory_iterator(folder)) count += entry.is_regular_file() ? 1 : 0;
  return count;
}

// Drops `count` images into the input folder and waits until the window has taken them all.
bool convertBatch(const fs::path& input, const fs::path& image, int first, int count, QProcess& window) {
  for (int i = 0; i < count; ++i) {
    const fs::path target = input / ("image " + std::to_string(first + i) + ".png");
    fs::copy_file(image, target);
    // Older than a second: not taken for a file still being written.
    fs::last_write_time(target, fs::file_time_type::clock::now() - std::chrono::seconds(5));
  }
  const auto deadline = Clock::now() + std::chrono::seconds(600);
  while (entries(input) > 0) {
    if (window.state() != QProcess::Running || Clock::now() > deadline) return false;
    QThread::msleep(100);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  const int total = argc > 1 ? std::atoi(argv[1]) : 5000;
  const int early = total / 10;
  const fs::path build = fs::path(argv[0]).parent_path().parent_path();
  const fs::path programs = build / "lib/vellumdock";
  const fs::path scratch = fs::temp_directory_path() / ("vellumdock-memory-" + std::to_string(getpid()));
  for (const char* folder : {"home", "config", "data", "state", "xdg", "runtime", "machine", "in", "out"}) {
    fs::create_directories(scratch / folder);
  }
  fs::permissions(scratch / "runtime", fs::perms::owner_all);
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  const std::pair<const char*, const char*> places[] = {
      {"HOME", "home"},          {"XDG_CONFIG_HOME", "config"}, {"XDG_DATA_HOME", "data"},
      {"XDG_STATE_HOME", "state"}, {"XDG_CONFIG_DIRS", "xdg"},  {"XDG_RUNTIME_DIR", "runtime"},
      {"VELLUMDOCK_MACHINE_DIR", "machine"}};
  for (const auto& [variable, folder] : places) environment.insert(variable, QString::fromStdString((scratch / folder).string()));
  environment.insert("VELLUMDOCK_PROGRAM_DIR", QString::fromStdString(programs.string()));
  environment.insert("VELLUMDOCK_HELPER_DIR", QString::fromStdString((build / "libexec/vellumdock").string()));
  environment.insert("QT_QPA_PLATFORM", "offscreen");

  // The settings the window starts with: the scratch folders, one second between passes.
  fs::create_directories(scratch / "config/Vellumdock");
  std::ofstream(scratch / "config/Vellumdock/Vellumdock.conf")
      << "[Options]\nInputDir=" << (scratch / "in").string() << "\nOutputDir=" << (scratch / "out").string()
      << "\nSeconds=1\nOverwrite=1\n";
  QProcess setup;
  setup.setProcessEnvironment(environment);
  setup.start(QString::fromStdString((programs / "vellumdk-setup").string()), {});
  if (!setup.waitForFinished(60000) || setup.exitCode() != 0) {
    std::fprintf(stderr, "bench_memory: vellumdk-setup failed\n");
    return 1;
  }
  QImage picture(24, 16, QImage::Format_RGB32);
  picture.fill(Qt::darkCyan);
  const fs::path image = scratch / "image.png";
  picture.save(QString::fromStdString(image.string()), "PNG");

  QProcess window;
  window.setProcessEnvironment(environment);
  window.setStandardOutputFile(QProcess::nullDevice());
  window.setStandardErrorFile(QProcess::nullDevice());
  window.start(QString::fromStdString((programs / "vellumdk").string()), {"m"});
  if (!window.waitForStarted()) {
    std::fprintf(stderr, "bench_memory: vellumdk did not start\n");
    return 1;
  }
  const auto started = Clock::now();
  const int batch = 250;
  long afterEarly = -1;
  bool ok = true;
  for (int done = 0; done < total && ok;) {
    const int count = std::min({batch, total - done, done < early ? early - done : batch});
    ok = convertBatch(scratch / "in", image, done, count, window);
    done += count;
    if (done == early) {
      QThread::msleep(1500);
      afterEarly = residentKilobytes(window.processId());
    }
    if (done % 1000 == 0 && done < total) {
      std::printf("after %6d conversions: %7ld kB\n", done, residentKilobytes(window.processId()));
      std::fflush(stdout);
    }
  }
  QThread::msleep(1500);
  const long afterAll = residentKilobytes(window.processId());
  const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
  const std::size_t pdfs = entries(scratch / "out");
  window.kill();
  window.waitForFinished();
  std::error_code ignored;
  fs::remove_all(scratch, ignored);
  if (!ok || afterEarly <= 0 || afterAll <= 0) {
    std::fprintf(stderr, "bench_memory: the window stopped converting (%zu PDFs made)\n", pdfs);
    return 1;
  }
  const double ratio = static_cast<double>(afterAll) / static_cast<double>(afterEarly);
  std::printf("vellumdk m, %d small PNG images in batches of %d, %.0f s, %zu PDFs made\n", total, batch, seconds, pdfs);
  std::printf("resident memory after %5d conversions: %7ld kB\n", early, afterEarly);
  std::printf("resident memory after %5d conversions: %7ld kB\n", total, afterAll);
  std::printf("ratio %.3f, target <= 1.10: %s\n", ratio, ratio <= 1.10 ? "met" : "MISSED");
  return ratio <= 1.10 ? 0 : 1;
}
