#include "feeds/data_file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <thread>
#include <utility>

namespace vrel {
namespace {

constexpr auto kRetryInterval = std::chrono::milliseconds(50);

// Beside the file itself: two names for one file share one lock.
std::string LockPathFor(const std::string& dataPath) {
  std::error_code error;
  const std::filesystem::path real = std::filesystem::weakly_canonical(dataPath, error);
  return (error ? dataPath : real.string()) + ".lock";
}

std::string HolderOf(int fd) {
  char text[24] = {};
  const ssize_t read = ::pread(fd, text, sizeof text - 1, 0);
  const std::string pid = read > 0 ? std::string(text, size_t(read)) : std::string();
  const size_t end = pid.find_first_not_of("0123456789");
  return pid.substr(0, end);
}

// The holder's process id, for the refusals of others; the lock holds
// whether it could be written or not.
bool WriteHolder(int fd) {
  const std::string pid = std::to_string(::getpid()) + "\n";
  return ::ftruncate(fd, 0) == 0 && ::pwrite(fd, pid.data(), pid.size(), 0) == ssize_t(pid.size());
}

std::string InUse(const std::string& holder) {
  return "The data file is in use by another vrel or vrel-cli (PID " + (holder.empty() ? "unknown" : holder) + ")";
}

}  // namespace

DataFileLock::DataFileLock(DataFileLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), lockPath_(std::move(other.lockPath_)) {}

DataFileLock& DataFileLock::operator=(DataFileLock&& other) noexcept {
  if (this != &other) {
    Release();
    fd_ = std::exchange(other.fd_, -1);
    lockPath_ = std::move(other.lockPath_);
  }
  return *this;
}

Outcome DataFileLock::Acquire(const std::string& dataPath, std::chrono::milliseconds wait,
                              const std::function<void(const std::string&)>& waiting) {
  Release();
  const std::string lockPath = LockPathFor(dataPath);
  // Not inherited: a browser started later must not hold the lock on.
  const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return Outcome::Failure("cannot lock the data file with " + lockPath + ": " + std::strerror(errno));
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (bool told = false; ::flock(fd, LOCK_EX | LOCK_NB) != 0;) {
    if (errno != EWOULDBLOCK && errno != EINTR) {
      const std::string why = std::strerror(errno);
      ::close(fd);
      return Outcome::Failure("cannot lock the data file with " + lockPath + ": " + why);
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      const std::string refusal = InUse(HolderOf(fd));
      ::close(fd);
      return Outcome::Failure(refusal);
    }
    if (!told && waiting) waiting(InUse(HolderOf(fd)));
    told = true;
    std::this_thread::sleep_for(kRetryInterval);
  }
  WriteHolder(fd);
  fd_ = fd;
  lockPath_ = lockPath;
  return Outcome::Success();
}

void DataFileLock::Release() {
  if (fd_ < 0) return;
  ::close(fd_);
  fd_ = -1;
  lockPath_.clear();
}

bool DataFileLock::Holds(const std::string& dataPath) const { return Held() && lockPath_ == LockPathFor(dataPath); }

}  // namespace vrel
