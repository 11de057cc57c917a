#include "platform/DocumentOpener.h"

#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include "common/ProgramTitle.h"
#include "platform/MessageBoxes.h"

namespace vd {
namespace {

bool isLink(const std::string& target) {
  for (const char* scheme : {"https://", "http://", "mailto:"}) {
    if (target.rfind(scheme, 0) == 0) return true;
  }
  return false;
}

// What the desktop's opener says by its exit code (its documented codes).
std::string openerExitReason(int code) {
  switch (code) {
    case 2: return "it does not exist";
    case 3: return "no program on this desktop can open it (a tool the desktop's opener needs is missing)";
    case 4: return "no program on this desktop opens it";
    default: return "the desktop's opener (xdg-open) ended with code " + std::to_string(code);
  }
}

// xdg-open asks the desktop for the file's application. It is started without a shell, and
// only absolute paths and links with a known scheme are passed, so a name cannot be taken
// for an option. Its output goes nowhere: the application it starts may inherit it and
// write to it long after, and must not die of a closed pipe.
class XdgDocumentOpener : public DocumentOpener {
 public:
  using DocumentOpener::open;

  bool open(const std::string& target, Failure failed) override {
    const auto refuse = [&](const std::string& why) {
      if (failed) failed(why);
      return false;
    };
    const bool file = !target.empty() && target.front() == '/';
    if (!file && !isLink(target)) return refuse("it is neither a file's full path nor a web or mail address");
    if (file && access(target.c_str(), F_OK) != 0) return refuse("it does not exist");
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty()) {
      return refuse("no program that opens files and links was found on this desktop (xdg-open is not installed)");
    }
    auto* process = new QProcess;
    process->setProgram(opener);
    process->setArguments(QStringList{QFile::decodeName(QByteArray::fromStdString(target))});
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    // Owned by nobody until it ends: the program may end first without ending the viewer.
    QObject::connect(process, &QProcess::finished, [process, failed](int code, QProcess::ExitStatus status) {
      process->deleteLater();
      if (!failed || (status == QProcess::NormalExit && code == 0)) return;
      failed(status == QProcess::NormalExit ? openerExitReason(code) : std::string("the desktop's opener crashed"));
    });
    process->start();
    if (process->waitForStarted()) return true;
    const std::string why = "the desktop's opener (xdg-open) could not be started: " + process->errorString().toStdString();
    delete process;
    return refuse(why);
  }
};

}  // namespace

template <>
DocumentOpener& Seam<DocumentOpener>::defaultInstance() {
  static XdgDocumentOpener instance;
  return instance;
}

void openOrSayWhyNot(const std::string& target) {
  documentOpener().open(target, [target](const std::string& why) {
    messageBoxes().tell(target + " cannot be opened: " + why + ".", kProgramTitle, MessageIcon::Warning);
  });
}

}  // namespace vd
