// How long a pass over many files takes from its start until the first conversion begins:
// the listing, the report of the list and, with the window, the file list showing it. Run
// once by the scan cycle alone and once by the window (offscreen), each on a fresh input
// directory of settled text files, against the target of one second for 10,000 files.
//
//   bench_scanpass [files...]      (default 10000; several counts show how the time grows)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QPushButton>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/Locations.h"
#include "common/Seam.h"
#include "engine/CreatePDF.h"
#include "platform/MessageBoxes.h"
#include "platform/SettingsStore.h"
#include "server/ScanCycle.h"
#include "server/window/Form1.h"

namespace {

using Clock = std::chrono::steady_clock;

// The first conversion only marks the moment and asks for the stop.
class FirstConversionMark : public vd::Converter {
 public:
  FirstConversionMark(std::optional<Clock::time_point>& began, std::function<void()> stop)
      : began_(began), stop_(std::move(stop)) {}
  std::string name() const override { return "first conversion"; }
  void convert(vd::EngineObject&, vd::ConversionCall&) override {
    if (!began_) began_ = Clock::now();
    stop_();
  }

 private:
  std::optional<Clock::time_point>& began_;
  std::function<void()> stop_;
};

// An engine whose every conversion goes to the mark.
std::unique_ptr<vd::CreatePDF> FirstConversion(std::optional<Clock::time_point>& began, std::function<void()> stop) {
  vd::ConverterRegistry converters;
  converters.addFallback(std::make_unique<FirstConversionMark>(began, std::move(stop)));
  return std::make_unique<vd::CreatePDF>(vd::EngineDetection{}, vd::StandInFactories{}, std::move(converters));
}

class SilentMessages : public vd::MessageBoxes {
 public:
  void show(const std::string&, const std::string&, vd::MessageIcon) override {}
};

class CountingObserver : public vd::ScanObserver {
 public:
  void statusChanged(const std::string&) override {}
  void filesListed(const std::vector<std::string>& names) override { listed += names.size(); }
  void entryHighlighted(int) override {}
  void logLine(const std::string&) override {}
  void fileConverted(const std::string&, const std::string&, int) override {}
  void fileFailed(const std::string&, const std::string&) override {}
  std::size_t listed = 0;
};

// A fresh input directory of settled files (written a minute ago).
std::string makeInput(const std::string& scratch, const std::string& name, int files) {
  const std::string dir = scratch + "/" + name;
  vd::ensureDirectory(dir);
  const timespec minuteAgo{std::time(nullptr) - 60, 0};
  const timespec times[2] = {minuteAgo, minuteAgo};
  for (int i = 0; i < files; ++i) {
    char file[32];
    std::snprintf(file, sizeof file, "/file%06d.txt", i);
    const std::string path = dir + file;
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || write(fd, "text\n", 5) != 5) std::fprintf(stderr, "cannot write %s\n", path.c_str());
    if (fd >= 0) close(fd);
    utimensat(AT_FDCWD, path.c_str(), times, 0);
  }
  return dir;
}

double secondsBetween(Clock::time_point start, const std::optional<Clock::time_point>& end) {
  return end ? std::chrono::duration<double>(*end - start).count() : -1.0;
}

double cycleAlone(const std::string& input, const std::string& output) {
  std::optional<Clock::time_point> began;
  CountingObserver observer;
  vd::ScanCycle* running = nullptr;
  vd::ScanCycle cycle(vd::ScanSettings{input, output, 0, true, false, "", false}, observer,
                      [&] { return FirstConversion(began, [&] { running->requestStop(); }); });
  running = &cycle;
  const Clock::time_point start = Clock::now();
  cycle.run();
  return secondsBetween(start, began);
}

double window(const std::string& input, const std::string& output) {
  vd::settingsStore().write("InputDir", input);
  vd::settingsStore().write("OutputDir", output);
  vd::settingsStore().write("Seconds", "0");
  std::optional<Clock::time_point> began;
  std::unique_ptr<vd::Form1> form;
  const auto click = [&](const char* name) { form->findChild<QPushButton*>(name)->click(); };
  form = std::make_unique<vd::Form1>("", [&] { return FirstConversion(began, [&] { click("Command2"); }); });
  form->show();
  QCoreApplication::processEvents();
  const Clock::time_point start = Clock::now();
  click("Command1");
  return secondsBetween(start, began);
}

}  // namespace

int main(int argc, char** argv) {
  char pattern[] = "/tmp/bench-scanpass-XXXXXX";
  const std::string scratch = mkdtemp(pattern);
  // Everything the program keeps goes into the scratch directory.
  for (const char* folder : {"home", "config", "data", "xdg", "runtime", "machine", "out"}) {
    vd::ensureDirectory(scratch + "/" + folder, 0700);
  }
  setenv("HOME", (scratch + "/home").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (scratch + "/config").c_str(), 1);
  setenv("XDG_DATA_HOME", (scratch + "/data").c_str(), 1);
  setenv("XDG_CONFIG_DIRS", (scratch + "/xdg").c_str(), 1);
  setenv("XDG_RUNTIME_DIR", (scratch + "/runtime").c_str(), 1);
  setenv("VELLUMDOCK_MACHINE_DIR", (scratch + "/machine").c_str(), 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication application(argc, argv);
  SilentMessages silent;
  vd::ScopedSeam<vd::MessageBoxes> noDialogs(silent);

  std::vector<int> counts;
  for (int i = 1; i < argc; ++i) counts.push_back(std::atoi(argv[i]));
  if (counts.empty()) counts.push_back(10000);

  std::printf("%8s %16s %16s\n", "files", "cycle alone (s)", "window (s)");
  int run = 0;
  for (const int files : counts) {
    const std::string output = scratch + "/out";
    const double alone = cycleAlone(makeInput(scratch, "in" + std::to_string(++run), files), output);
    const double shown = window(makeInput(scratch, "in" + std::to_string(++run), files), output);
    std::printf("%8d %16.3f %16.3f\n", files, alone, shown);
  }
  std::printf("(from the start of a pass to its first conversion; target < 1.000 s for 10000 files)\n");
  std::error_code ignored;
  std::filesystem::remove_all(scratch, ignored);
  return 0;
}
