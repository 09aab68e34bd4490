#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../net/served_test.h"
#include "cli_runner.h"

namespace vrel::test {
namespace {

using namespace std::chrono_literals;

constexpr auto npos = std::string::npos;
const char kRegister[] = "/corpus/feed-rs/atom_example_2.xml";  // "The Register - Science", 2 items

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// An address as an attribute value of the data file.
std::string AsAttribute(const std::string& address) {
  std::string value;
  for (const char c : address) value += c == '&' ? std::string("&amp;") : std::string(1, c);
  return value;
}

// The FEED element of a saved data file whose "uri" is address.
std::string SavedFeed(const std::string& data, const std::string& address) {
  const std::string text = Slurp(data);
  const size_t uri = text.find("uri=\"" + AsAttribute(address) + "\"");
  if (uri == npos) return "";
  const size_t start = text.rfind("<FEED", uri);
  const size_t end = text.find("</FEED>", uri);
  return text.substr(start, end == npos ? npos : end - start);
}

std::string Database(const std::vector<std::string>& uris) {
  std::string text = "<FEEDSTATUS>\r\n";
  for (const std::string& uri : uris) text += "<FEED uri=\"" + AsAttribute(uri) + "\" title=\"T\"/>\r\n";
  return text + "</FEEDSTATUS>\r\n";
}

class DownloadCommands : public ServedTest {
 protected:
  TempDir dir;
  const std::string data = dir.path() + "/feeds.xml";
};

TEST_F(DownloadCommands, AddDownloadsAServedFeedIntoTheDataFile) {
  const std::string url = Url(kRegister);
  const CliResult result = RunCli({"--data", data, "add", url});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "downloading " + url + "\nReady\n");
  const std::string feed = SavedFeed(data, url);
  EXPECT_NE(feed.find("title=\"The Register - Science\" feedid=\"1\" arrivetime=\""), npos) << feed;
  EXPECT_NE(feed.find("seq=\"2\""), npos) << feed;

  // Added again, it is the same feed, brought up to date.
  EXPECT_EQ(RunCli({"--data", data, "add", url}).status, 0);
  const std::string saved = Slurp(data);
  EXPECT_EQ(saved.find("<FEED "), saved.rfind("<FEED "));
}

TEST_F(DownloadCommands, AddScrapesAWebPage) {
  const std::string url =
      Echo("<html><body><table><tr><td>Last Trade:</td><td><b>&nbsp;42.50 </b></td></tr></table></body></html>",
           "text/html; charset=utf-8");
  const CliResult result = RunCli({"--data", data, "add", "scrape(Last Trade:~lasttrade)" + url});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "downloading " + url + "\nReady\n");
  const std::string feed = SavedFeed(data, url);
  EXPECT_NE(feed.find("type=\"HTML\" title=\"Web Page 1\" feedid=\"1\""), npos) << feed;
  EXPECT_NE(feed.find("<lasttrade search=\"Last Trade:\">42.50</lasttrade>"), npos) << feed;
}

TEST_F(DownloadCommands, AddReportsAFailedDownloadAndAddsNothing) {
  const std::string url = Url("/status/404");
  CliResult result = RunCli({"--data", data, "add", url});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "downloading " + url + "\nerror " + url + "\n");
  EXPECT_EQ(result.err.rfind(url + "\n", 0), 0u) << result.err;
  EXPECT_NE(result.err.find("\nHTTP error 404 Not Found\n"), npos) << result.err;
  EXPECT_EQ(Slurp(data).find("<FEED "), npos);

  // A page that gives none of the values: the feed stays, failing.
  const std::string page = Echo("<p>nothing here</p>", "text/html");
  result = RunCli({"--data", data, "add", "scrape(Price:)" + page});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.out.find("\nno items " + page + "\n"), npos) << result.out;
  EXPECT_NE(result.err.find("\np>nothing here/p>\n"), npos) << result.err;
  EXPECT_NE(SavedFeed(data, page).find("failedtime=\""), npos);

  result = RunCli({"--data", data, "add", "scrape(Price:)"});
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("no address"), npos) << result.err;
  EXPECT_EQ(RunCli({"--data", data, "add"}).status, 2);
  EXPECT_EQ(RunCli({"--data", data, "add", "a", "b"}).status, 2);
}

// The screen saver is the tray program vrel, never vrel-cli itself; a build
// of the core alone has no vrel, and says so.
TEST_F(DownloadCommands, AddCopyScrInstallsTheTrayProgramAsTheScreenSaver) {
  const std::string previous = getenv("HOME") ? getenv("HOME") : "";
  setenv("HOME", dir.path().c_str(), 1);
  const CliResult result = RunCli({"--data", data, "add", "COPYSCR"});
  setenv("HOME", previous.c_str(), 1);
  const std::string target = dir.path() + "/.local/bin/brackenfold News Reader.scr";
  const std::string tray = (std::filesystem::path(VREL_CLI_PATH).parent_path().parent_path() / "app/vrel").string();
  if (access(tray.c_str(), X_OK) != 0) {
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("the tray program vrel"), npos) << result.err;
    EXPECT_FALSE(std::filesystem::exists(target));
    return;
  }
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out.rfind("Copied to " + target + "\nCOPYSCR\n", 0), 0u) << result.out;
  EXPECT_NE(result.out.find("\"brackenfold News\" \"" + target + "\" -root\n"), npos) << result.out;
  EXPECT_EQ(Slurp(target), Slurp(tray));
  EXPECT_EQ(access(target.c_str(), X_OK), 0);
}

