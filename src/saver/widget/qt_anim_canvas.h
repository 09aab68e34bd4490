// The animation canvas in Qt: items are composed in an image and only the
// rectangles that changed are repainted on the window.
#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <memory>
#include <vector>

#include "saver/anim_canvas.h"

class QWidget;

namespace vrel::saver {

// Fonts as the saver's font descriptions ask; a face that fontconfig does not
// know becomes its choice for a sans-serif family.
QFont FontFor(const FontDescription& description);

class QtAnimCanvas : public AnimCanvas {
 public:
  explicit QtAnimCanvas(QWidget& screen);
  ~QtAnimCanvas() override;

  void SetUp(const Rect& scene) override;
  int CreateFont(const FontDescription& description) override;
  int LoadPicture(int resource, int& width) override;
  TextSize MeasureText(int font, const std::string& text) override;
  void DrawText(int font, const std::string& text, Point at, Colour colour) override;
  void DrawCell(int picture, const Rect& source, Point at) override;
  void Erase(const Rect& rect) override;
  void Show(const Rect& rect) override;

  // Ends the drawing of one step, before the window paints.
  void FinishStep();
  // The composed scene over the region, for the window's paint event.
  void Paint(QPainter& painter, const QRegion& region);

 private:
  QPainter& FramePainter();
  QRect Local(const Rect& rect) const;

  QWidget& screen_;
  QPoint origin_;
  QImage frame_;
  std::unique_ptr<QPainter> painter_;
  struct LoadedFont {
    QFont font;
    QFontMetrics metrics;
  };
  std::vector<LoadedFont> fonts_;
  std::vector<QImage> pictures_;
};

}  // namespace vrel::saver
