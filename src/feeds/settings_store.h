// Where the reader's settings live: values by name in the "Settings" section
// of the company "Ostrivane Software" and the application "vrel". The front
// ends provide the store; tests use the memory one.
#pragma once

#include <map>
#include <optional>
#include <string>

namespace vrel {

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;

  virtual std::optional<std::string> Read(const std::string& name) const = 0;
  virtual bool Write(const std::string& name, const std::string& value) = 0;

  std::string GetString(const std::string& name, const std::string& fallback = {}) const;
  int GetInt(const std::string& name, int fallback) const;
  bool SetString(const std::string& name, const std::string& value) { return Write(name, value); }
  bool SetInt(const std::string& name, int value) { return Write(name, std::to_string(value)); }
};

class MemorySettingsStore : public SettingsStore {
 public:
  std::optional<std::string> Read(const std::string& name) const override;
  bool Write(const std::string& name, const std::string& value) override;

 private:
  std::map<std::string, std::string> values_;
};

}  // namespace vrel
