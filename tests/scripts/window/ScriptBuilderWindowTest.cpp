// The script builder's window on the offscreen platform, driven through its real widgets:
// the folder and file lists with their labels, building and editing the script, the
// questions and the save dialog (answered by doubles), the file it writes, and that file
// run as a script by the built vellumdkd.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <chrono>
#include <string>
#include <vector>

#include "common/Locations.h"
#include "common/Seam.h"
#include "platform/DocumentOpener.h"
#include "platform/FileDialogs.h"
#include "platform/SettingsStore.h"
#include "scripts/FolderBrowsing.h"
#include "scripts/window/frmScripts.h"
#include "support/ContentChecks.h"
#include "support/IsolatedEnvironment.h"
#include "support/RunningProgram.h"
#include "support/ServerDoubles.h"

namespace vd::test {
namespace {

class AnsweringFileDialogs : public FileDialogs {
 public:
  std::string saveFileName(const SaveFileQuestion& question) override {
    asked.push_back(question);
    return answer;
  }
  std::string answer;
  std::vector<SaveFileQuestion> asked;
};

class RecordingOpener : public DocumentOpener {
 public:
  bool open(const std::string& path) override {
    opened.push_back(path);
    return true;
  }
  std::vector<std::string> opened;
};

class ScriptBuilderWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The window starts in the program's folder: here a scratch folder with three files.
    ASSERT_TRUE(ensureDirectory(programFolder_ + "/one"));
    ASSERT_TRUE(ensureDirectory(programFolder_ + "/empty"));
    ASSERT_TRUE(ensureDirectory(programFolder_ + "/.hidden folder"));
    WriteBytes(programFolder_ + "/big.ps", std::string(1234567, '%'));
    WriteBytes(programFolder_ + "/b.txt", "b");
    WriteBytes(programFolder_ + "/c d.doc", "c");
    WriteBytes(programFolder_ + "/.hidden", "h");
    WriteBytes(programFolder_ + "/one/only.pdf", "o");
    environment_.set("VELLUMDOCK_PROGRAM_DIR", programFolder_);
  }

