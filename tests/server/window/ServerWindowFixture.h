// The common ground of the window's tests: an isolated scratch world with an input and an
// output directory, the Distiller printer installed in the real printer table, recorded
// message boxes, a scripted event pump and recording engines.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPushButton>
#include <memory>
#include <string>
#include <vector>

#include "support/ContentChecks.h"
#include "support/IsolatedEnvironment.h"
#include "support/RecordingEngine.h"
#include "support/ServerDoubles.h"
#include "common/Locations.h"
#include "common/Seam.h"
#include "platform/PrintSubsystem.h"
#include "platform/SettingsStore.h"
#include "platform/window/FolderPicker.h"
#include "server/window/Form1.h"

namespace vd::test {

// The folder picker's double: records each request and answers with the folder given,
// "" standing for a cancel.
class ScriptedFolderPicker : public FolderPicker {
 public:
  std::string browseForFolder(QWidget* /*owner*/, const std::string& title, const std::string& startFolder) override {
    requests.push_back(title + "|" + startFolder);
    return answer;
  }
  std::string answer;
  std::vector<std::string> requests;
};

class ServerWindowFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    inputDir = environment.path("home/in dir");
    outputDir = environment.path("home/out");
    ASSERT_TRUE(ensureDirectory(inputDir));
    ASSERT_TRUE(ensureDirectory(outputDir));
  }

  static void installPrinter(const std::string& name) {
    PrinterRecord printer;
    printer.name = name;
    printer.driver = "Vellumdock PDF";
    printer.port = "VDPDF:";
    ASSERT_TRUE(printSubsystem().installPrinter(printer)) << name;
  }
  static void store(const std::string& key, const std::string& value) { settingsStore().write(key, value); }
  void storeDirectories(const std::string& seconds) {
    installPrinter("Adobe PDF");
    store("InputDir", inputDir);
    store("OutputDir", outputDir);
    store("Seconds", seconds);
  }

  std::unique_ptr<Form1> makeForm(const std::string& argumentText = "") {
    return std::make_unique<Form1>(argumentText, RecordingEngineFactory(engine));
  }

  std::string in(const std::string& name) const { return inputDir + "/" + name; }
  std::string out(const std::string& name) const { return outputDir + "/" + name; }
  static QPushButton* button(Form1& form, const char* name) { return form.findChild<QPushButton*>(name); }
  static void clickStop(Form1& form) { button(form, "Command2")->click(); }

  // Starts the cycle with a one-second interval and stops it in the wait of the pass
  // after `passes` complete passes. statusAtPause collects the status line at each pause.
  void runPasses(Form1& form, int passes) {
    pump.onPause = [this, &form, passes](int pause) {
      statusAtPause.push_back(form.statusText());
      if (betweenPasses) betweenPasses(pause);
      if (pause == passes + 1) clickStop(form);
    };
    button(form, "Command1")->click();
  }

  // The log box split into its CR LF terminated lines; a last line without CR LF fails.
  static std::vector<std::string> logLines(const Form1& form) {
    std::vector<std::string> lines;
    const std::string& text = form.logText();
    std::size_t start = 0;
    while (start < text.size()) {
      const std::size_t end = text.find("\r\n", start);
      EXPECT_NE(end, std::string::npos) << "log line without CR LF: " << text.substr(start);
      if (end == std::string::npos) break;
      lines.push_back(text.substr(start, end - start));
      start = end + 2;
    }
    return lines;
  }

  IsolatedEnvironment environment;
  RecordingMessageBoxes messages;
  ScopedSeam<MessageBoxes> messagesSeam{messages};
  ScriptedEventPump pump;
  ScopedSeam<EventPump> pumpSeam{pump};
  RecordingDocumentOpener opener;
  ScopedSeam<DocumentOpener> openerSeam{opener};
  ScriptedFolderPicker picker;
  ScopedSeam<FolderPicker> pickerSeam{picker};
  EngineScript engine;
  std::string inputDir;
  std::string outputDir;
  std::vector<std::string> statusAtPause;
  std::function<void(int)> betweenPasses;
};

}  // namespace vd::test
