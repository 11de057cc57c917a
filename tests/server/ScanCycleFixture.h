// The common ground of the scan cycle's tests without a window: an isolated scratch world
// with an input and an output directory, a recording observer, recorded message boxes, a
// scripted event pump and recording engines (or the real one).
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/Locations.h"
#include "common/Seam.h"
#include "server/ScanCycle.h"
#include "server/ScanObserver.h"
#include "support/ContentChecks.h"
#include "support/IsolatedEnvironment.h"
#include "support/RecordingEngine.h"
#include "support/ServerDoubles.h"

namespace vd::test {

// Everything a cycle reported, in order per kind; onLine sees each log line as it is written.
class RecordingObserver : public ScanObserver {
 public:
  void statusChanged(const std::string& text) override { statuses.push_back(text); }
  void filesListed(const std::vector<std::string>& names) override { lists.push_back(names); }
  void entryHighlighted(int) override {}
  void logLine(const std::string& line) override {
    log.push_back(line);
    if (onLine) onLine(line);
  }
  void fileConverted(const std::string& input, const std::string& output, int /*pages*/) override {
    converted.emplace_back(input, output);
  }
  void fileFailed(const std::string& input, const std::string& reason) override { failed.emplace_back(input, reason); }

  std::vector<std::string> statuses;
  std::vector<std::vector<std::string>> lists;
  std::vector<std::string> log;
  std::vector<std::pair<std::string, std::string>> converted;
  std::vector<std::pair<std::string, std::string>> failed;
  std::function<void(const std::string&)> onLine;
};

class ScanCycleFixture : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(ensureDirectory(inputDir) && ensureDirectory(outputDir)); }

  // One-second interval, overwrite set, security clear, as a first start leaves them.
  ScanSettings settings() const { return ScanSettings{inputDir, outputDir, 1, true, false, "", false}; }

  // A cycle with the recording engine, or with the real one once realEngine is set.
  ScanCycle& makeCycle(const ScanSettings& scanSettings) {
    const auto onLine = observer.onLine;
    observer = RecordingObserver{};
    observer.onLine = onLine;
    cycle = std::make_unique<ScanCycle>(scanSettings, observer,
                                        realEngine ? defaultEngineFactory() : RecordingEngineFactory(engine));
    return *cycle;
  }

  // Runs a cycle and stops it in the wait of the pass after `passes` complete passes;
  // betweenPasses(k) runs in the wait before pass k.
  void runPasses(const ScanSettings& scanSettings, int passes) {
    ScanCycle& running = makeCycle(scanSettings);
    pump.pauses = 0;
    pump.onPause = [this, &running, passes](int pause) {
      if (betweenPasses) betweenPasses(pause);
      if (pause == passes + 1) running.requestStop();
    };
    running.run();
  }
  void runPasses(int passes) { runPasses(settings(), passes); }

  void emptyFolders() {
    for (const std::string& folder : {inputDir, outputDir}) {
      std::filesystem::remove_all(folder);
      ASSERT_TRUE(ensureDirectory(folder));
    }
  }

  std::string in(const std::string& name) const { return inputDir + "/" + name; }
  std::string out(const std::string& name) const { return outputDir + "/" + name; }
  std::string arrow(const std::string& name, const std::string& pdf) const { return in(name) + " --> " + out(pdf); }

  IsolatedEnvironment environment;
  RecordingMessageBoxes messages;
  ScopedSeam<MessageBoxes> messagesSeam{messages};
  ScriptedEventPump pump;
  ScopedSeam<EventPump> pumpSeam{pump};
  EngineScript engine;
  bool realEngine = false;
  RecordingObserver observer;
  std::unique_ptr<ScanCycle> cycle;
  const std::string inputDir = environment.path("home/in dir");
  const std::string outputDir = environment.path("home/out");
  std::function<void(int)> betweenPasses;
};

}  // namespace vd::test
