#include "saver/font_description.h"

#include <cstdlib>

namespace vrel::saver {
namespace {

constexpr size_t kMaxFaceLength = 31;

// atoi over a view: leading digits (with a sign) and 0 when there are none.
int LeadingNumber(std::string_view text) {
  return std::atoi(std::string(text).c_str());
}

void ApplySetting(std::string_view piece, FontDescription& description) {
  if (piece.empty()) return;
  const char first = piece.front();
  if ((first >= '0' && first <= '9') || first == '-') {
    description.height = LeadingNumber(piece);
  } else if (first == 'A') {
    description.antialiased = true;
  } else if (first == 'B') {
    description.weight = piece.size() > 1 ? LeadingNumber(piece.substr(1)) : 700;
  } else if (first == 'C') {
    if (piece.size() > 2) description.charSet = LeadingNumber(piece.substr(2));
  } else if (first == 'I') {
    description.italic = true;
  } else if (first == 'S') {
    description.strikeOut = true;
  } else if (first == 'U') {
    description.underline = true;
  }
}

}  // namespace

FontDescription ParseFontDescription(std::string_view text) {
  FontDescription description;
  size_t comma;
  while ((comma = text.find(',')) != std::string_view::npos) {
    ApplySetting(text.substr(0, comma), description);
    text.remove_prefix(comma + 1);
  }
  description.face = std::string(text.substr(0, kMaxFaceLength));
  return description;
}

}  // namespace vrel::saver
