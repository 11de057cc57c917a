// The common ground of the windows' tests: an isolated scratch world with recorded message
// boxes and desktop opener; for the main window also an input and an output directory, the
// Distiller printer in the real printer table, a scripted event pump and recording engines.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPushButton>
#include <memory>
#include <optional>
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

// What every window's test stands on: a scratch world, message boxes and a desktop opener
// that record instead of showing.
struct WindowDoubles {
  IsolatedEnvironment environment;
  RecordingMessageBoxes messages;
  ScopedSeam<MessageBoxes> messagesSeam{messages};
  RecordingDocumentOpener opener;
  ScopedSeam<DocumentOpener> openerSeam{opener};
};

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

class ServerWindowFixture : public ::testing::Test, protected WindowDoubles {
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
  static std::optional<std::string> stored(const char* key) { return settingsStore().read(key); }
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
  static std::string boxText(Form1& form, const char* name) {
    return form.findChild<QLineEdit*>(name)->text().toStdString();
  }
  // Types into a box and leaves it, as the focus moving on does.
  static void leave(Form1& form, const char* name, const std::string& typed,
                    Qt::FocusReason reason = Qt::OtherFocusReason) {
    QLineEdit* box = form.findChild<QLineEdit*>(name);
    box->setText(QString::fromStdString(typed));
    QFocusEvent focusOut(QEvent::FocusOut, reason);
    QCoreApplication::sendEvent(box, &focusOut);
  }

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
    const QString text = QString::fromStdString(form.logText());
    EXPECT_TRUE(text.isEmpty() || text.endsWith("\r\n")) << "log line without CR LF: " << text.toStdString();
    std::vector<std::string> lines;
    for (const QString& line : text.split("\r\n", Qt::KeepEmptyParts)) lines.push_back(line.toStdString());
    lines.pop_back();
    return lines;
  }

  ScriptedEventPump pump;
  ScopedSeam<EventPump> pumpSeam{pump};
  ScriptedFolderPicker picker;
  ScopedSeam<FolderPicker> pickerSeam{picker};
  EngineScript engine;
  std::string inputDir;
  std::string outputDir;
  std::vector<std::string> statusAtPause;
  std::function<void(int)> betweenPasses;
};

}  // namespace vd::test
