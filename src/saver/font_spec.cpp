#include "saver/font_spec.h"

#include <cstdlib>

namespace vrel::saver {
namespace {

constexpr size_t kMaxFaceLength = 31;

// atoi over a view: leading digits (with a sign) and 0 when there are none.
int LeadingNumber(std::string_view text) {
  return std::atoi(std::string(text).c_str());
}

void ApplySetting(std::string_view piece, FontSpec& spec) {
  if (piece.empty()) return;
  const char first = piece.front();
  if ((first >= '0' && first <= '9') || first == '-') {
    spec.height = LeadingNumber(piece);
  } else if (first == 'A') {
    spec.antialiased = true;
  } else if (first == 'B') {
    spec.weight = piece.size() > 1 ? LeadingNumber(piece.substr(1)) : 700;
  } else if (first == 'C') {
    if (piece.size() > 2) spec.charSet = LeadingNumber(piece.substr(2));
  } else if (first == 'I') {
    spec.italic = true;
  } else if (first == 'S') {
    spec.strikeOut = true;
  } else if (first == 'U') {
    spec.underline = true;
  }
}

}  // namespace

FontSpec ParseFontSpec(std::string_view text) {
  FontSpec spec;
  size_t comma;
  while ((comma = text.find(',')) != std::string_view::npos) {
    ApplySetting(text.substr(0, comma), spec);
    text.remove_prefix(comma + 1);
  }
  spec.face = std::string(text.substr(0, kMaxFaceLength));
  return spec;
}

}  // namespace vrel::saver
