// The script builder's window on the offscreen platform, driven through its real widgets; its
// questions and save dialog are answered by the fixture itself.
#include <QLabel>
#include <QListWidget>
#include <QRegularExpression>
#include <QTest>
#include <QTreeWidget>

#include "platform/FileDialogs.h"
#include "scripts/window/frmScripts.h"
#include "server/window/ServerWindowFixture.h"

namespace vd::test {
namespace {

class ScriptBuilderWindowTest : public ::testing::Test, protected WindowDoubles, public FileDialogs {
 protected:
  void SetUp() override {
    // The window starts in the program's folder: here a scratch folder with three files.
    for (const char* folder : {"/one", "/empty"}) ASSERT_TRUE(ensureDirectory(programFolder + folder));
    WriteBytes(in("big.ps"), std::string(1234567, '%'));
    for (const char* name : {"b.txt", "c d.doc", ".hidden", "one/only.pdf"}) WriteBytes(in(name), name);
    environment.set("VELLUMDOCK_PROGRAM_DIR", programFolder);
    window = std::make_unique<frmScripts>();
    window->show();
  }
  std::string saveFileName(const SaveFileQuestion& question) override {
    asked.push_back(question);
    return answer;
  }

  template <class Widget>
  Widget* control(const char* name) {
    auto* widget = window->findChild<Widget*>(name);
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  QListWidget* list(const char* name) { return control<QListWidget>(name); }
  std::string label(const char* name) { return control<QLabel>(name)->text().toStdString(); }
  void click(const char* button) {
    QPushButton* target = control<QPushButton>(button);
    ASSERT_TRUE(target->isVisible()) << button;
    QTest::mouseClick(target, Qt::LeftButton);
  }
  static void doubleClick(QListWidget* list, int row) {
    const QPoint place = list->visualItemRect(list->item(row)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, place);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, place);
  }
  int rowOf(const std::string& file) {
    const auto items = list("List1")->findItems(QString::fromStdString(file), Qt::MatchExactly);
    return items.size() == 1 ? list("List1")->row(items.front()) : -1;
  }
  void addFile(const std::string& file) {
    list("List1")->setCurrentRow(rowOf(file));
    click("cmdAdd");
  }
  void browse(const std::string& folder) {
    auto* tree = control<QTreeWidget>("Dir1");
    const auto found = tree->findItems(QString::fromStdString(folder.substr(folder.rfind('/') + 1)),
                                       Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(found.size(), 1) << folder;
    emit tree->itemActivated(found.front(), 0);
  }
  // Which of the buttons that come and go are shown, in a fixed order.
  std::string shownButtons() {
    std::string shown;
    for (const char* name : {"cmdAdd", "cmdDelete", "cmdUp", "cmdDown", "cmdClear", "cmdSave"}) {
      if (control<QPushButton>(name)->isVisible()) shown += std::string(shown.empty() ? "" : " ") + name;
    }
    return shown;
  }
  std::string in(const std::string& name) const { return programFolder + "/" + name; }
  std::vector<std::string> inAll(const std::vector<std::string>& names) const {
    std::vector<std::string> paths;
    for (const std::string& name : names) paths.push_back(in(name));
    return paths;
  }

  const std::string programFolder = environment.path("home/program folder");
  ScopedSeam<FileDialogs> dialogSeam{*this};
  std::string answer;
  std::vector<SaveFileQuestion> asked;
  std::unique_ptr<frmScripts> window;
};

TEST_F(ScriptBuilderWindowTest, ShowsEachFolderWithItsFilesThenBuildsEditsAndSavesTheScript) {
  EXPECT_EQ(shownButtons(), "");
  for (const auto& [folder, files, count] : std::vector<std::tuple<std::string, std::vector<std::string>, std::string>>{
           {programFolder, {"b.txt", "big.ps", "c d.doc"}, "3 files"},
           {programFolder + "/one", {"only.pdf"}, "1 file"},
           {programFolder + "/empty", {}, ""}}) {
    if (folder != programFolder) browse(folder);
    std::vector<std::string> shown = rowTexts(list("List1"));
    std::sort(shown.begin(), shown.end());
    EXPECT_EQ(shown, files) << folder;
    EXPECT_EQ(label("Label2"), count) << folder;
    browse(programFolder);  // going back up is a folder of the list too
  }
  // A chosen file shows its date and its size, and the add button.
  list("List1")->setCurrentRow(rowOf("big.ps"));
  EXPECT_TRUE(QString::fromStdString(label("Label1")).remove(QRegularExpression("\\D")).endsWith("1234567"));
  EXPECT_EQ(shownButtons(), "cmdAdd");

  addFile("b.txt");
  EXPECT_EQ(label("lblTot"), "1 files");
  EXPECT_EQ(shownButtons(), "cmdAdd cmdClear cmdSave");
  addFile("big.ps");
  doubleClick(list("List1"), rowOf("c d.doc"));
  addFile("b.txt");  // the same file twice gives two entries
  EXPECT_EQ(rowTexts(list("List2")), inAll({"b.txt", "big.ps", "c d.doc", "b.txt"}));
  EXPECT_EQ(label("lblTot"), "4 files");

  // Up and down move the entry and the selection with it; nothing moves past either end.
  const std::vector<std::tuple<int, const char*, std::vector<std::string>, int>> moves = {
      {0, "cmdUp", {"b.txt", "big.ps", "c d.doc", "b.txt"}, 0},
      {3, "cmdDown", {"b.txt", "big.ps", "c d.doc", "b.txt"}, 3},
      {1, "cmdDown", {"b.txt", "c d.doc", "big.ps", "b.txt"}, 2},
      {-1, "cmdDown", {"b.txt", "c d.doc", "b.txt", "big.ps"}, 3},
      {0, "cmdDelete", {"c d.doc", "b.txt", "big.ps"}, -1},
  };
  for (const auto& [select, button, after, selectedAfter] : moves) {
    if (select >= 0) list("List2")->setCurrentRow(select);
    EXPECT_EQ(shownButtons(), "cmdAdd cmdDelete cmdUp cmdDown cmdClear cmdSave") << button;
    click(button);
    EXPECT_EQ(rowTexts(list("List2")), inAll(after)) << button;
    EXPECT_EQ(list("List2")->currentRow(), selectedAfter) << button;
  }
  EXPECT_EQ(shownButtons(), "cmdAdd cmdClear cmdSave");

  // Saved under a name typed without an extension: ".scr" is added; CR LF after every line.
  const std::string scripts = environment.path("home/Scripts");
  ASSERT_TRUE(ensureDirectory(scripts));
  answer = scripts + "/joined";
  click("cmdSave");
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(ReadBytes(scripts + "/joined.scr"), in("c d.doc") + "\r\n" + in("b.txt") + "\r\n" + in("big.ps") + "\r\n");
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, "Script file " + scripts + "/joined.scr saved.");
  // The next save offers that folder; a cancelled dialog writes and stores nothing.
  answer = "";
  click("cmdSave");
  EXPECT_EQ(asked.back().initialDir, scripts);
  EXPECT_EQ(messages.shown.size(), 1u);
  // A script that could not be written is not reported as saved.
  answer = environment.path("home/no such folder/x.scr");
  click("cmdSave");
  ASSERT_EQ(messages.shown.size(), 2u);
  EXPECT_EQ(messages.shown[1].icon, MessageIcon::Critical);
  EXPECT_EQ(messages.shown[1].text.find("saved."), std::string::npos) << messages.shown[1].text;

  // A double-click opens an entry with its application.
  doubleClick(list("List2"), 2);
  EXPECT_EQ(opener.opened, std::vector<std::string>{in("big.ps")});
  // Clear asks first: No keeps the script, Yes empties it and hides its buttons.
  click("cmdClear");
  ASSERT_EQ(messages.asked.size(), 1u);
  EXPECT_EQ(rowTexts(list("List2")).size(), 3u);
  messages.answerYes = true;
  click("cmdClear");
  EXPECT_TRUE(rowTexts(list("List2")).empty());
  EXPECT_EQ(label("lblTot") + list("List2")->toolTip().toStdString(), "");
  EXPECT_EQ(shownButtons(), "cmdAdd");
  // Escape in a control closes the window.
  QTest::keyClick(list("List2"), Qt::Key_Escape);
  EXPECT_FALSE(window->isVisible());
}

}  // namespace
}  // namespace vd::test
