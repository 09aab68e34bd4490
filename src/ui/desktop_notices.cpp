#include "ui/desktop_notices.h"

namespace vrel::ui {

DesktopNotices::DesktopNotices(NewsEngine& engine, NoticeService& service, OpenNewItems open, QObject* parent)
    : QObject(parent), engine_(engine), service_(service), open_(std::move(open)) {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, &DesktopNotices::PostDue);
  service_.SetListener(this);
}

DesktopNotices::~DesktopNotices() { service_.SetListener(nullptr); }

void DesktopNotices::FeedBroughtNews(int feedId) {
  if (grouper_.Add(feedId, NoticeGrouper::Clock::now())) timer_.start(kNoticeWindow);
}

// A timer may fire a little early; the window's end is waited for then.
void DesktopNotices::PostDue() {
  const auto now = NoticeGrouper::Clock::now();
  const std::optional<NoticeGrouper::Due> due = grouper_.TakeDue(now);
  if (!due) {
    if (const auto at = grouper_.DueAt()) timer_.start(std::chrono::ceil<std::chrono::milliseconds>(*at - now));
    return;
  }
  // Feeds read since they brought news have none to tell of.
  const std::vector<FeedNews> news = ReadNews(engine_, due->feeds);
  if (news.empty()) return;
  std::vector<int> shown;
  for (const FeedNews& feed : news) shown.push_back(feed.feedId);
  grouper_.Showing(std::move(shown));
  service_.Post(ComposeNotice(news), due->replacesId);
}

void DesktopNotices::NoticeActivated(uint32_t id) {
  if (const int feedId = grouper_.FeedOf(id)) open_(feedId);
}

}  // namespace vrel::ui
