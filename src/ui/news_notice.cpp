#include "ui/news_notice.h"

#include <algorithm>
#include <mutex>

#include "feeds/news_engine.h"
#include "markup/feed_list_view.h"

namespace vrel::ui {

namespace {

void AppendOnce(std::vector<int>& feeds, int feedId) {
  if (std::find(feeds.begin(), feeds.end(), feedId) == feeds.end()) feeds.push_back(feedId);
}

}  // namespace

NewsNotice ComposeNotice(const std::vector<FeedNews>& feeds) {
  NewsNotice notice;
  notice.feedId = feeds.front().feedId;
  NewItemTotals totals;
  std::vector<std::string> titles;
  for (const FeedNews& feed : feeds) {
    totals.items += feed.newItems;
    ++totals.feeds;
    for (const std::string& title : feed.firstTitles)
      if (titles.size() < kNoticeTitles) titles.push_back(title);
  }
  if (feeds.size() == 1) {
    notice.summary = feeds.front().title;
    notice.body = NewItemsText(totals.items);
  } else {
    notice.summary = NewItemsText(totals);
  }
  for (const std::string& title : titles) notice.body += (notice.body.empty() ? "" : "\n") + title;
  return notice;
}

std::vector<FeedNews> ReadNews(NewsEngine& engine, const std::vector<int>& feedIds) {
  std::lock_guard lock(engine.Lock());
  std::vector<FeedNews> news;
  for (int feedId : feedIds) {
    if (!engine.Database().FindFeedById(feedId)) continue;
    FeedNews feed = ReadFeedNews(engine.Database().Document(), kNoticeTitles);
    if (feed.newItems > 0) news.push_back(std::move(feed));
  }
  return news;
}

bool NoticeGrouper::Add(int feedId, Clock::time_point now) {
  AppendOnce(pending_, feedId);
  if (due_) return false;
  due_ = now + window_;
  return true;
}

std::optional<NoticeGrouper::Due> NoticeGrouper::TakeDue(Clock::time_point now) {
  if (!due_ || now < *due_) return std::nullopt;
  due_.reset();
  Due due{shown_, shownId_};
  for (int feedId : pending_) AppendOnce(due.feeds, feedId);
  pending_.clear();
  return due;
}

// Until the service names the new id, a late close of the old one must not
// forget the feeds just posted.
void NoticeGrouper::Showing(std::vector<int> feeds) {
  shown_ = std::move(feeds);
  shownId_ = 0;
}

void NoticeGrouper::Closed(uint32_t id) {
  if (id == 0 || id != shownId_) return;
  shown_.clear();
  shownId_ = 0;
}

int NoticeGrouper::FeedOf(uint32_t id) const {
  if (id == 0 || id != shownId_ || shown_.empty()) return 0;
  return shown_.front();
}

void NoticeGrouper::Clear() {
  due_.reset();
  pending_.clear();
  shown_.clear();
  shownId_ = 0;
}

}  // namespace vrel::ui
