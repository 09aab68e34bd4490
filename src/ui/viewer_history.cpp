#include "ui/viewer_history.h"

namespace vrel::ui {

void ViewerHistory::Record(const std::string& request) {
  if (!Empty() && Current() == request) return;
  ++current_;
  entries_.resize(static_cast<size_t>(current_));
  entries_.push_back(request);
}

bool ViewerHistory::Back() {
  if (current_ < 1) return false;
  --current_;
  return true;
}

bool ViewerHistory::Forward() {
  if (static_cast<size_t>(current_ + 1) >= entries_.size()) return false;
  ++current_;
  return true;
}

const std::string& ViewerHistory::Current() const {
  static const std::string kNone;
  return Empty() ? kNone : entries_[static_cast<size_t>(current_)];
}

}  // namespace vrel::ui
