#include "feeds/control_chars.h"

#include <algorithm>

namespace vrel {
namespace {

std::string WithControlsAs(std::string_view text, std::string_view replacement) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (IsForbiddenControl(c)) out += replacement;
    else out += c;
  }
  return out;
}

bool HasForbiddenControl(std::string_view text) { return std::any_of(text.begin(), text.end(), IsForbiddenControl); }

}  // namespace

std::string ReplaceControls(std::string_view text) {
  return HasForbiddenControl(text) ? WithControlsAs(text, "\xEF\xBF\xBD") : std::string(text);
}

std::string DropControls(std::string_view text) {
  return HasForbiddenControl(text) ? WithControlsAs(text, "") : std::string(text);
}

}  // namespace vrel
