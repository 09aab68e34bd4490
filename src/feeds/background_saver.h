// Writes snapshots of the data file on a thread of its own, one at a time,
// so that saving a large file never stalls the thread that owns the
// database: the text is taken under the database lock (a copy), the file is
// written without it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "feeds/outcome.h"

namespace vrel {

// What a save writes: the text in the encoding the flags record, at path.
struct DataFileSnapshot {
  std::string path;
  std::string text;
  uint32_t flags = 0;
};

class BackgroundSaver {
 public:
  using Writer = std::function<Outcome(const DataFileSnapshot&)>;
  using Done = std::function<void(const Outcome&)>;

  explicit BackgroundSaver(Writer writer);
  ~BackgroundSaver();  // waits for the write that runs
  BackgroundSaver(const BackgroundSaver&) = delete;
  BackgroundSaver& operator=(const BackgroundSaver&) = delete;

  // Hands the snapshot to the saver's thread, which calls done with the
  // outcome when the file is written. False, and nothing taken, while a
  // write still runs.
  bool Start(DataFileSnapshot snapshot, Done done);
  bool Busy() const;
  // Returns once no write runs (done has been called).
  void Wait();

 private:
  void Run();

  Writer writer_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::optional<std::pair<DataFileSnapshot, Done>> next_;  // under mutex_
  bool busy_ = false;                                       // under mutex_
  bool stopping_ = false;                                   // under mutex_
  std::thread thread_;
};

}  // namespace vrel
