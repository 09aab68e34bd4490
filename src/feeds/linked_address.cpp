#include "feeds/linked_address.h"

#include <algorithm>
#include <string>

#include "net/ascii_text.h"

namespace vrel {
namespace {

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The scheme in lower case; empty for an address that has none (a path).
std::string SchemeOf(std::string_view address) {
  const size_t colon = address.find(':');
  if (colon == std::string_view::npos || colon == 0 || !IsAsciiLetter(address[0])) return {};
  const std::string_view scheme = address.substr(0, colon);
  const bool valid = std::all_of(scheme.begin(), scheme.end(), [](char c) {
    return IsAsciiLetter(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
  });
  return valid ? LowerAsciiText(scheme) : std::string();
}

bool IsLocal(const std::string& scheme) { return scheme.empty() || scheme == "file"; }

bool HasControl(std::string_view address) {
  return std::any_of(address.begin(), address.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

}  // namespace

bool MayFollowLink(std::string_view documentAddress, std::string_view address) {
  if (address.empty() || HasControl(address)) return false;
  const std::string scheme = SchemeOf(address);
  if (scheme == "http" || scheme == "https") return true;
  return IsLocal(scheme) && IsLocal(SchemeOf(documentAddress));
}

}  // namespace vrel
