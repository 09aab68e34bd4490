#include "feeds/ini_settings_store.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "xml/xml_encoding.h"

namespace vrel {

namespace {

constexpr std::string_view kSection = "[Settings]";

std::string_view Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

bool IsSectionHeader(std::string_view line) { return !line.empty() && line.front() == '['; }

// The key of a "key=value" line, empty for any other line.
std::string_view KeyOf(std::string_view line) {
  const size_t equals = line.find('=');
  return equals == std::string_view::npos ? std::string_view() : Trimmed(line.substr(0, equals));
}

// QSettings writes strings with C-like escapes, in quotes when they hold
// separators or outer blanks.
std::string Unescape(std::string_view raw) {
  std::string value;
  for (size_t i = 0; i < raw.size(); ++i) {
    const char c = raw[i];
    if (c == '"') continue;
    if (c != '\\' || i + 1 == raw.size()) {
      value += c;
      continue;
    }
    const char e = raw[++i];
    if (e == 'n') value += '\n';
    else if (e == 'r') value += '\r';
    else if (e == 't') value += '\t';
    else if (e == 'x') {
      unsigned long codePoint = 0;
      for (int digits = 0; digits < 4 && i + 1 < raw.size() && std::isxdigit(static_cast<unsigned char>(raw[i + 1])); ++digits) {
        const char h = raw[++i];
        codePoint = codePoint * 16 + static_cast<unsigned long>(h <= '9' ? h - '0' : (h | 0x20) - 'a' + 10);
      }
      AppendUtf8(value, static_cast<int>(codePoint));
    } else {
      value += e;
    }
  }
  if (value.rfind("@@", 0) == 0) value.erase(0, 1);
  return value;
}

std::string Escape(std::string_view value) {
  std::string out = value.rfind('@', 0) == 0 ? "@" : "";
  for (const char c : value) {
    if (c == '\\' || c == '"') out += '\\', out += c;
    else if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else if (c == '\t') out += "\\t";
    else out += c;
  }
  const bool quote = out.find_first_of(";,=") != std::string::npos || (!out.empty() && (out.front() == ' ' || out.back() == ' '));
  return quote ? '"' + out + '"' : out;
}

}  // namespace

std::string IniSettingsStore::DefaultPath() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::string directory;
  if (config && *config) {
    directory = config;
  } else {
    const char* home = std::getenv("HOME");
    directory = std::string(home ? home : "") + "/.config";
  }
  return directory + "/Ostrivane Software/vrel.conf";
}

std::vector<std::string> IniSettingsStore::ReadLines() const {
  std::vector<std::string> lines;
  std::ifstream in(path_, std::ios::binary);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
  }
  return lines;
}

std::optional<std::string> IniSettingsStore::Read(const std::string& name) const {
  bool inSection = false;
  for (const std::string& line : ReadLines()) {
    const std::string_view text = Trimmed(line);
    if (IsSectionHeader(text)) inSection = text == kSection;
    else if (inSection && KeyOf(text) == name) return Unescape(Trimmed(text.substr(text.find('=') + 1)));
  }
  return std::nullopt;
}

Outcome IniSettingsStore::Write(const std::string& name, const std::string& value) {
  std::vector<std::string> lines = ReadLines();
  const std::string entry = name + '=' + Escape(value);
  bool inSection = false;
  size_t insertAt = lines.size();
  bool sectionFound = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string_view text = Trimmed(lines[i]);
    if (IsSectionHeader(text)) {
      if (inSection) break;
      inSection = text == kSection;
      sectionFound = sectionFound || inSection;
    } else if (inSection && KeyOf(text) == name) {
      lines[i] = entry;
      insertAt = std::string::npos;
      break;
    }
    if (inSection && !text.empty()) insertAt = i + 1;
  }
  if (insertAt != std::string::npos) {
    if (!sectionFound) {
      if (!lines.empty() && !lines.back().empty()) lines.emplace_back();
      lines.emplace_back(kSection);
      insertAt = lines.size();
    }
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), entry);
  }

  std::error_code error;
  const std::filesystem::path target(path_);
  if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), error);
  const std::string temporary = path_ + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    for (const std::string& line : lines) out << line << '\n';
    if (!out.flush()) return Outcome::Failure("cannot write the setting " + name + " to " + temporary);
  }
  std::filesystem::rename(temporary, target, error);
  if (error) return Outcome::Failure("cannot write the setting " + name + " to " + path_ + ": " + error.message());
  return Outcome::Success();
}

}  // namespace vrel
