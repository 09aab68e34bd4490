// Control characters in text that came from a feed. XML allows none of the
// C0 controls but tab, line feed and carriage return, and a NUL cuts short
// every C string the text passes through, so feed text loses them before it
// is stored or written out.
#pragma once

#include <string>
#include <string_view>

namespace vrel {

// A C0 control other than tab, line feed and carriage return.
constexpr bool IsForbiddenControl(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 && c != '\t' && c != '\n' && c != '\r';
}

// For text content: each forbidden control becomes U+FFFD, so that the gap shows.
std::string ReplaceControls(std::string_view text);

// For attribute values (addresses, titles): forbidden controls are dropped.
std::string DropControls(std::string_view text);

}  // namespace vrel
