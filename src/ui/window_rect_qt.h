// The framework's window rectangles (right and bottom exclusive) as QRect.
#pragma once

#include <QRect>

#include "ui/thread_dlg.h"

namespace vrel::ui {

inline WindowRect ToWindowRect(const QRect& rect) {
  return {rect.x(), rect.y(), rect.x() + rect.width(), rect.y() + rect.height()};
}

inline QRect ToQRect(const WindowRect& rect) {
  return QRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
}

}  // namespace vrel::ui
