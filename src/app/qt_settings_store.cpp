#include "app/qt_settings_store.h"

#include <QStringList>

namespace vrel::app {

namespace {

constexpr char kSettingsGroup[] = "Settings";

QString GroupKey(const std::string& name) {
  return QString::fromLatin1(kSettingsGroup) + '/' + QString::fromStdString(name);
}

}  // namespace

QtSettingsStore::QtSettingsStore() : settings_(kCompanyName, kApplicationName) {}

QtSettingsStore::QtSettingsStore(const QString& iniPath) : settings_(iniPath, QSettings::IniFormat) {}

std::optional<std::string> QtSettingsStore::Read(const std::string& name) const {
  const QVariant value = settings_.value(GroupKey(name));
  if (!value.isValid()) return std::nullopt;
  // An unquoted "1,2,3,4" written by another program reads back as a list.
  if (value.typeId() == QMetaType::QStringList) return value.toStringList().join(',').toStdString();
  return value.toString().toStdString();
}

Outcome QtSettingsStore::Write(const std::string& name, const std::string& value) {
  settings_.setValue(GroupKey(name), QString::fromStdString(value));
  settings_.sync();
  if (settings_.status() == QSettings::NoError) return Outcome::Success();
  return Outcome::Failure("cannot write the setting " + name + " to " + settings_.fileName().toStdString());
}

}  // namespace vrel::app
