#pragma once

#include <QFont>
#include <QFontMetrics>
#include <vector>

#include "markup/layout/text_measurer.h"

namespace vrel::markup {

// Measures with the real fonts: the base font and its 15 variations, made once.
// Text is not kerned, so the width of Latin, Greek, Cyrillic and common
// punctuation is the sum of cached character advances; other scripts, which
// may be shaped, are measured whole.
class QtTextMeasurer : public TextMeasurer {
 public:
  explicit QtTextMeasurer(const QFont& base);

  const QFont& Font(FontStyle style) const { return fonts_[style.Index()]; }
  int Ascent(FontStyle style) const { return ascents_[style.Index()]; }
  int TallestHeight() const;

  int Width(std::u16string_view text, FontStyle style) override;
  int Height(FontStyle style) override { return heights_[style.Index()]; }

 private:
  static constexpr char16_t kCachedBelow = 0x0530;
  static constexpr char16_t kPunctuationFirst = 0x2000, kPunctuationEnd = 0x20D0;
  static constexpr int kCachedCount = kCachedBelow + (kPunctuationEnd - kPunctuationFirst);
  // Slot of a character in the advance cache, or -1 when it is measured whole.
  static int CacheSlot(char16_t unit);
  double Advance(int style, char16_t unit, int slot);
  int MeasureWhole(std::u16string_view text, FontStyle style);

  std::vector<QFont> fonts_;
  std::vector<QFontMetrics> metrics_;
  std::vector<QFontMetricsF> exact_metrics_;
  std::vector<int> heights_, ascents_;  // asking the metrics each time takes a lock
  std::vector<std::vector<float>> advances_;  // per style; negative until measured
};

// The control's base font: "Lucida Sans Unicode" with 13-pixel characters;
// fontconfig picks a fallback where it is missing.
QFont MarkupBaseFont();

}  // namespace vrel::markup
