// ASCII case-insensitive helpers for protocol texts: header names, media
// types and HTML tag and attribute names, which never need full Unicode.
#pragma once

#include <string>
#include <string_view>

namespace vrel {

inline char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

inline std::string LowerAsciiText(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = LowerAscii(c);
  return lower;
}

inline bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

// text without the blanks, tabs and line ends at either end.
inline std::string_view TrimAscii(std::string_view text) {
  constexpr std::string_view kBlanks = " \t\r\n\f";
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

inline bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (LowerAscii(text[i]) != LowerAscii(prefix[i])) return false;
  return true;
}

// "Text/HTML; charset=utf-8" as "text/html".
inline std::string MediaType(std::string_view contentType) {
  return LowerAsciiText(TrimAscii(contentType.substr(0, contentType.find(';'))));
}

}  // namespace vrel
