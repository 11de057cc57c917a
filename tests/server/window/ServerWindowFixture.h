// The common ground of the windows' tests: an isolated scratch world with recorded message
// boxes and desktop opener; for the main window also an input and an output directory, the
// Distiller printer in the real printer table, a scripted event pump and recording engines.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QLineEdit>
#include <QListView>
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
#include "server/AutoStart.h"
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

// The texts of a list's rows, top to bottom.
inline std::vector<std::string> rowTexts(const QAbstractItemView* view) {
  std::vector<std::string> texts;
  const QAbstractItemModel* model = view->model();
  for (int row = 0; row < model->rowCount(); ++row) texts.push_back(model->index(row, 0).data().toString().toStdString());
  return texts;
}

class ServerWindowFixture : public ::testing::Test, protected WindowDoubles, public FolderPicker {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ensureDirectory(inputDir) && ensureDirectory(outputDir));
  }

  // As the folder picker: records each request and answers with pickedFolder, "" standing
  // for a cancel.
  std::string browseForFolder(QWidget* /*owner*/, const std::string& title, const std::string& startFolder) override {
    pickerRequests.push_back(title + "|" + startFolder);
    return pickedFolder;
  }
  static void installPrinter(const std::string& name) {
    ASSERT_TRUE(printSubsystem().installPrinter(PrinterRecord{.name = name, .driver = "Vellumdock PDF", .port = "VDPDF:"}))
        << name;
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
  // The log line of a conversion of `name` in the input folder.
  std::string arrow(const std::string& name) const {
    return in(name) + " --> " + out(name.substr(0, name.find('.')) + ".pdf");
  }
  static QPushButton* button(Form1& form, const char* name) { return form.findChild<QPushButton*>(name); }
  static QCheckBox* option(Form1& form, const char* name) { return form.findChild<QCheckBox*>(name); }
  static QListView* list(Form1& form) { return form.findChild<QListView*>("List1"); }
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
  // The caption, the buttons of Start and Stop that are shown ("!" when disabled), whether
  // the options can be changed and the pointer.
  static std::string look(Form1& form) {
    std::string look = form.windowTitle().toStdString() + "|";
    for (const auto& [name, word] : {std::pair{"Command1", "start"}, {"Command2", "stop"}}) {
      if (!button(form, name)->isHidden()) look += std::string(word) + (button(form, name)->isEnabled() ? " " : "! ");
    }
    return look + (option(form, "chkOverwrite")->isEnabled() ? "|options free" : "|options locked") +
           (QApplication::overrideCursor() != nullptr ? "|busy" : "|pointer");
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
  std::string pickedFolder;
  std::vector<std::string> pickerRequests;
  ScopedSeam<FolderPicker> pickerSeam{*this};
  EngineScript engine;
  const std::string inputDir = environment.path("home/in dir");
  const std::string outputDir = environment.path("home/out");
};

}  // namespace vd::test