  std::unique_ptr<frmScripts> open() {
    auto window = std::make_unique<frmScripts>();
    window->show();
    return window;
  }
  template <class Widget>
  static Widget* control(frmScripts& window, const char* name) {
    auto* widget = window.findChild<Widget*>(name);
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  static QString text(frmScripts& window, const char* label) { return control<QLabel>(window, label)->text(); }
  static void click(frmScripts& window, const char* button) {
    QPushButton* target = control<QPushButton>(window, button);
    ASSERT_TRUE(target->isVisible()) << button;
    QTest::mouseClick(target, Qt::LeftButton);
  }
  static void doubleClick(QListWidget* list, int row) {
    const QRect place = list->visualItemRect(list->item(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, place.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, place.center());
  }
  static int rowOf(frmScripts& window, const char* list, const std::string& name) {
    const auto items = control<QListWidget>(window, list)->findItems(QString::fromStdString(name), Qt::MatchExactly);
    EXPECT_EQ(items.size(), 1) << name;
    return items.isEmpty() ? -1 : control<QListWidget>(window, list)->row(items.front());
  }
  static void addFile(frmScripts& window, const std::string& name) {
    control<QListWidget>(window, "List1")->setCurrentRow(rowOf(window, "List1", name));
    click(window, "cmdAdd");
  }
  static std::vector<std::string> entries(frmScripts& window) {
    std::vector<std::string> texts;
    auto* list = control<QListWidget>(window, "List2");
    for (int row = 0; row < list->count(); ++row) texts.push_back(list->item(row)->text().toStdString());
    return texts;
  }
  static void browse(frmScripts& window, const std::string& folder) {
    auto* tree = control<QTreeWidget>(window, "Dir1");
    const auto found = tree->findItems(QString::fromStdString(fileNameOf(folder)), Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(found.size(), 1) << folder;
    emit tree->itemActivated(found.front(), 0);
  }
  static std::string fileNameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }
  // Which of the buttons that come and go are shown, in a fixed order.
  static std::string shownButtons(frmScripts& window) {
    std::string shown;
    for (const char* name : {"cmdAdd", "cmdDelete", "cmdUp", "cmdDown", "cmdClear", "cmdSave"}) {
      if (control<QPushButton>(window, name)->isVisible()) shown += std::string(shown.empty() ? "" : " ") + name;
    }
    return shown;
  }
  std::string in(const std::string& name) const { return programFolder_ + "/" + name; }

  IsolatedEnvironment environment_;
  const std::string programFolder_ = environment_.path("home/program folder");
  RecordingMessageBoxes messages_;
  ScopedSeam<MessageBoxes> messageSeam_{messages_};
  AnsweringFileDialogs dialogs_;
  ScopedSeam<FileDialogs> dialogSeam_{dialogs_};
  RecordingOpener opener_;
  ScopedSeam<DocumentOpener> openerSeam_{opener_};
};

TEST_F(ScriptBuilderWindowTest, ShowsTheProgramFolderAndCountsTheFilesOfEachFolder) {
  settingsStore().write("UNC", "1");
  auto window = open();
  EXPECT_EQ(window->windowTitle().toStdString(),
            "Script File Builder - build a script file of a list of files from which a single PDF file can be created");
  const std::vector<std::pair<const char*, const char*>> captions = {
      {"cmdAdd", "&Add file to list"}, {"cmdDelete", "&Delete"}, {"cmdClear", "&Clear List"},
      {"cmdSave", "&Save list to file"}};
  for (const auto& [name, caption] : captions) EXPECT_EQ(control<QPushButton>(*window, name)->text(), caption) << name;
  EXPECT_EQ(control<QCheckBox>(*window, "chkUNC")->text(), "UNC Paths");
  EXPECT_TRUE(control<QCheckBox>(*window, "chkUNC")->isChecked());
  EXPECT_EQ(control<QComboBox>(*window, "Drive1")->toolTip(), " Select drive ");
  EXPECT_EQ(control<QTreeWidget>(*window, "Dir1")->toolTip(), " Select directory ");
  EXPECT_EQ(shownButtons(*window), "");

  // The root, each folder down to the program folder, then its visible subfolders.
  std::vector<std::string> folders;
  for (const FolderEntry& folder : FolderTree(programFolder_)) folders.push_back(folder.name);
  EXPECT_EQ(std::vector<std::string>(folders.end() - 3, folders.end()),
            (std::vector<std::string>{"program folder", "empty", "one"}));
  EXPECT_EQ(folders.front(), "/");

  struct Case {
    std::string folder;
    std::vector<std::string> files;
    std::string label;
    std::string tooltip;
  };
  const std::vector<Case> cases = {
      {programFolder_, {"b.txt", "big.ps", "c d.doc"}, "3 files", " Double-click on file to add to list "},
      {programFolder_ + "/one", {"only.pdf"}, "1 file", " Double-click on file to add to list "},
      {programFolder_ + "/empty", {}, "", ""},
  };
  for (const Case& c : cases) {
    if (c.folder != programFolder_) browse(*window, c.folder);
    std::vector<std::string> files;
    for (int row = 0; row < control<QListWidget>(*window, "List1")->count(); ++row) {
      files.push_back(control<QListWidget>(*window, "List1")->item(row)->text().toStdString());
    }
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, c.files) << c.folder;
    EXPECT_EQ(text(*window, "Label2").toStdString(), c.label) << c.folder;
    EXPECT_EQ(control<QListWidget>(*window, "List1")->toolTip().toStdString(), c.tooltip) << c.folder;
    EXPECT_EQ(window->builder().directory(), c.folder);
    if (c.folder == programFolder_) {
      // A chosen file shows its date and its size with grouped thousands, and the add button.
      control<QListWidget>(*window, "List1")->setCurrentRow(rowOf(*window, "List1", "big.ps"));
      const QString separator = QLocale::system().groupSeparator().isEmpty() ? "," : QLocale::system().groupSeparator();
      EXPECT_TRUE(text(*window, "Label1").endsWith("  1" + separator + "234" + separator + "567")) << text(*window, "Label1").toStdString();
      EXPECT_EQ(shownButtons(*window), "cmdAdd");
    } else {
      EXPECT_EQ(text(*window, "Label1"), "");
    }
    // Going back up is a folder of the list too.
    browse(*window, programFolder_);
  }
  EXPECT_EQ(FormatFileSize(0), "0");
  EXPECT_EQ(FormatFileSize(999), "999");
  EXPECT_EQ(FormatFileSize(1000), "1,000");
  EXPECT_EQ(FormatFileSize(123456789012), "123,456,789,012");
}

TEST_F(ScriptBuilderWindowTest, BuildsEditsAndSavesTheScript) {
  auto window = open();
  addFile(*window, "b.txt");
  EXPECT_EQ(text(*window, "lblTot"), "1 files");
  EXPECT_EQ(control<QListWidget>(*window, "List2")->toolTip(), " Double-click on file to open ");
  EXPECT_EQ(shownButtons(*window), "cmdAdd cmdClear cmdSave");
  addFile(*window, "big.ps");
  doubleClick(control<QListWidget>(*window, "List1"), rowOf(*window, "List1", "c d.doc"));
  addFile(*window, "b.txt");  // the same file twice gives two entries
  EXPECT_EQ(entries(*window), (std::vector<std::string>{in("b.txt"), in("big.ps"), in("c d.doc"), in("b.txt")}));
  EXPECT_EQ(text(*window, "lblTot"), "4 files");

  // Up and down move the entry and the selection with it; nothing moves past either end.
  struct Move {
    int select;
    const char* button;
    std::vector<std::string> after;
    int selectedAfter;
  };
  const std::vector<Move> moves = {
      {0, "cmdUp", {in("b.txt"), in("big.ps"), in("c d.doc"), in("b.txt")}, 0},
      {3, "cmdDown", {in("b.txt"), in("big.ps"), in("c d.doc"), in("b.txt")}, 3},
      {1, "cmdDown", {in("b.txt"), in("c d.doc"), in("big.ps"), in("b.txt")}, 2},
      {-1, "cmdDown", {in("b.txt"), in("c d.doc"), in("b.txt"), in("big.ps")}, 3},
      {-1, "cmdUp", {in("b.txt"), in("c d.doc"), in("big.ps"), in("b.txt")}, 2},
      {0, "cmdDelete", {in("c d.doc"), in("big.ps"), in("b.txt")}, -1},
  };
  for (const Move& move : moves) {
    if (move.select >= 0) control<QListWidget>(*window, "List2")->setCurrentRow(move.select);
    EXPECT_EQ(shownButtons(*window), "cmdAdd cmdDelete cmdUp cmdDown cmdClear cmdSave") << move.button;
    click(*window, move.button);
    EXPECT_EQ(entries(*window), move.after) << move.button;
    EXPECT_EQ(control<QListWidget>(*window, "List2")->currentRow(), move.selectedAfter) << move.button;
  }
  EXPECT_EQ(shownButtons(*window), "cmdAdd cmdClear cmdSave");
  EXPECT_EQ(text(*window, "lblTot"), "3 files");

  // Saved under a name typed without an extension: ".scr" is added; CR LF after every line.
  const std::string scripts = environment_.path("home/Scripts");
  ASSERT_TRUE(ensureDirectory(scripts));
  dialogs_.answer = scripts + "/joined";
  click(*window, "cmdSave");
  ASSERT_EQ(dialogs_.asked.size(), 1u);
  EXPECT_EQ(dialogs_.asked[0].title, "Save Script File");
  EXPECT_EQ(dialogs_.asked[0].filter, "Script Files (*.scr)|*.scr");
  EXPECT_EQ(dialogs_.asked[0].defaultName, "multiple.scr");
  EXPECT_EQ(dialogs_.asked[0].initialDir, defaultWorkDir());
  EXPECT_EQ(ReadBytes(scripts + "/joined.scr"), in("c d.doc") + "\r\n" + in("big.ps") + "\r\n" + in("b.txt") + "\r\n");
  EXPECT_FALSE(FileExistsOnDisk(scripts + "/joined"));
  ASSERT_EQ(messages_.shown.size(), 1u);
  EXPECT_EQ(messages_.shown[0].text, "Script file " + scripts + "/joined.scr saved.");
  EXPECT_EQ(messages_.shown[0].title, "Vellumdock");
  EXPECT_EQ(settingsStore().read("ScriptDir"), scripts);

  // The next save offers that folder; a cancelled dialog writes and stores nothing.
  dialogs_.answer = "";
  click(*window, "cmdSave");
  EXPECT_EQ(dialogs_.asked.back().initialDir, scripts);
  EXPECT_EQ(messages_.shown.size(), 1u);

  // A script that could not be written is not reported as saved.
  dialogs_.answer = environment_.path("home/no such folder/x.scr");
  click(*window, "cmdSave");
  ASSERT_EQ(messages_.shown.size(), 2u);
  EXPECT_EQ(messages_.shown[1].icon, MessageIcon::Critical);
  EXPECT_EQ(messages_.shown[1].text.find("saved."), std::string::npos) << messages_.shown[1].text;

  // A double-click opens an entry with its application.
  doubleClick(control<QListWidget>(*window, "List2"), 1);
  EXPECT_EQ(opener_.opened, std::vector<std::string>{in("big.ps")});

  // Clear asks first: No keeps the script, Yes empties it and hides its buttons.
  click(*window, "cmdClear");
  ASSERT_EQ(messages_.asked.size(), 1u);
  EXPECT_EQ(messages_.asked[0].text, "Remove all items from the list?");
  EXPECT_EQ(entries(*window).size(), 3u);
  messages_.answerYes = true;
  click(*window, "cmdClear");
  EXPECT_TRUE(entries(*window).empty());
  EXPECT_EQ(text(*window, "lblTot"), "");
  EXPECT_EQ(control<QListWidget>(*window, "List2")->toolTip(), "");
  EXPECT_EQ(shownButtons(*window), "cmdAdd");

  // Deleting the only entry hides clear and save as well.
  addFile(*window, "b.txt");
  control<QListWidget>(*window, "List2")->setCurrentRow(0);
  click(*window, "cmdDelete");
  EXPECT_EQ(shownButtons(*window), "cmdAdd");
  EXPECT_EQ(text(*window, "lblTot"), "");

  // Escape closes the window from whichever control has the focus.
  control<QListWidget>(*window, "List2")->setFocus();
  QTest::keyClick(control<QListWidget>(*window, "List2"), Qt::Key_Escape);
  EXPECT_FALSE(window->isVisible());
}

TEST_F(ScriptBuilderWindowTest, AScriptSavedByTheBuilderIsJoinedByARunningServer) {
  runSetup(environment_);
  ASSERT_FALSE(HasFatalFailure());
  const std::string input = environment_.path("home/in box");
  const std::string output = environment_.path("home/out box");
  ASSERT_TRUE(ensureDirectory(input));
  ASSERT_TRUE(ensureDirectory(output));
  CopySettledFile(Corpus("ps/alphabet.ps"), programFolder_ + "/one/alphabet.ps");
  MakeTextPdf(programFolder_ + "/one/second.pdf", {"second document page one", "second document page two"});

  auto window = open();
  browse(*window, programFolder_ + "/one");
  addFile(*window, "second.pdf");
  addFile(*window, "alphabet.ps");
  control<QListWidget>(*window, "List2")->setCurrentRow(1);
  click(*window, "cmdUp");
  dialogs_.answer = environment_.path("home/joined.scr");
  click(*window, "cmdSave");
  ASSERT_EQ(messages_.shown.size(), 1u);
  EXPECT_EQ(messages_.shown[0].text, "Script file " + dialogs_.answer + " saved.");

  RunningProgram server(std::string(VD_BUILD_PROGRAM_DIR) + "/vellumdkd",
                        {"--input", input, "--output", output, "--interval", "1"}, environment_.path("vellumdkd.out"),
                        {{"VELLUMDOCK_PROGRAM_DIR", VD_BUILD_PROGRAM_DIR}, {"VELLUMDOCK_HELPER_DIR", VD_BUILD_HELPER_DIR}});
  ASSERT_TRUE(server.running());
  CopySettledFile(dialogs_.answer, input + "/joined.scr");
  ASSERT_TRUE(WaitUntil(server, [&] { return FileExistsOnDisk(output + "/joined.pdf") && DirectoryEntries(input).empty(); },
                        std::chrono::seconds(180)))
      << ReadBytes(environment_.path("vellumdkd.out"));
  server.stop();

  // The PostScript file's page first, as the script was reordered, then the PDF's two.
  const std::vector<std::string> pages = PageTexts(output + "/joined.pdf");
  ASSERT_EQ(PageCount(output + "/joined.pdf"), 3);
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_NE(pages[0].find("abcdefghijklmnopqrstuvwxyz"), std::string::npos) << pages[0];
  EXPECT_NE(pages[1].find("second document page one"), std::string::npos) << pages[1];
  EXPECT_NE(pages[2].find("second document page two"), std::string::npos) << pages[2];
}

}  // namespace
}  // namespace vd::test
