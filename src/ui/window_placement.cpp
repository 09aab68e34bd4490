#include "ui/window_placement.h"

#include <QGuiApplication>
#include <QScreen>

namespace vrel::ui {

namespace {

QRect FromEdges(int left, int top, int right, int bottom) { return ToQRect(WindowRect{left, top, right, bottom}); }

int RightEdge(const QRect& rect) { return rect.x() + rect.width(); }
int BottomEdge(const QRect& rect) { return rect.y() + rect.height(); }

}  // namespace

QRect PrimaryWorkArea() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

WindowRects DefaultWindowRects(const QRect& workArea) {
  const int areaWidth = workArea.width();
  const int areaHeight = workArea.height();
  WindowRects rects;
  rects.main = QRect((areaWidth - 320) / 2, (areaHeight - 640) / 2, 320, 640);
  rects.notify = QRect(areaWidth - 340, areaHeight - 110, 320, 80);

  const int areaRight = RightEdge(workArea);
  int left = RightEdge(rects.main);
  int right = areaRight;
  if (right - left < 320) left = areaRight - 320;
  if (right - left > 480) right = left + 480;
  rects.viewer = FromEdges(left, rects.main.y(), right, BottomEdge(rects.main));
  return rects;
}

WindowRects PlaceWindows(const WindowPlacements& saved, const QRect& workArea) {
  WindowRects rects = DefaultWindowRects(workArea);
  if (saved.main) {
    rects.main = ToQRect(*saved.main);
    rects.mainMaximised = saved.mainMaximised;
  }
  if (saved.notify) rects.notify = ToQRect(*saved.notify);
  if (saved.viewer) rects.viewer = ToQRect(*saved.viewer);
  return rects;
}

}  // namespace vrel::ui
