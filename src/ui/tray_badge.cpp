#include "ui/tray_badge.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPixmap>
#include <algorithm>

namespace vrel::ui {
namespace {

constexpr int kTraySizes[] = {16, 22, 32};
constexpr qreal kPixelRatios[] = {1.0, 2.0};
// The pill's height as a share of the icon, and its text's within the pill.
constexpr qreal kBadgeShare = 0.62;
constexpr qreal kTextShare = 0.85;
// Room left and right of the text, as a share of the pill's height.
constexpr qreal kPillPadding = 0.3;
const QColor kBadgeRed(220, 0, 0);

// Bold, as tall as the pill allows, and narrowed until badge fits across side.
QFont BadgeFont(qreal side, const QString& badge) {
  const qreal pillHeight = side * kBadgeShare;
  QFont font;
  font.setBold(true);
  font.setPixelSize(std::max(1, int(pillHeight * kTextShare)));
  const qreal room = side - pillHeight * kPillPadding;
  const qreal width = QFontMetricsF(font).horizontalAdvance(badge);
  if (width > room) font.setPixelSize(std::max(1, int(font.pixelSize() * room / width)));
  return font;
}

// The pill hugs the text, never narrower than a circle nor wider than the icon.
QRectF PillRect(qreal side, const QFontMetricsF& metrics, const QString& badge) {
  const qreal height = side * kBadgeShare;
  const qreal width = std::clamp(metrics.horizontalAdvance(badge) + height * kPillPadding, height, side);
  return {side - width, side - height, width, height};
}

QPixmap BadgedPixmap(const QIcon& icon, int side, qreal ratio, const QString& badge) {
  QPixmap pixmap = icon.pixmap(QSize(side, side), ratio);
  pixmap.setDevicePixelRatio(ratio);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  const QFont font = BadgeFont(side, badge);
  const QRectF pill = PillRect(side, QFontMetricsF(font), badge);
  painter.setPen(Qt::NoPen);
  painter.setBrush(kBadgeRed);
  painter.drawRoundedRect(pill, pill.height() / 2, pill.height() / 2);
  painter.setFont(font);
  painter.setPen(Qt::white);
  painter.drawText(pill, Qt::AlignCenter, badge);
  return pixmap;
}

}  // namespace

QIcon BadgedIcon(const QIcon& icon, const QString& badge) {
  if (badge.isEmpty()) return icon;
  QIcon badged;
  for (const int side : kTraySizes)
    for (const qreal ratio : kPixelRatios) badged.addPixmap(BadgedPixmap(icon, side, ratio, badge));
  return badged;
}

}  // namespace vrel::ui
