#include "feeds/data_file_lock.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "feed_test_support.h"
#include "feeds/news_engine.h"

namespace vrel {
namespace {

using namespace std::chrono_literals;
using test::EngineFixture;
using test::TempDir;

std::string InUseBy(pid_t pid) {
  return "The data file is in use by another vrel or vrel-cli (PID " + std::to_string(pid) + ")";
}

// Another process that takes the lock of a data file and keeps it until
// told to end (or ends at once, as if killed).
class OtherProcess {
 public:
  OtherProcess(const std::string& dataPath, bool release) {
    int taken[2], told[2];
    EXPECT_EQ(pipe(taken), 0);
    EXPECT_EQ(pipe(told), 0);
    pid_ = fork();
    if (pid_ == 0) {
      close(told[1]);
      DataFileLock lock;
      const char ok = lock.Acquire(dataPath, 0ms) ? '1' : '0';
      if (write(taken[1], &ok, 1) != 1 || !release) _exit(0);  // a killed holder lets go of nothing itself
      char end;
      while (read(told[0], &end, 1) > 0) {
      }
      lock.Release();
      _exit(0);
    }
    close(taken[1]);
    close(told[0]);
    char ok = '0';
    EXPECT_EQ(read(taken[0], &ok, 1), 1);
    EXPECT_EQ(ok, '1');
    close(taken[0]);
    tell_ = told[1];
  }
  ~OtherProcess() { End(); }
  void End() {
    if (tell_ < 0) return;
    close(tell_);
    tell_ = -1;
    waitpid(pid_, nullptr, 0);
  }
  pid_t Pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int tell_ = -1;
};

TEST(DataFileLock, AnotherProcessIsWaitedForThenRefusedByItsPid) {
  TempDir dir;
  const std::string path = dir.Path("feeds.xml");
  OtherProcess other(path, true);
  DataFileLock lock;
  std::vector<std::string> told;
  const Outcome refused = lock.Acquire(path, 100ms, [&](const std::string& why) { told.push_back(why); });
  EXPECT_FALSE(refused);
  EXPECT_EQ(refused.Message(), InUseBy(other.Pid()));
  EXPECT_EQ(told, std::vector<std::string>{InUseBy(other.Pid())});
  EXPECT_FALSE(lock.Held());

  other.End();
  ASSERT_TRUE(lock.Acquire(path, 0ms));
  EXPECT_TRUE(lock.Holds(dir.path() + "/./feeds.xml"));
  EXPECT_FALSE(lock.Holds(dir.Path("other.xml")));
  // The lock is per opening, so even this process cannot take it twice.
  EXPECT_EQ(DataFileLock().Acquire(path, 0ms).Message(), InUseBy(getpid()));
}

TEST(DataFileLock, AKilledHolderLeavesNoLock) {
  TempDir dir;
  const std::string path = dir.Path("feeds.xml");
  OtherProcess(path, false).End();
  EXPECT_TRUE(DataFileLock().Acquire(path, 0ms));
}

TEST(DataFileLock, TheEngineMovesItsLockWithItsDataFile) {
  EngineFixture f;
  const std::string path = f.dir.Path("old.xml"), held = f.dir.Path("held.xml"), moved = f.dir.Path("new.xml");
  test::WriteFile(held, "<FEEDSTATUS/>");
  ASSERT_TRUE(f.engine.LockDataFile(path, 0ms));
  ASSERT_TRUE(f.engine.LoadDataFile(path));
  ASSERT_TRUE(f.engine.MergeDownload("http://a/", "<rss><channel><item><title>x</title></item></channel></rss>"));

  DataFileLock other;
  ASSERT_TRUE(other.Acquire(held, 0ms));
  const Outcome refused = f.engine.ChangeDataFile(held);
  EXPECT_EQ(refused.Message(), InUseBy(getpid()));
  EXPECT_EQ(f.engine.Database().Path(), path);
  EXPECT_FALSE(f.engine.LoadDataFile(held));

  ASSERT_TRUE(f.engine.LoadDataFile(path));
  ASSERT_TRUE(f.engine.MergeDownload("http://a/", "<rss><channel><item><title>x</title></item></channel></rss>"));
  ASSERT_TRUE(f.engine.ChangeDataFile(moved));
  EXPECT_TRUE(DataFileLock().Acquire(path, 0ms));  // let go of
  EXPECT_FALSE(DataFileLock().Acquire(moved, 0ms));
}

}  // namespace
}  // namespace vrel
