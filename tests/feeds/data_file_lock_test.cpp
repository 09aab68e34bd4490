#include "feeds/data_file_lock.h"

#include <gtest/gtest.h>
#include <unistd.h>

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

// flock locks belong to an opening of the lock file, so a second lock in
// this process stands for another process (vrel-cli's tests use real ones).
TEST(DataFileLock, AHeldFileIsWaitedForThenRefusedByItsHoldersPid) {
  TempDir dir;
  const std::string path = dir.Path("feeds.xml");
  DataFileLock other;
  ASSERT_TRUE(other.Acquire(path, 0ms));
  DataFileLock lock;
  std::vector<std::string> told;
  const Outcome refused = lock.Acquire(path, 100ms, [&](const std::string& why) { told.push_back(why); });
  EXPECT_EQ(refused.Message(), InUseBy(getpid()));
  EXPECT_EQ(told, std::vector<std::string>{InUseBy(getpid())});
  EXPECT_FALSE(lock.Held());

  other.Release();
  ASSERT_TRUE(lock.Acquire(path, 0ms));
  EXPECT_TRUE(lock.Holds(dir.path() + "/./feeds.xml"));
  EXPECT_FALSE(lock.Holds(dir.Path("other.xml")));
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
