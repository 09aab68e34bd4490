// News of downloads as desktop notifications: the feeds that bring news
// within a second make one notification, and its default action opens the
// (first) feed's new items in the viewer.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

#include "ui/news_notice.h"

namespace vrel {
class NewsEngine;
}

namespace vrel::ui {

inline constexpr std::chrono::milliseconds kNoticeWindow{1000};

class DesktopNotices : public QObject, private NoticeListener {
 public:
  using OpenNewItems = std::function<void(int feedId)>;

  DesktopNotices(NewsEngine& engine, NoticeService& service, OpenNewItems open, QObject* parent = nullptr);
  ~DesktopNotices() override;

  // On the engine's thread, which the dialog's is.
  void FeedBroughtNews(int feedId);
  // The feeds of another data file are not the ones notified.
  void Clear() { grouper_.Clear(); }

 private:
  void PostDue();
  void NoticePosted(uint32_t id) override { grouper_.Posted(id); }
  void NoticeActivated(uint32_t id) override;
  void NoticeClosed(uint32_t id) override { grouper_.Closed(id); }

  NewsEngine& engine_;
  NoticeService& service_;
  OpenNewItems open_;
  NoticeGrouper grouper_{kNoticeWindow};
  QTimer timer_;
};

}  // namespace vrel::ui
