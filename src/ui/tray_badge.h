// The tray icon with the new-item count painted over its corner.
#pragma once

#include <QIcon>
#include <QString>

namespace vrel::ui {

// A copy of icon at the usual tray sizes, each also at twice the pixel
// density, with badge in white bold on a red pill in the bottom-right
// corner. An empty badge gives the icon back unchanged.
QIcon BadgedIcon(const QIcon& icon, const QString& badge);

}  // namespace vrel::ui
