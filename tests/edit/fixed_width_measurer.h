#pragma once

#include "markup/layout/text_measurer.h"

namespace vrel::edit::testing {

// Every UTF-16 unit is 10 pixels wide, every line 16 pixels tall.
class FixedWidthMeasurer : public markup::TextMeasurer {
 public:
  static constexpr int kCharWidth = 10;
  static constexpr int kLineHeight = 16;

  int Width(std::u16string_view text, markup::FontStyle) override {
    ++calls;
    return static_cast<int>(text.size()) * kCharWidth;
  }
  int Height(markup::FontStyle) override { return kLineHeight; }

  int calls = 0;
};

}  // namespace vrel::edit::testing
