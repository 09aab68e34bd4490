#include "saver/widget/qt_anim_canvas.h"

#include <QWidget>
#include <algorithm>
#include <cstdlib>

namespace vrel::saver {
namespace {

constexpr int kDefaultPixelSize = 12;

QString ResourcePath(int resource) { return QStringLiteral(":/saver/%1.png").arg(resource); }

}  // namespace

QFont FontFor(const FontDescription& description) {
  QFont font(QString::fromStdString(description.face));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(description.height == 0 ? kDefaultPixelSize : std::abs(description.height));
  // 0 asks for the normal weight, as it does on the system the texts were made for.
  font.setWeight(QFont::Weight(description.weight == 0 ? 400 : std::clamp(description.weight, 1, 1000)));
  font.setItalic(description.italic);
  font.setUnderline(description.underline);
  font.setStrikeOut(description.strikeOut);
  font.setStyleStrategy(description.antialiased ? QFont::PreferAntialias : QFont::NoAntialias);
  return font;
}

QtAnimCanvas::QtAnimCanvas(QWidget& screen) : screen_(screen) {}

QtAnimCanvas::~QtAnimCanvas() = default;

void QtAnimCanvas::SetUp(const Rect& scene) {
  painter_.reset();
  origin_ = QPoint(scene.left, scene.top);
  frame_ = QImage(std::max(scene.Width(), 1), std::max(scene.Height(), 1), QImage::Format_RGB32);
  frame_.fill(Qt::black);
}

QRect QtAnimCanvas::Local(const Rect& rect) const {
  return QRect(rect.left, rect.top, rect.Width(), rect.Height()).translated(-origin_);
}

QPainter& QtAnimCanvas::FramePainter() {
  if (!painter_) painter_ = std::make_unique<QPainter>(&frame_);
  return *painter_;
}

void QtAnimCanvas::FinishStep() { painter_.reset(); }

int QtAnimCanvas::CreateFont(const FontDescription& description) {
  const QFont font = FontFor(description);
  fonts_.push_back({font, QFontMetrics(font)});
  return int(fonts_.size()) - 1;
}

int QtAnimCanvas::LoadPicture(int resource, int& width) {
  QImage sheet(ResourcePath(resource));
  if (sheet.isNull()) {
    width = 0;
    return -1;
  }
  width = sheet.width();
  pictures_.push_back(sheet.convertToFormat(QImage::Format_RGB32));
  return int(pictures_.size()) - 1;
}

TextSize QtAnimCanvas::MeasureText(int font, const std::string& text) {
  const QFontMetrics& metrics = fonts_.at(size_t(font)).metrics;
  return {metrics.horizontalAdvance(QString::fromStdString(text)), metrics.height()};
}

void QtAnimCanvas::DrawText(int font, const std::string& text, Point at, Colour colour) {
  const LoadedFont& loaded = fonts_.at(size_t(font));
  QPainter& painter = FramePainter();
  painter.setFont(loaded.font);
  painter.setPen(QColor(std::clamp(colour.red, 0, 255), std::clamp(colour.green, 0, 255), std::clamp(colour.blue, 0, 255)));
  painter.drawText(QPoint(at.x, at.y + loaded.metrics.ascent()) - origin_, QString::fromStdString(text));
}

void QtAnimCanvas::DrawCell(int picture, const Rect& source, Point at) {
  FramePainter().drawImage(QPoint(at.x, at.y) - origin_, pictures_.at(size_t(picture)),
                           QRect(source.left, source.top, source.Width(), source.Height()));
}

void QtAnimCanvas::Erase(const Rect& rect) {
  if (!rect.IsEmpty()) FramePainter().fillRect(Local(rect), Qt::black);
}

void QtAnimCanvas::Show(const Rect& rect) {
  if (!rect.IsEmpty()) screen_.update(QRect(rect.left, rect.top, rect.Width(), rect.Height()));
}

void QtAnimCanvas::Paint(QPainter& painter, const QRegion& region) {
  for (const QRect& rect : region) {
    painter.fillRect(rect, Qt::black);
    painter.drawImage(rect.topLeft(), frame_, rect.translated(-origin_));
  }
}

}  // namespace vrel::saver
