#include "feeds/background_saver.h"

#include <utility>

namespace vrel {

BackgroundSaver::BackgroundSaver() : thread_([this] { Run(); }) {}

BackgroundSaver::~BackgroundSaver() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

bool BackgroundSaver::Start(std::function<void()> save) {
  {
    std::lock_guard lock(mutex_);
    if (busy_ || stopping_) return false;
    busy_ = true;
    next_ = std::move(save);
  }
  changed_.notify_all();
  return true;
}

bool BackgroundSaver::Busy() const {
  std::lock_guard lock(mutex_);
  return busy_;
}

void BackgroundSaver::Wait() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !busy_; });
}

// A save that was handed over runs even when the saver is being destroyed:
// the destructor waits for it.
void BackgroundSaver::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return next_ != nullptr || stopping_; });
    if (!next_) return;
    std::function<void()> save = std::exchange(next_, nullptr);
    lock.unlock();
    save();
    lock.lock();
    busy_ = false;
    changed_.notify_all();
  }
}

}  // namespace vrel
