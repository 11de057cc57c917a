#include "SettingsStore.h"

#include <QSettings>
#include <QStringList>
#include <QVariant>

#include "common/Errors.h"
#include "common/Locations.h"
#include "common/Paths.h"

namespace vd {
namespace {

constexpr const char* kSection = "Options";

QString groupKey(const std::string& key) { return QString(kSection) + "/" + QString::fromStdString(key); }

}  // namespace

template <>
SettingsStore& Seam<SettingsStore>::defaultInstance() {
  static IniSettingsStore instance;
  return instance;
}

std::string settingsFilePath() { return userConfigDir() + "/Vellumdock.conf"; }

IniSettingsStore::IniSettingsStore(std::string filePath) : filePath_(std::move(filePath)) {}

std::string IniSettingsStore::path() const { return filePath_.empty() ? settingsFilePath() : filePath_; }

std::optional<std::string> IniSettingsStore::read(const std::string& key) {
  const QSettings settings(QString::fromStdString(path()), QSettings::IniFormat);
  const QVariant value = settings.value(groupKey(key));
  if (!value.isValid()) return std::nullopt;
  // A hand-edited value holding an unquoted comma comes back as a list; it was one text.
  if (value.typeId() == QMetaType::QStringList) return value.toStringList().join(",").toStdString();
  return value.toString().toStdString();
}

void IniSettingsStore::write(const std::string& key, const std::string& value) {
  const std::string file = path();
  if (const std::string folder = folderOf(file); folder != "/" && folder != ".") ensureDirectory(folder, 0700);
  QSettings settings(QString::fromStdString(file), QSettings::IniFormat);
  settings.setValue(groupKey(key), QString::fromStdString(value));
  settings.sync();
  if (settings.status() != QSettings::NoError) throw FileError("write setting " + key + " to", file, "the settings file cannot be written");
}

}  // namespace vd
