// Font description texts such as "24,Courier New,B": settings separated by
// commas, the face name last.
#pragma once

#include <string>
#include <string_view>

namespace vrel::saver {

struct FontDescription {
  int height = 12;  // character height in pixels
  int weight = 400;
  bool italic = false;
  bool underline = false;
  bool strikeOut = false;
  int charSet = 0;
  bool antialiased = false;
  std::string face = "Arial";

  friend bool operator==(const FontDescription&, const FontDescription&) = default;
};

// Every piece followed by a comma is a setting, told by its first character:
// a digit or "-" the height, "A" anti-aliasing, "B" bold (or "B600" a weight),
// "C" a character set from the third character on, "I" italic, "S"
// strike-out, "U" underline; others are ignored. The rest is the face name,
// at most 31 characters.
FontDescription ParseFontDescription(std::string_view text);

}  // namespace vrel::saver
