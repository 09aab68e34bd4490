// Where the reader's windows go: the default placements for a work area, the
// saved ones laid over them, every one kept where the user can reach it, and
// the saved rectangles (right and bottom exclusive) as QRect. All in the
// screens' device-independent pixels, as Qt gives their geometry.
#pragma once

#include <QRect>
#include <vector>

#include "feeds/reader_settings.h"

namespace vrel::ui {

// The main dialog's normal rectangle and whether it opens maximised, the
// notification window and the viewer.
struct WindowRects {
  QRect main;
  bool mainMaximised = false;
  QRect notify;
  QRect viewer;
};

// Room kept above a window for its frame's title bar, and how much of a
// window's height must show at least (its width always shows whole).
inline constexpr int kTitleBarHeight = 32;
inline constexpr int kMinShownHeight = 50;

inline WindowRect ToWindowRect(const QRect& rect) {
  return {rect.x(), rect.y(), rect.x() + rect.width(), rect.y() + rect.height()};
}

inline QRect ToQRect(const WindowRect& rect) { return QRect(rect.left, rect.top, rect.Width(), rect.Height()); }

// The work areas (screens without panels) of the screens there are, the
// primary screen's first.
std::vector<QRect> ScreenWorkAreas();

// Default placements for a work area: main dialog centred 320 x 640,
// notification 320 x 80 near the bottom right, viewer right of the main
// dialog; as they come out, not yet fitted.
WindowRects DefaultWindowRects(const QRect& workArea);

// rect moved, and made smaller where it is larger than the screen, so that
// its whole title bar and at least kMinShownHeight of its height lie on the
// work area it overlaps most, or the first one when it overlaps none (its
// screen may have gone since it was saved).
QRect FitOnScreens(const QRect& rect, const std::vector<QRect>& workAreas);

// The saved placements laid over the defaults of the first work area, each
// fitted onto the work areas.
WindowRects PlaceWindows(const WindowPlacements& saved, const std::vector<QRect>& workAreas);
// The defaults of the first work area, fitted (Reset Window Positions).
WindowRects DefaultPlaces(const std::vector<QRect>& workAreas);

}  // namespace vrel::ui
