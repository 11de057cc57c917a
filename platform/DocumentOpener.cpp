#include "platform/DocumentOpener.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QUrl>

namespace vd {
namespace {

// The desktop's opener (xdg-open) through Qt. It needs the GUI application: a program of
// the core alone has no desktop to open anything on and does nothing.
class DesktopDocumentOpener : public DocumentOpener {
 public:
  void open(const std::string& target) override {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr || target.empty()) return;
    const QString text = QString::fromStdString(target);
    const QUrl url = text.startsWith('/') ? QUrl::fromLocalFile(text) : QUrl(text);
    QDesktopServices::openUrl(url);
  }
};

}  // namespace

template <>
DocumentOpener& Seam<DocumentOpener>::defaultInstance() {
  static DesktopDocumentOpener instance;
  return instance;
}

}  // namespace vd