TEST_F(DownloadCommands, UpdateDownloadsEveryFeedAndBooksTheFailures) {
  std::vector<std::string> uris;
  for (const char* file : {"feed-rs/atom_example_3.xml", "feed-rs/rss_2.0_bbc.xml", "feed-rs/rss_2.0_spiegel.xml",
                           "feed-rs/rss_2.0_matrix.xml", "laminas-feed/h-online.com-atom10.xml"}) {
    for (int copy = 0; copy < 3; ++copy)
      uris.push_back(Url(std::string("/corpus/") + file + "?copy=" + std::to_string(copy)));
  }
  const std::string missing = Url("/status/404"), broken = Echo("<rss><channel>", "text/xml");
  uris.push_back(missing);
  uris.push_back(broken);
  std::ofstream(data, std::ios::binary) << Database(uris);

  CliResult result = RunCli({"--data", data, "update"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "15 of 17 feeds updated\n");
  EXPECT_NE(result.err.find("HTTP error 404 Not Found"), npos) << result.err;
  EXPECT_NE(result.err.find("not well-formed XML"), npos) << result.err;
  for (size_t i = 0; i < 15; ++i) {
    const std::string feed = SavedFeed(data, uris[i]);
    EXPECT_NE(feed.find("arrivetime=\""), npos) << feed;
    EXPECT_EQ(feed.find("failedtime"), npos) << feed;
  }
  EXPECT_NE(SavedFeed(data, missing).find("failedtime=\""), npos);
  EXPECT_NE(SavedFeed(data, broken).find("failedtime=\""), npos);
  EXPECT_EQ(SavedFeed(data, missing).find("numattempts"), npos);  // an update is no automatic attempt

  result = RunCli({"--data", data, "update", "2", uris[4]});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "2 of 2 feeds updated\n");
  result = RunCli({"--data", data, "update", "99", "http://nowhere/"});
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("'99'"), npos) << result.err;
  EXPECT_NE(result.err.find("'http://nowhere/'"), npos) << result.err;
  EXPECT_EQ(result.out, "");
}

TEST_F(DownloadCommands, InspectReadsAddressesAndFilesAsDownloads) {
  const CliResult byUrl = RunCli({"inspect", Url(kRegister)});
  EXPECT_EQ(byUrl.status, 0) << byUrl.err;
  const CliResult byPath = RunCli({"inspect", std::string(VREL_CORPUS_DIR) + "/feed-rs/atom_example_2.xml"});
  EXPECT_EQ(byPath.status, 0) << byPath.err;
  EXPECT_EQ(byUrl.out.rfind("ATOM\nThe Register - Science\n", 0), 0u) << byUrl.out;
  EXPECT_EQ(byUrl.out, byPath.out);

  // A file in a legacy encoding is decoded as a download would be.
  const std::string latin1 =
      "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><rss version=\"2.0\"><channel><title>Caf\xE9</title>"
      "<item><title>\xE9t\xE9 \x80</title></item></channel></rss>";
  const CliResult file = RunCli({"inspect", dir.File("latin1.xml", latin1)});
  EXPECT_EQ(file.status, 0) << file.err;
  EXPECT_EQ(file.out, "RSS 2.0\nCaf\xC3\xA9\n\xC3\xA9t\xC3\xA9 \xE2\x82\xAC\t\t\t\t\t\t\n");

  const CliResult folder = RunCli({"inspect", dir.path()});
  EXPECT_EQ(folder.status, 1);
  EXPECT_NE(folder.err.find("Is a directory"), npos) << folder.err;
  const CliResult missing = RunCli({"inspect", Url("/status/500")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("HTTP error 500"), npos) << missing.err;
}

TEST_F(DownloadCommands, AnAddressWithoutSchemeGoesOverHttpsElseHttp) {
  const std::string url = Url(kRegister);
  const CliResult result = RunCli({"--data", data, "add", url.substr(std::string("http://").size())});
  EXPECT_EQ(result.status, 0) << result.err;
  // The test server speaks no TLS: the feed is kept under its http:// address.
  EXPECT_NE(SavedFeed(data, url).find("title=\"The Register - Science\""), npos) << Slurp(data);
}

// vrel-cli in the background, its output going to files.
class BackgroundCli {
 public:
  BackgroundCli(const std::vector<std::string>& args, const std::string& outPath) {
    std::vector<std::string> strings{VREL_CLI_PATH};
    strings.insert(strings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : strings) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~BackgroundCli() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  bool Started() const { return pid_ > 0; }
  // Sends signal and waits for the exit status; -1 when it did not exit normally.
  int Stop(int signal) {
    kill(pid_, signal);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
};

bool WaitForText(const std::string& path, const std::string& text) {
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (Slurp(path).find(text) == npos) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

TEST_F(DownloadCommands, RunKeepsTheFeedsUpToDateAndSavesWhenStopped) {
  const std::string url = Url(kRegister);
  std::ofstream(data, std::ios::binary) << Database({url});
  for (const int signal : {SIGTERM, SIGINT}) {
    const std::string out = dir.path() + "/run.out";
    BackgroundCli run({"--data", data, "run"}, out);
    ASSERT_TRUE(run.Started());
    ASSERT_TRUE(WaitForText(out, "Ready\n")) << Slurp(out);
    EXPECT_EQ(run.Stop(signal), 0);
    EXPECT_EQ(Slurp(out), "downloading T\nReady\n");
    EXPECT_NE(SavedFeed(data, url).find("arrivetime=\""), npos);
    std::ofstream(data, std::ios::binary) << Database({url});
  }
  EXPECT_EQ(RunCli({"--data", data, "run", "now"}).status, 2);
}

}  // namespace
}  // namespace vrel::test
