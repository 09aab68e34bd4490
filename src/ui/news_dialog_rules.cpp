// The main dialog's rules that need no window: its title, where its controls
// go, and the feed context menu for a link.
#include <algorithm>

#include "feeds/time_stamp.h"
#include "ui/news_dialog.h"

namespace vrel::ui {

namespace {

constexpr int kDialogMargin = 6;
constexpr int kMenuBelowAdd = 3;
constexpr int kControlGap = 6;
constexpr int kAddressBottomExtra = 16;
constexpr int kStatusExtra = 5;

// A rectangle from its edges, right and bottom exclusive; never inside out.
QRect FromEdges(int left, int top, int right, int bottom) {
  return QRect(left, top, std::max(0, right - left), std::max(0, bottom - top));
}

}  // namespace

QString VersionShown(const QString& versionString) {
  QString dotted = versionString;
  dotted.replace(',', '.');
  const qsizetype second = dotted.indexOf('.', dotted.indexOf('.') + 1);
  if (dotted.indexOf('.') < 0 || second < 0) return {};
  if (dotted.mid(second + 1, 1) == "0") return dotted.left(second);
  const qsizetype third = dotted.indexOf('.', second + 1);
  return (third < 0 ? QString() : dotted.left(third)) + " Beta";
}

QString WindowTitle(const QString& versionString) {
  return "brackenfold News Reader " + VersionShown(versionString);
}

MainLayout LayOutMainDialog(const QSize& client, const QSize& addSize, const QSize& menuSize,
                            int textHeight) {
  const int left = kDialogMargin;
  const int top = kDialogMargin;
  const int right = client.width() - kDialogMargin;
  const int bottom = client.height() - kDialogMargin;

  MainLayout layout;
  layout.add = QRect(QPoint(right - addSize.width(), top), addSize);
  layout.menu = QRect(QPoint(right - menuSize.width(), layout.add.y() + layout.add.height() + kMenuBelowAdd),
                      menuSize);
  const int besideButtons = layout.add.x() - kControlGap;
  layout.address = FromEdges(left, top, besideButtons, textHeight + kAddressBottomExtra);
  const int statusTop = layout.address.y() + layout.address.height() + kControlGap;
  layout.status = FromEdges(left, statusTop, besideButtons, statusTop + textHeight + kStatusExtra);
  const int feedsTop = layout.status.y() + layout.status.height() + kControlGap;
  layout.feeds = FromEdges(left, feedsTop, right, bottom);
  return layout;
}

FeedMenuModel BuildFeedMenu(const XmlDoc& link) {
  const std::string type = link.GetAttribute("type");
  if (type == "Errors") return {};
  if (type == "FolderNew")
    return {{{kCmdFolderMarkAllAsRead, "Mark All As Read", true}, {kCmdFolderUpdateNow, "Update Now", true}}, 0};
  const bool newCountLink = type == "NewOnly";
  const int newCount = LeadingInt(link.GetAttribute("newcount"));
  const int unviewed = LeadingInt(link.GetAttribute("unviewed"));
  const bool hasNew = newCount != 0 || newCountLink;
  const bool unread = unviewed != 0 || hasNew;

  FeedMenuModel menu;
  menu.entries = {
      {kCmdFeedMarkAsRead, "Mark As Read", unread},
      {0, {}, true},
      {kCmdFeedView, "&View", true},
      {kCmdFeedViewBrief, "View &Brief", true},
      {kCmdFeedUpdateNow, "&Update Now", true},
      {kCmdFeedModify, "&Modify", true},
      {kCmdFeedDelete, "&Delete", true},
      {0, {}, true},
      {kCmdFeedViewNew, "&View New", hasNew},
      {kCmdFeedViewBriefNew, "View Brief New", hasNew},
  };
  menu.defaultCommand = newCountLink ? kCmdFeedViewNew : kCmdFeedView;
  return menu;
}

}  // namespace vrel::ui
