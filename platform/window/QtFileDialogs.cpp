#include "platform/window/QtFileDialogs.h"

#include <QApplication>
#include <QByteArray>
#include <QFile>
#include <QFileDialog>
#include <QStringList>

namespace vd {
namespace {

QString pathText(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

// The dialog's name filters for description/pattern pairs separated by "|"
// ("Script Files (*.scr)|*.scr" gives "Script Files (*.scr)").
QStringList nameFiltersOf(const std::string& filter) {
  const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString& description = parts[i];
    QString patterns = parts[i + 1];
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    // Qt takes the patterns from the parentheses of the description; a description that
    // does not show them gets them appended.
    filters << (description.contains(QLatin1Char('(')) ? description : description + " (" + patterns + ")");
  }
  return filters;
}

}  // namespace

std::string QtFileDialogs::saveFileName(const SaveFileQuestion& question) {
  QFileDialog dialog(QApplication::activeWindow(), QString::fromStdString(question.title), pathText(question.initialDir));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters(nameFiltersOf(question.filter));
  if (!question.defaultSuffix.empty()) dialog.setDefaultSuffix(QString::fromStdString(question.defaultSuffix));
  dialog.selectFile(pathText(question.defaultName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString();
}

}  // namespace vd
