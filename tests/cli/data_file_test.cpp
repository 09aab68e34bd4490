// vrel-cli and the data file: commands that run side by side, and paths
// that are no data file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "cli_runner.h"

namespace vrel::test {
namespace {

using namespace std::chrono_literals;
constexpr auto npos = std::string::npos;

std::string Feed(const std::string& title) {
  return "<rss version=\"2.0\"><channel><title>" + title + "</title><item><title>one</title></item></channel></rss>";
}

// Polls for what another process does, for a few seconds at most.
template <typename Done>
bool Eventually(Done done) {
  for (const auto deadline = std::chrono::steady_clock::now() + 10s; std::chrono::steady_clock::now() < deadline;) {
    if (done()) return true;
    std::this_thread::sleep_for(10ms);
  }
  return false;
}

// An update whose one feed is a named pipe loads the data file, then waits
// in its download until the test writes the feed into the pipe: meanwhile
// an add and a delete run on the same file. Each waits for the one before
// to save, so none undoes another.
TEST(DataFileUse, CommandsThatChangeTheFileWaitForEachOther) {
  TempDir dir;
  const std::string pipe = dir.Path("slow.fifo");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const std::string data = dir.File("feeds.xml", "<FEEDSTATUS><FEED uri=\"" + pipe +
                                                     "\" title=\"Slow\"/><FEED uri=\"http://old.example/\" "
                                                     "title=\"Old\"/></FEEDSTATUS>");
  CliProcess update({"--data", data, "update", pipe});
  int feedPipe = -1;
  ASSERT_TRUE(Eventually([&] { return (feedPipe = open(pipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) >= 0; }));

  CliProcess add({"--data", data, "add", dir.File("new.xml", Feed("New"))});
  CliProcess remove({"--data", data, "delete", "http://old.example/"});
  const std::string waiting = "in use by another vrel or vrel-cli (PID " + std::to_string(update.Pid()) + "); waiting";
  for (CliProcess* waiter : {&add, &remove})
    EXPECT_TRUE(Eventually([&] { return !waiter->Running() || waiter->ErrSoFar().find(waiting) != npos; }));

  const std::string slow = Feed("Slow");
  fcntl(feedPipe, F_SETFL, 0);
  ASSERT_EQ(write(feedPipe, slow.data(), slow.size()), ssize_t(slow.size()));
  close(feedPipe);
  EXPECT_EQ(update.Finish().status, 0);
  for (CliProcess* waiter : {&add, &remove}) {
    const CliResult result = waiter->Finish();
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.err.find(waiting), npos) << result.err;
  }
  const std::string saved = ReadWhole(data);
  EXPECT_NE(saved.find("<title>Slow</title>"), npos) << saved;
  EXPECT_NE(saved.find("title=\"New\""), npos) << saved;
  EXPECT_EQ(saved.find("old.example"), npos) << saved;
}

TEST(DataFileUse, AFolderIsNoDataFile) {
  TempDir dir;
  for (const std::vector<std::string>& command : {std::vector<std::string>{"list"}, {"read", "all"}}) {
    std::vector<std::string> args{"--data", dir.path()};
    args.insert(args.end(), command.begin(), command.end());
    const CliResult result = RunCli(args);
    EXPECT_EQ(result.status, 1) << command[0];
    EXPECT_EQ(result.err, "vrel-cli: The data file " + dir.path() + " is a folder, not a file\n") << command[0];
  }
}

}  // namespace
}  // namespace vrel::test
