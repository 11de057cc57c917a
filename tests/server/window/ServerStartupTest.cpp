// Start-up with its settings and printer check, activation with the argument text, the
// settings store, and the window's option, interval and caption handling.
#include <sys/stat.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>

#include "ServerWindowFixture.h"
#include "registry/clsRegistry.h"
#include "about/AboutText.h"
#include "server/AutoStart.h"
#include "server/window/ServerController.h"

namespace vd::test {
namespace {

class ServerStartupTest : public ServerWindowFixture {
 protected:
  static std::string boxText(Form1& form, const char* name) {
    return form.findChild<QLineEdit*>(name)->text().toStdString();
  }
  static bool checked(Form1& form, const char* name) { return form.findChild<QCheckBox*>(name)->isChecked(); }
  static void leave(Form1& form, const char* name, const std::string& typed,
                    Qt::FocusReason reason = Qt::OtherFocusReason) {
    QLineEdit* box = form.findChild<QLineEdit*>(name);
    box->setText(QString::fromStdString(typed));
    QFocusEvent focusOut(QEvent::FocusOut, reason);
    QCoreApplication::sendEvent(box, &focusOut);
  }
  static std::optional<std::string> stored(const char* key) { return settingsStore().read(key); }
};

TEST_F(ServerStartupTest, FirstRunShowsTheDefaultsAndStoresOnlyTheOverwriteBox) {
  installPrinter("Adobe PDF");
  auto form = makeForm();
  const std::string workDir = environment.path("home/Vellumdock");
  EXPECT_EQ(boxText(*form, "txtInput"), workDir);
  EXPECT_EQ(boxText(*form, "txtOutput"), workDir);
  EXPECT_TRUE(FileExistsOnDisk(workDir));
  EXPECT_EQ(boxText(*form, "txtSeconds"), "5");
  EXPECT_EQ(boxText(*form, "txtWinCaption"), "save pdf file as");
  EXPECT_TRUE(checked(*form, "chkOverwrite"));
  EXPECT_FALSE(checked(*form, "chkAutoRun"));
  EXPECT_FALSE(checked(*form, "chkSecurity"));
  EXPECT_EQ(form->statusText(), kIdlePrompt);
  EXPECT_TRUE(messages.shown.empty());
  // Only the box whose state changed at start-up wrote its setting.
  EXPECT_EQ(stored("Overwrite"), "1");
  for (const char* key : {"InputDir", "OutputDir", "Seconds", "AutoRun", "Security", "WinCaption"}) {
    EXPECT_FALSE(stored(key).has_value()) << key;
  }
  // The start-up engine was made with the program's folder as its temporary path and dropped.
  EXPECT_EQ(engine.enginesCreated, 1);
  EXPECT_EQ(engine.enginesAlive, 0);
  EXPECT_EQ(engine.tempFilePaths, std::vector<std::string>{programDir() + "/"});
}

TEST_F(ServerStartupTest, StoredSettingsAreShownAndUnreadableOnesLeaveTheDesignState) {
  installPrinter("Adobe PDF");
  store("InputDir", "/srv/in box");
  store("OutputDir", "/srv/out");
  store("Seconds", "abc");
  store("Overwrite", "x");
  store("Security", "1");
  store("WinCaption", "Save As");
  auto form = makeForm();
  EXPECT_EQ(boxText(*form, "txtInput"), "/srv/in box");
  EXPECT_EQ(boxText(*form, "txtSeconds"), "0");
  EXPECT_EQ(form->controller().state().Seconds, 0);
  EXPECT_FALSE(checked(*form, "chkOverwrite"));
  EXPECT_EQ(stored("Overwrite"), "x");
  // Security set from the store: stored again, but no notice while loading.
  EXPECT_TRUE(checked(*form, "chkSecurity"));
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(boxText(*form, "txtWinCaption"), "Save As");
  // Each value that cannot be read is said once in the log.
  EXPECT_EQ(form->logText(), "The setting Seconds=abc in " + settingsFilePath() +
                                 " cannot be read; 0 (no wait between passes) is used instead.\r\n"
                                 "The setting Overwrite=x in " + settingsFilePath() +
                                 " cannot be read; 0 (clear) is used instead.\r\n");
}

TEST_F(ServerStartupTest, DistillerPrinterIsFoundByWholeNameInAnyCase) {
  struct Case {
    std::vector<std::string> printers;
    bool warned;
  };
  const std::vector<Case> cases = {{{}, true},
                                   {{"Laser"}, true},
                                   {{"Adobe PDF Pro", "Acrobat Distiller 5"}, true},
                                   {{"Laser", "adobe pdf"}, false},
                                   {{"ACROBAT DISTILLER"}, false}};
  for (const Case& test : cases) {
    IsolatedEnvironment scratch;
    for (const std::string& printer : test.printers) installPrinter(printer);
    messages.shown.clear();
    auto form = makeForm();
    ASSERT_EQ(messages.shown.size(), test.warned ? 1u : 0u) << testing::PrintToString(test.printers);
    if (test.warned) {
      EXPECT_EQ(messages.shown[0].text,
                "The Adobe printer driver 'Adobe PDF' or 'Acrobat Distiller' was not found on this machine. Before "
                "using Vellumdock you must install this from the Adobe Acrobat setup disks.");
    }
    // Start-up goes on all the same.
    EXPECT_EQ(form->statusText(), kIdlePrompt);
  }
}

TEST_F(ServerStartupTest, ActivationWithExactlyMMinimisesAndScans) {
  storeDirectories("1");
  WriteSettledFile(in("a.txt"), "a");
  for (const char* argument : {"M", "-m", ""}) {
    auto form = makeForm(argument);
    form->show();
    QCoreApplication::processEvents();
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(form.get(), &activate);
    EXPECT_FALSE(form->isMinimized()) << argument;
    EXPECT_EQ(pump.pauses, 0) << argument;
  }
  EXPECT_TRUE(engine.calls.empty());

  auto form = makeForm("m");
  bool minimisedWhileScanning = false;
  pump.onPause = [&](int pause) {
    minimisedWhileScanning = form->isMinimized();
    if (pause % 2 == 0) clickStop(*form);
  };
  form->show();
  for (int i = 0; i < 50 && pump.pauses == 0; ++i) QCoreApplication::processEvents();
  if (pump.pauses == 0) {
    // Some platforms activate a window only on request.
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(form.get(), &activate);
  }
  EXPECT_TRUE(minimisedWhileScanning);
  EXPECT_EQ(pump.pauses, 2);
  ASSERT_EQ(engine.calls.size(), 1u);
  EXPECT_FALSE(FileExistsOnDisk(in("a.txt")));
  EXPECT_EQ(form->statusText(), std::string(kIdlePrompt) + "done.");

  // Returning from a message box (as after the security notice) is no activation of the
  // program's window: the stopped cycle stays stopped.
  QMessageBox notice;
  notice.show();
  QApplication::setActiveWindow(&notice);
  QApplication::setActiveWindow(form.get());
  EXPECT_EQ(pump.pauses, 2);
  // Coming back from another window of the program is, and scans again.
  QWidget other;
  other.show();
  QApplication::setActiveWindow(&other);
  QApplication::setActiveWindow(form.get());
  EXPECT_EQ(pump.pauses, 4);
}

TEST_F(ServerStartupTest, IntervalBoxAcceptsNumbersReplacesZeroAndIgnoresText) {
  installPrinter("Adobe PDF");
  auto form = makeForm();
  // What is typed, and what is stored after it.
  for (const auto& [typed, kept] : std::vector<std::pair<std::string, std::string>>{
           {"0", "5"}, {"12", "12"}, {"abc", "12"}, {"40000", "12"}, {"-3", "-3"}, {"2.5", "2"}, {" 3.5 ", "4"}}) {
    leave(*form, "txtSeconds", typed);
    EXPECT_EQ(stored("Seconds"), kept) << typed;
  }
  // A context menu or another application taking the focus does not leave the box.
  for (const Qt::FocusReason reason : {Qt::PopupFocusReason, Qt::ActiveWindowFocusReason}) {
    leave(*form, "txtSeconds", "0", reason);
    EXPECT_EQ(boxText(*form, "txtSeconds"), "0");
    leave(*form, "txtWinCaption", " typing ", reason);
  }
  EXPECT_EQ(stored("Seconds"), "4");
  EXPECT_FALSE(stored("WinCaption").has_value());
  leave(*form, "txtSeconds", "12");
  leave(*form, "txtSeconds", "abc");
  EXPECT_EQ(boxText(*form, "txtSeconds"), "abc");
  EXPECT_EQ(form->controller().state().Seconds, 12);
}

TEST_F(ServerStartupTest, CaptionIsStoredTrimmedWhileTheBoxKeepsItsSpaces) {
  installPrinter("Adobe PDF");
  auto form = makeForm();
  leave(*form, "txtWinCaption", "  Save PDF File As  ");
  EXPECT_EQ(stored("WinCaption"), "Save PDF File As");
  EXPECT_EQ(form->controller().state().WinCaption, "Save PDF File As");
  EXPECT_EQ(boxText(*form, "txtWinCaption"), "  Save PDF File As  ");
}

TEST_F(ServerStartupTest, OptionBoxesStoreTheirStateAndSecurityShowsItsNotice) {
  installPrinter("Adobe PDF");
  auto form = makeForm();
  form->findChild<QCheckBox*>("chkOverwrite")->click();
  EXPECT_EQ(stored("Overwrite"), "0");
  form->findChild<QCheckBox*>("chkSecurity")->click();
  EXPECT_EQ(stored("Security"), "1");
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, "Adobe PDF security settings will be applied to the generated PDF file.");
  EXPECT_EQ(messages.shown[0].icon, MessageIcon::Information);
  form->findChild<QCheckBox*>("chkSecurity")->click();
  EXPECT_EQ(stored("Security"), "0");
  EXPECT_EQ(messages.shown.size(), 1u);

