#include "platform/DocumentOpener.h"

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace vd {
namespace {

// xdg-open asks the desktop for the file's application; it is started without a shell and
// detached, and only absolute paths and links with a known scheme are passed, so a name
// cannot be taken for an option.
bool isLink(const std::string& target) {
  for (const char* scheme : {"https://", "http://", "mailto:"}) {
    if (target.rfind(scheme, 0) == 0) return true;
  }
  return false;
}

class XdgDocumentOpener : public DocumentOpener {
 public:
  bool open(const std::string& path) override {
    if (path.empty() || (path.front() != '/' && !isLink(path))) return false;
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
