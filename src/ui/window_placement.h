// Where the reader's windows go: the default placements for a work area, the
// saved ones laid over them, and the saved rectangles (right and bottom
// exclusive) as QRect.
#pragma once

#include <QRect>

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

inline WindowRect ToWindowRect(const QRect& rect) {
  return {rect.x(), rect.y(), rect.x() + rect.width(), rect.y() + rect.height()};
}

inline QRect ToQRect(const WindowRect& rect) { return QRect(rect.left, rect.top, rect.Width(), rect.Height()); }

// Work area of the primary screen (the screen without panels).
QRect PrimaryWorkArea();

// Default placements for a work area: main dialog centred 320 x 640,
// notification 320 x 80 near the bottom right, viewer right of the main dialog.
WindowRects DefaultWindowRects(const QRect& workArea);

// The saved placements laid over the defaults.
WindowRects PlaceWindows(const WindowPlacements& saved, const QRect& workArea);

}  // namespace vrel::ui
