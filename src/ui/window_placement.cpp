#include "ui/window_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

namespace vrel::ui {

namespace {

QRect FromEdges(int left, int top, int right, int bottom) { return ToQRect(WindowRect{left, top, right, bottom}); }

int RightEdge(const QRect& rect) { return rect.x() + rect.width(); }
int BottomEdge(const QRect& rect) { return rect.y() + rect.height(); }

long long Overlap(const QRect& a, const QRect& b) {
  const QRect common = a.intersected(b);
  return common.isEmpty() ? 0 : static_cast<long long>(common.width()) * common.height();
}

// How far apart two rectangles are; 0 when they touch or overlap.
long long Gap(const QRect& a, const QRect& b) {
  const long long dx = std::max({0, a.x() - RightEdge(b), b.x() - RightEdge(a)});
  const long long dy = std::max({0, a.y() - BottomEdge(b), b.y() - BottomEdge(a)});
  return dx * dx + dy * dy;
}

// The work area the window overlaps most, else the nearest one.
const QRect& WorkAreaFor(const QRect& rect, const std::vector<QRect>& workAreas) {
  const auto most = std::max_element(workAreas.begin(), workAreas.end(), [&](const QRect& a, const QRect& b) {
    return Overlap(rect, a) < Overlap(rect, b);
  });
  if (Overlap(rect, *most) > 0) return *most;
  return *std::min_element(workAreas.begin(), workAreas.end(),
                           [&](const QRect& a, const QRect& b) { return Gap(rect, a) < Gap(rect, b); });
}

void FitAll(WindowRects& rects, const std::vector<QRect>& workAreas) {
  for (QRect* rect : {&rects.main, &rects.notify, &rects.viewer}) *rect = FitOnScreens(*rect, workAreas);
}

}  // namespace

std::vector<QRect> ScreenWorkAreas() {
  std::vector<QRect> areas;
  if (const QScreen* primary = QGuiApplication::primaryScreen()) areas.push_back(primary->availableGeometry());
  for (const QScreen* screen : QGuiApplication::screens())
    if (screen != QGuiApplication::primaryScreen()) areas.push_back(screen->availableGeometry());
  if (areas.empty()) areas.emplace_back(0, 0, 1024, 768);
  return areas;
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

QRect FitOnScreens(const QRect& rect, const std::vector<QRect>& workAreas) {
  if (workAreas.empty()) return rect;
  const QRect& area = WorkAreaFor(rect, workAreas);
  const int width = std::min(rect.width(), area.width());
  const int height = std::min(rect.height(), area.height() - kTitleBarHeight);
  const int left = std::clamp(rect.x(), area.x(), RightEdge(area) - width);
  // The title bar shows whole; a window may reach below the area as long
  // as enough of it shows.
  const int highest = area.y() + kTitleBarHeight;
  const int top = std::clamp(rect.y(), highest, std::max(highest, BottomEdge(area) - kMinShownHeight));
  return QRect(left, top, width, height);
}

WindowRects PlaceWindows(const WindowPlacements& saved, const std::vector<QRect>& workAreas) {
  WindowRects rects = DefaultWindowRects(workAreas.empty() ? QRect() : workAreas.front());
  if (saved.main) {
    rects.main = ToQRect(*saved.main);
    rects.mainMaximised = saved.mainMaximised;
  }
  if (saved.notify) rects.notify = ToQRect(*saved.notify);
  if (saved.viewer) rects.viewer = ToQRect(*saved.viewer);
  FitAll(rects, workAreas);
  return rects;
}

WindowRects DefaultPlaces(const std::vector<QRect>& workAreas) { return PlaceWindows({}, workAreas); }

}  // namespace vrel::ui
