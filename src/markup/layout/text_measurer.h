#pragma once

#include <cstdint>
#include <string_view>

namespace vrel::markup {

// Font variation of a run: the base font with any of these changes.
struct FontStyle {
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool small = false;  // 12-pixel characters instead of 13

  bool operator==(const FontStyle&) const = default;
  // 0..15, for tables of fonts indexed by style.
  int Index() const { return (bold ? 1 : 0) | (italic ? 2 : 0) | (underline ? 4 : 0) | (small ? 8 : 0); }
};

struct Color {
  std::uint8_t red = 0, green = 0, blue = 0;
  bool operator==(const Color&) const = default;
};

// Measures text for the layout; the widget answers with real font metrics,
// tests with fixed widths.
class TextMeasurer {
 public:
  virtual ~TextMeasurer() = default;
  // Advance width in pixels of UTF-16 text in the given font.
  virtual int Width(std::u16string_view text, FontStyle font) = 0;
  // Character-cell height in pixels of the given font.
  virtual int Height(FontStyle font) = 0;
};

}  // namespace vrel::markup
