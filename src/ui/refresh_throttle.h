// Keeps a costly refresh (the feed list after a merge) to at most one per
// spacing while requests keep coming, and always runs one after the last.
// Plain C++: the dialog brings the clock and the timer.
#pragma once

#include <chrono>
#include <optional>

namespace vrel::ui {

class RefreshThrottle {
 public:
  using Clock = std::chrono::steady_clock;

  explicit RefreshThrottle(Clock::duration spacing) : spacing_(spacing) {}

  // A refresh is asked for at now: true when it is to run now; otherwise it
  // is owed, and OwedAt says when.
  bool Request(Clock::time_point now) {
    if (!ran_ || now - lastRun_ >= spacing_) return Run(now);
    owed_ = true;
    return false;
  }

  std::optional<Clock::time_point> OwedAt() const {
    if (!owed_) return std::nullopt;
    return lastRun_ + spacing_;
  }

  // True, once, when a refresh is owed and its time has come: it runs now.
  bool TakeOwed(Clock::time_point now) { return owed_ && now >= lastRun_ + spacing_ && Run(now); }

 private:
  bool Run(Clock::time_point now) {
    ran_ = true;
    lastRun_ = now;
    owed_ = false;
    return true;
  }

  Clock::duration spacing_;
  bool ran_ = false;
  Clock::time_point lastRun_{};
  bool owed_ = false;
};

}  // namespace vrel::ui
