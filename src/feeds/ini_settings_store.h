// The settings as the desktop front end keeps them: the INI file of
// QSettings("Ostrivane Software", "vrel"), section [Settings], read and
// written without Qt so that the headless front end shares them.
#pragma once

#include <string>
#include <vector>

#include "feeds/settings_store.h"

namespace vrel {

class IniSettingsStore : public SettingsStore {
 public:
  explicit IniSettingsStore(std::string path = DefaultPath()) : path_(std::move(path)) {}

  // $XDG_CONFIG_HOME (else ~/.config), "/Ostrivane Software/vrel.conf".
  static std::string DefaultPath();

  std::optional<std::string> Read(const std::string& name) const override;
  Outcome Write(const std::string& name, const std::string& value) override;

 private:
  std::vector<std::string> ReadLines() const;

  std::string path_;
};

}  // namespace vrel
