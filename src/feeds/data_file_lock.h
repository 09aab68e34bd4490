// DataFileLock: keeps other vrel and vrel-cli processes from changing a data
// file while this one has it in memory, so that neither save undoes the
// other. An advisory lock (flock) on NAME.lock beside the data file, which
// holds the holder's process id so that a refusal can name it. The lock
// goes with its process, so a killed holder leaves no stale lock.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "feeds/outcome.h"

namespace vrel {

// How long a process waits for another to let go of a data file.
inline constexpr std::chrono::milliseconds kDataFileLockWait{3000};

class DataFileLock {
 public:
  DataFileLock() = default;
  ~DataFileLock() { Release(); }
  DataFileLock(DataFileLock&& other) noexcept;
  DataFileLock& operator=(DataFileLock&& other) noexcept;

  // Takes the lock of the data file at dataPath, waiting up to wait while
  // another process holds it (waiting, when given, is told the refusal once
  // the wait begins). Refused with "The data file is in use by another vrel
  // or vrel-cli (PID N)".
  Outcome Acquire(const std::string& dataPath, std::chrono::milliseconds wait,
                  const std::function<void(const std::string&)>& waiting = {});
  void Release();

  bool Held() const { return fd_ >= 0; }
  bool Holds(const std::string& dataPath) const;

 private:
  int fd_ = -1;
  std::string lockPath_;
};

}  // namespace vrel
