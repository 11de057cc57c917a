// The about window: what it says about this build, its three links with their hover
// colours, and the keys that close it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>

#include "about/AboutText.h"
#include "about/ProductInfo.h"
#include "about/window/frmAbout.h"
#include "common/Seam.h"
#include "support/IsolatedEnvironment.h"
#include "support/ServerDoubles.h"

namespace vd::test {
namespace {

class AboutWindowTest : public ::testing::Test {
 protected:
  static void moveMouse(QWidget* widget) {
    const QPointF at(2, 2);
    QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &move);
  }
  static void click(QWidget* widget) {
    const QPointF at(2, 2);
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
      QMouseEvent event(type, at, widget->mapToGlobal(at), Qt::LeftButton,
                        type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
      QCoreApplication::sendEvent(widget, &event);
    }
  }
  static QColor colour(LinkLabel* link) { return link->palette().color(QPalette::WindowText); }
  LinkLabel* link(const char* name) { return about.findChild<LinkLabel*>(name); }

  IsolatedEnvironment environment;
  RecordingDocumentOpener opener;
  ScopedSeam<DocumentOpener> openerSeam{opener};
  RecordingMessageBoxes messages;
  ScopedSeam<MessageBoxes> messagesSeam{messages};
  // A program folder without a help file in it.
  frmAbout about{environment.path("program")};
};

TEST_F(AboutWindowTest, TextNamesTheBuildsVersionNoticeAndDescription) {
  const QStringList lines = about.findChild<QPlainTextEdit*>("Text1")->toPlainText().split('\n');
  ASSERT_EQ(lines.size(), 6);
  EXPECT_EQ(lines[0].toStdString(), std::string("Vellumdock ") + VD_PROJECT_VERSION);
  EXPECT_TRUE(lines[1].isEmpty());
  EXPECT_EQ(lines[2].toStdString(), product::kLegalCopyright);
  EXPECT_EQ(lines[3], "All rights reserved.");
  EXPECT_TRUE(lines[4].isEmpty());
  EXPECT_TRUE(lines[5].startsWith("Vellumdock is a great tool for creating PDF files from many different file types "
                                  "including TXT, DOC, XLS, PPT, PUB, RTF, HTM, RPT, JPG, BMP, PNG, TIF, etc"));
  // The box's lines are joined by CR LF.
  EXPECT_EQ(AboutText().find("\r\n\r\n"), AboutText().find('\r'));
}

TEST_F(AboutWindowTest, LinksOpenTheirTargetsAndTurnRedOnlyWhileHovered) {
  about.show();
  struct Case {
    const char* label;
    std::string text;
    std::string target;
  };
  const std::vector<Case> cases = {
      {"Label1", "Email us", std::string("mailto:") + product::kContactAddress},
      {"Label2", WebLinkText(), product::kWebAddress},
      {"Label4", "Help File", environment.path("program") + "/vellumdk.pdf"},
  };
  for (const Case& test : cases) {
    LinkLabel* label = link(test.label);
    ASSERT_NE(label, nullptr) << test.label;
    EXPECT_EQ(label->text().toStdString(), test.text);
    EXPECT_TRUE(label->font().underline());
    EXPECT_EQ(colour(label), QColor(Qt::blue));
    moveMouse(label);
    EXPECT_EQ(colour(label), QColor(Qt::red)) << test.label;
    opener.opened.clear();
    click(label);
    EXPECT_EQ(opener.opened, std::vector<std::string>{test.target});
  }
  // The help file is missing: the window stays as it was and nothing is said.
  EXPECT_TRUE(about.isVisible());
  EXPECT_TRUE(messages.shown.empty());
  // Two links hovered in turn, then the background: every link is blue again.
  moveMouse(link("Label1"));
  moveMouse(&about);
  for (const char* name : {"Label1", "Label2", "Label4"}) EXPECT_EQ(colour(link(name)), QColor(Qt::blue)) << name;
}

TEST_F(AboutWindowTest, OkEnterAndEscapeFromAnyControlClose) {
  QPlainTextEdit* text = about.findChild<QPlainTextEdit*>("Text1");
  QPushButton* ok = about.findChild<QPushButton*>("Command1");
  EXPECT_TRUE(ok->isDefault());
  const auto press = [](QWidget* target, Qt::Key key) {
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &event);
  };
  const std::vector<std::pair<QWidget*, Qt::Key>> closers = {
      {text, Qt::Key_Escape}, {ok, Qt::Key_Escape}, {link("Label2"), Qt::Key_Escape}, {&about, Qt::Key_Return}};
  for (const auto& [target, key] : closers) {
    about.show();
    press(target, key);
    EXPECT_FALSE(about.isVisible()) << target->objectName().toStdString() << " " << key;
  }
  about.show();
  ok->click();
  EXPECT_FALSE(about.isVisible());
}

}  // namespace
}  // namespace vd::test
