// The desktop notification of news: which feeds one notification covers,
// what it says, and the service that shows it. Plain C++: the dialog brings
// the clock, the timer and the service (D-Bus, or the tray's balloon).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "feeds/feed_news.h"

namespace vrel {
class NewsEngine;
}

namespace vrel::ui {

// Item titles a notification names.
inline constexpr size_t kNoticeTitles = 3;

struct NewsNotice {
  std::string summary;
  std::string body;  // plain text, one line per "\n"
  int feedId = 0;    // whose new-only view the default action opens
};

// One feed: its title, then "N new items" and its first titles. Several:
// "N new items in M feeds", then the first titles of them all; the default
// action opens the first feed. feeds must not be empty.
NewsNotice ComposeNotice(const std::vector<FeedNews>& feeds);

// The news of each feed that still has new items, in the order given.
// Takes the database lock.
std::vector<FeedNews> ReadNews(NewsEngine& engine, const std::vector<int>& feedIds);

// Feeds that bring news within one window (it opens with the first) make
// one notification. While that notification is up, the next one takes its
// place and covers its feeds too, so the desktop shows one, always current.
class NoticeGrouper {
 public:
  using Clock = std::chrono::steady_clock;

  explicit NoticeGrouper(Clock::duration window) : window_(window) {}

  // A feed brought news. True when this opened a window: TakeDue at its end.
  bool Add(int feedId, Clock::time_point now);
  std::optional<Clock::time_point> DueAt() const { return due_; }

  struct Due {
    std::vector<int> feeds;    // those still up first, each once
    uint32_t replacesId = 0;   // the notification to replace; 0 for none
  };
  // Once the window has ended: what the next notification covers.
  std::optional<Due> TakeDue(Clock::time_point now);
  // The notification about to be posted covers feeds; its id follows.
  void Showing(std::vector<int> feeds);
  void Posted(uint32_t id) { shownId_ = id; }
  // The desktop closed notification id (expired, dismissed, clicked).
  void Closed(uint32_t id);
  // The feed that notification id opens; 0 when it is none of ours.
  int FeedOf(uint32_t id) const;
  // The feed ids no longer mean what they meant (another data file).
  void Clear();

 private:
  Clock::duration window_;
  std::optional<Clock::time_point> due_;
  std::vector<int> pending_;
  std::vector<int> shown_;
  uint32_t shownId_ = 0;
};

class NoticeListener {
 public:
  virtual ~NoticeListener() = default;
  virtual void NoticePosted(uint32_t id) = 0;
  // The user chose the notification's default action.
  virtual void NoticeActivated(uint32_t id) = 0;
  virtual void NoticeClosed(uint32_t id) = 0;
};

// Where notifications go. Tests put a fake in place of the desktop's.
class NoticeService {
 public:
  virtual ~NoticeService() = default;
  void SetListener(NoticeListener* listener) { listener_ = listener; }
  // Shows notice in place of notification replacesId (0: a new one); the
  // id it got reaches the listener's NoticePosted.
  virtual void Post(const NewsNotice& notice, uint32_t replacesId) = 0;

 protected:
  NoticeListener* listener_ = nullptr;
};

}  // namespace vrel::ui
