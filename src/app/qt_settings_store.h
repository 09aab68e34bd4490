// The reader's settings store in the tray program: QSettings ("Ostrivane
// Software", "vrel"), group "Settings", an INI file under ~/.config that
// vrel-cli reads and writes without Qt (IniSettingsStore). One store is
// shared by the windows and the NewsEngine so the two never disagree.
#pragma once

#include <QSettings>
#include <QString>
#include <optional>
#include <string>

#include "feeds/settings_store.h"

namespace vrel::app {

inline constexpr char kCompanyName[] = "Ostrivane Software";
inline constexpr char kApplicationName[] = "vrel";

class QtSettingsStore : public SettingsStore {
 public:
  // The user's store: ~/.config/Ostrivane Software/vrel.conf.
  QtSettingsStore();
  // An INI file of one's own (tests).
  explicit QtSettingsStore(const QString& iniPath);

  std::optional<std::string> Read(const std::string& name) const override;
  Outcome Write(const std::string& name, const std::string& value) override;

 private:
  mutable QSettings settings_;
};

}  // namespace vrel::app
