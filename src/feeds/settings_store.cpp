#include "feeds/settings_store.h"

#include "feeds/time_stamp.h"

namespace vrel {

std::string SettingsStore::GetString(const std::string& name, const std::string& fallback) const {
  return Read(name).value_or(fallback);
}

int SettingsStore::GetInt(const std::string& name, int fallback) const {
  const std::optional<std::string> value = Read(name);
  return value ? LeadingInt(*value) : fallback;
}

std::optional<std::string> MemorySettingsStore::Read(const std::string& name) const {
  const auto found = values_.find(name);
  if (found == values_.end()) return std::nullopt;
  return found->second;
}

Outcome MemorySettingsStore::Write(const std::string& name, const std::string& value) {
  values_[name] = value;
  return Outcome::Success();
}

}  // namespace vrel
