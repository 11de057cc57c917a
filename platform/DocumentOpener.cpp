#include "platform/DocumentOpener.h"

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace vd {
namespace {

// xdg-open asks the desktop for the file's application; it is started without a shell and
// detached, and only absolute paths are passed, so a name cannot be taken for an option.
class XdgDocumentOpener : public DocumentOpener {
 public:
  bool open(const std::string& path) override {
    if (path.empty() || path.front() != '/') return false;
    return QProcess::startDetached(QStringLiteral("xdg-open"), QStringList{QFile::decodeName(QByteArray::fromStdString(path))});
  }
};

}  // namespace

template <>
DocumentOpener& Seam<DocumentOpener>::defaultInstance() {
  static XdgDocumentOpener instance;
  return instance;
}

}  // namespace vd
