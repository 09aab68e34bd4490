#include "feeds/background_saver.h"

namespace vrel {

BackgroundSaver::BackgroundSaver(Writer writer) : writer_(std::move(writer)), thread_([this] { Run(); }) {}

BackgroundSaver::~BackgroundSaver() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

bool BackgroundSaver::Start(DataFileSnapshot snapshot, Done done) {
  {
    std::lock_guard lock(mutex_);
    if (busy_ || stopping_) return false;
    busy_ = true;
    next_.emplace(std::move(snapshot), std::move(done));
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

// A write that was handed over is finished even when the saver is being
// destroyed: the destructor waits for it.
void BackgroundSaver::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return next_.has_value() || stopping_; });
    if (!next_) return;
    auto [snapshot, done] = std::move(*next_);
    next_.reset();
    lock.unlock();
    const Outcome written = writer_(snapshot);
    if (done) done(written);
    lock.lock();
    busy_ = false;
    changed_.notify_all();
  }
}

}  // namespace vrel
