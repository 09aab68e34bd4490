// Where the reader's settings live: values by name in the "Settings" section
// of the company "Ostrivane Software" and the application "vrel". The front
// ends provide the store; tests use the memory one. What the values mean is
// ReaderSettings' business (reader_settings.h).
#pragma once

#include <map>
#include <optional>
#include <string>

#include "feeds/outcome.h"

namespace vrel {

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;

  virtual std::optional<std::string> Read(const std::string& name) const = 0;
  // A failure says what could not be written, and why when known.
  virtual Outcome Write(const std::string& name, const std::string& value) = 0;

  std::string GetString(const std::string& name, const std::string& fallback = {}) const;
  // The number a value starts with, as atoi reads it; fallback when absent.
  int GetInt(const std::string& name, int fallback) const;
  Outcome SetString(const std::string& name, const std::string& value) { return Write(name, value); }
  Outcome SetInt(const std::string& name, int value) { return Write(name, std::to_string(value)); }
};

class MemorySettingsStore : public SettingsStore {
 public:
  std::optional<std::string> Read(const std::string& name) const override;
  Outcome Write(const std::string& name, const std::string& value) override;

 private:
  std::map<std::string, std::string> values_;
};

}  // namespace vrel
