#include "markup/widget/qt_text_measurer.h"

#include <QString>
#include <algorithm>
#include <cmath>

namespace vrel::markup {
namespace {

constexpr int kBasePixelSize = 13;
constexpr int kSmallPixelSize = 12;
constexpr int kStyleCount = 16;

QFont VariedFont(const QFont& base, int index) {
  QFont font(base);
  if (index & 1) font.setWeight(QFont::Bold);
  if (index & 2) font.setItalic(true);
  if (index & 4) font.setUnderline(true);
  if (index & 8) font.setPixelSize(kSmallPixelSize);
  font.setKerning(false);
  return font;
}

}  // namespace

QFont MarkupBaseFont() {
  QFont font(QStringLiteral("Lucida Sans Unicode"));
  font.setPixelSize(kBasePixelSize);
  font.setWeight(QFont::Normal);
  return font;
}

QtTextMeasurer::QtTextMeasurer(const QFont& base) {
  for (int index = 0; index < kStyleCount; ++index) {
    fonts_.push_back(VariedFont(base, index));
    metrics_.emplace_back(fonts_.back());
    exact_metrics_.emplace_back(fonts_.back());
    heights_.push_back(metrics_.back().height());
    ascents_.push_back(metrics_.back().ascent());
    advances_.emplace_back(kCachedCount, -1.0f);
  }
}

int QtTextMeasurer::CacheSlot(char16_t unit) {
  if (unit < kCachedBelow) return unit;
  if (unit >= kPunctuationFirst && unit < kPunctuationEnd) return kCachedBelow + (unit - kPunctuationFirst);
  return -1;
}

double QtTextMeasurer::Advance(int style, char16_t unit, int slot) {
  float& advance = advances_[style][slot];
  if (advance < 0) advance = static_cast<float>(exact_metrics_[style].horizontalAdvance(QChar(unit)));
  return advance;
}

int QtTextMeasurer::TallestHeight() const {
  return std::max(1, *std::max_element(heights_.begin(), heights_.end()));
}

int QtTextMeasurer::Width(std::u16string_view text, FontStyle style) {
  double width = 0;
  for (char16_t unit : text) {
    int slot = CacheSlot(unit);
    if (slot < 0) return MeasureWhole(text, style);
    width += Advance(style.Index(), unit, slot);
  }
  return static_cast<int>(std::lround(width));
}

int QtTextMeasurer::MeasureWhole(std::u16string_view text, FontStyle style) {
  QString view = QString::fromRawData(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
  return metrics_[style.Index()].horizontalAdvance(view);
}

}  // namespace vrel::markup
