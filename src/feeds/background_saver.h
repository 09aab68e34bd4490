// Saves the data file on a thread of its own, one save at a time, so that
// saving a large file never stalls the thread that owns the database: the
// save takes the text under the database lock (a copy) and writes the file
// without it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

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
  BackgroundSaver();
  ~BackgroundSaver();  // waits for the save that runs
  BackgroundSaver(const BackgroundSaver&) = delete;
  BackgroundSaver& operator=(const BackgroundSaver&) = delete;

  // Runs save on the saver's thread. False, and nothing done, while a save
  // still runs.
  bool Start(std::function<void()> save);
  bool Busy() const;
  // Returns once no save runs.
  void Wait();

 private:
  void Run();

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::function<void()> next_;  // under mutex_
  bool busy_ = false;           // under mutex_
  bool stopping_ = false;       // under mutex_
  std::thread thread_;
};

}  // namespace vrel