  form->findChild<QCheckBox*>("chkAutoRun")->click();
  EXPECT_EQ(stored("AutoRun"), "1");
  {
    clsRegistry run;
    ASSERT_EQ(run.OpenRegistry(HKEY_LOCAL_MACHINE, kAutoStartKey), -1);
    EXPECT_EQ(run.GetValue("Vellumdock").asText(), AutoStartCommand());
    run.CloseRegistry();
  }
  form->findChild<QCheckBox*>("chkAutoRun")->click();
  EXPECT_EQ(stored("AutoRun"), "0");
  clsRegistry run;
  run.OpenRegistry(HKEY_LOCAL_MACHINE, kAutoStartKey);
  EXPECT_TRUE(run.GetValue("Vellumdock").isEmpty());
}

TEST_F(ServerStartupTest, AutoStartWithoutRightsStoresTheSettingAndSaysNothing) {
  installPrinter("Adobe PDF");
  // The machine's autostart folder lies in a folder only an administrator may write.
  ASSERT_EQ(chmod(environment.path("xdg").c_str(), 0555), 0);
  auto form = makeForm();
  form->findChild<QCheckBox*>("chkAutoRun")->click();
  EXPECT_TRUE(checked(*form, "chkAutoRun"));
  EXPECT_EQ(stored("AutoRun"), "1");
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_FALSE(FileExistsOnDisk(environment.path("xdg/autostart")));
  clsRegistry run;
  run.OpenRegistry(HKEY_LOCAL_MACHINE, kAutoStartKey);
  EXPECT_TRUE(run.GetValue("Vellumdock").isEmpty());
}

TEST_F(ServerStartupTest, BrowseButtonsTakeThePickedFolderAndCancelChangesNothing) {
  storeDirectories("1");
  auto form = makeForm();
  struct Case {
    const char* button;
    const char* box;
    const char* key;
    const char* title;
    std::string answer;
  };
  const std::vector<Case> cases = {
      {"Command4", "txtInput", "InputDir", "Select Input Directory", ""},
      {"Command4", "txtInput", "InputDir", "Select Input Directory", "/srv/new in"},
      {"Command5", "txtOutput", "OutputDir", "Select Output Directory", ""},
      {"Command5", "txtOutput", "OutputDir", "Select Output Directory", "/srv/new out"},
  };
  for (const Case& test : cases) {
    const std::string before = boxText(*form, test.box);
    picker.requests.clear();
    picker.answer = test.answer;
    button(*form, test.button)->click();
    // The picker starts at the folder in force, under the button's title.
    EXPECT_EQ(picker.requests, std::vector<std::string>{std::string(test.title) + "|" + before});
    const std::string expected = test.answer.empty() ? before : test.answer;
    EXPECT_EQ(boxText(*form, test.box), expected) << test.button << " " << test.answer;
    EXPECT_EQ(stored(test.key), expected) << test.button << " " << test.answer;
  }
  EXPECT_EQ(form->controller().state().InputDir, "/srv/new in");
  EXPECT_EQ(form->controller().state().OutputDir, "/srv/new out");
}

TEST_F(ServerStartupTest, HelpKeyOpensTheHelpFileOnlyWithoutModifiersAlsoWhileScanning) {
  storeDirectories("1");
  auto form = makeForm();
  form->show();
  QApplication::setActiveWindow(form.get());
  QLineEdit* focused = form->findChild<QLineEdit*>("txtWinCaption");
  focused->setFocus();
  const auto press = [&](Qt::Key key, Qt::KeyboardModifiers modifiers) {
    QKeyEvent event(QEvent::KeyPress, key, modifiers);
    QCoreApplication::sendEvent(focused, &event);
  };
  const std::string helpFile = HelpFilePath(programDir());
  struct Case {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    bool opens;
  };
  for (const Case& test : std::vector<Case>{{Qt::Key_F1, Qt::NoModifier, true},
                                            {Qt::Key_F1, Qt::ShiftModifier, false},
                                            {Qt::Key_F1, Qt::ControlModifier, false},
                                            {Qt::Key_F1, Qt::AltModifier, false},
                                            {Qt::Key_F2, Qt::NoModifier, false}}) {
    opener.opened.clear();
    press(test.key, test.modifiers);
    EXPECT_EQ(opener.opened, test.opens ? std::vector<std::string>{helpFile} : std::vector<std::string>{})
        << test.key << " " << test.modifiers;
  }
  // During a scan the key works at the cycle's check points.
  opener.opened.clear();
  pump.onPause = [&](int pause) {
    if (pause == 1) press(Qt::Key_F1, Qt::NoModifier);
    if (pause == 2) clickStop(*form);
  };
  button(*form, "Command1")->click();
  EXPECT_EQ(opener.opened, std::vector<std::string>{helpFile});
}

TEST_F(ServerStartupTest, AboutButtonOpensTheAboutWindowModally) {
  installPrinter("Adobe PDF");
  auto form = makeForm();
  form->show();
  std::string shownText;
  bool modal = false;
  QTimer::singleShot(0, [&] {
    auto* about = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (about == nullptr) return;
    modal = about->objectName() == "frmAbout" && about->isModal() && about->parentWidget() == form.get();
    shownText = about->findChild<QPlainTextEdit*>("Text1")->toPlainText().toStdString();
    about->findChild<QPushButton*>("Command1")->click();
  });
  button(*form, "cmdHelp")->click();
  EXPECT_TRUE(modal);
  EXPECT_EQ(shownText.substr(0, shownText.find('\n')), "Vellumdock " + VersionText());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

}  // namespace
}  // namespace vd::test
