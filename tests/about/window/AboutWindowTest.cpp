// The about window: the build's version it names, its three links with their hover
// colours, and the keys that close it.
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPlainTextEdit>

#include "about/ProductInfo.h"
#include "about/window/frmAbout.h"
#include "server/window/ServerWindowFixture.h"

namespace vd::test {
namespace {

class AboutWindowTest : public ::testing::Test, protected WindowDoubles {
 protected:
  static void send(QWidget* widget, QEvent::Type type, Qt::MouseButton button = Qt::NoButton) {
    const QPointF at(2, 2);
    QMouseEvent event(type, at, widget->mapToGlobal(at), button,
                      type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
  }
  QColor colour(const char* name) { return about.findChild<LinkLabel*>(name)->palette().color(QPalette::WindowText); }

  frmAbout about{environment.path("program")};
};

TEST_F(AboutWindowTest, NamesTheBuildsVersionItsLinksOpenAndTurnRedOnlyWhileHoveredAndItsKeysCloseIt) {
  const QString text = about.findChild<QPlainTextEdit*>("Text1")->toPlainText();
  EXPECT_EQ(text.left(text.indexOf('\n')).toStdString(), std::string("Vellumdock ") + VD_PROJECT_VERSION);
  about.show();
  for (const auto& [name, target] : std::vector<std::pair<const char*, std::string>>{
           {"Label1", std::string("mailto:") + product::kContactAddress},
           {"Label2", product::kWebAddress},
           {"Label4", environment.path("program") + "/vellumdk.pdf"}}) {
    LinkLabel* label = about.findChild<LinkLabel*>(name);
    ASSERT_NE(label, nullptr) << name;
    EXPECT_EQ(colour(name), QColor(Qt::blue)) << name;
    send(label, QEvent::MouseMove);
    EXPECT_EQ(colour(name), QColor(Qt::red)) << name;
    opener.opened.clear();
    send(label, QEvent::MouseButtonPress, Qt::LeftButton);
    send(label, QEvent::MouseButtonRelease, Qt::LeftButton);
    EXPECT_EQ(opener.opened, std::vector<std::string>{target});
  }
  // Two links hovered in turn, then the background: every link is blue again.
  send(about.findChild<LinkLabel*>("Label1"), QEvent::MouseMove);
  send(&about, QEvent::MouseMove);
  for (const char* name : {"Label1", "Label2", "Label4"}) EXPECT_EQ(colour(name), QColor(Qt::blue)) << name;

  // Enter (the OK button's key) or Escape from any control closes it.
  for (const auto& [target, key] : std::vector<std::pair<QWidget*, Qt::Key>>{
           {about.findChild<QPlainTextEdit*>("Text1"), Qt::Key_Escape}, {about.findChild<QPushButton*>("Command1"), Qt::Key_Escape},
           {about.findChild<LinkLabel*>("Label2"), Qt::Key_Escape}, {&about, Qt::Key_Return}}) {
    about.show();
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &press);
    EXPECT_FALSE(about.isVisible()) << target->objectName().toStdString() << " " << key;
  }
}

}  // namespace
}  // namespace vd::test
