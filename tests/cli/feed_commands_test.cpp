#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli_runner.h"

namespace vrel::test {
namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(InspectCommand, ListsFormatTitleAndItemFields) {
  TempDir dir;
  const std::string file = dir.File(
      "feed.xml",
      "<?xml version=\"1.0\"?>\n<rss version=\"2.0\"><channel><title>Chan\tnel</title>"
      "<item><title>First</title><link>http://e.com/1</link><pubDate>Mon, 1 Jan 2024</pubDate>"
      "<author>Ann</author><category>News</category><slash:comments>2</slash:comments>"
      "<description>Line one\nline\ttwo &lt;b&gt;bold&lt;/b&gt; and more</description></item>"
      "<item><description>" + std::string(90, 'w') + "</description></item>"
      "</channel></rss>\n");
  const CliResult result = RunCli({"inspect", file});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out,
            "RSS 2.0\n"
            "Chan nel\n"
            "First\thttp://e.com/1\tMon, 1 Jan 2024\tAnn\tNews\t2\tLine one line two bold and more\n" +
                std::string(40, 'w') + "...\t\t\t\t\t\t" + std::string(80, 'w') + "...\n");
}

TEST(InspectCommand, UsesTheAbsolutePathAsAddress) {
  TempDir dir;
  const std::string file = dir.File(
      "ws.xml", "<ArrayOfArticleBrief><A><Title>t</Title><URL>/x.html</URL></A></ArrayOfArticleBrief>");
  const CliResult result = RunCli({"inspect", file});
  EXPECT_EQ(result.status, 0);
  // A file address has no host part, so the whole address is the base of relative links.
  EXPECT_EQ(result.out, "ArrayOfArticleBrief\nArrayOfArticleBrief\nt\t" + file + "x.html\t\t\t\t\t\n");
}

TEST(InspectCommand, RefusesDocumentsThatAreNoFeed) {
  TempDir dir;
  CliResult result = RunCli({"inspect", dir.File("bad.xml", "<rss><channel></rss>")});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_NE(result.err.find("not well-formed"), std::string::npos) << result.err;
  result = RunCli({"inspect", dir.File("leaf.xml", "<rss>text</rss>")});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("no child element"), std::string::npos) << result.err;
  result = RunCli({"inspect", dir.path() + "/missing.xml"});
  EXPECT_EQ(result.status, 1);
  EXPECT_FALSE(result.err.empty());
}

TEST(MergeCommand, MergesIntoTheGivenDataFile) {
  TempDir dir;
  const std::string data = dir.path() + "/feedstatus.xml";
  const std::string feed = dir.File("feed.xml", "<rss version=\"2.0\"><channel><title>Chan</title>"
                                                "<item><title>One</title></item></channel></rss>");
  CliResult result = RunCli({"--data", data, "merge", "http://e.com/rss", feed});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "merged\n");
  const std::string saved = Slurp(data);
  EXPECT_NE(saved.find("<FEED uri=\"http://e.com/rss\" title=\"Chan\" feedid=\"1\""), std::string::npos) << saved;
  EXPECT_NE(saved.find("seq=\"1\""), std::string::npos);

  result = RunCli({"--data", data, "merge", "http://e.com/other", dir.File("bad.xml", "<rss>")});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_FALSE(result.err.empty());
  EXPECT_EQ(Slurp(data), saved);
}

// Only a command that writes over the damaged file keeps a copy of it.
TEST(MergeCommand, KeepsADamagedDataFile) {
  TempDir dir;
  const std::string data = dir.File("feedstatus.xml", "<FEEDSTATUS><FEED uri=\"x\">");
  const std::string feed = dir.File("feed.xml", "<news><a>1</a></news>");
  const auto copies = [&] {
    int kept = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
      if (entry.path().filename().string().rfind("feedstatus.xml.damaged-", 0) == 0) {
        ++kept;
        EXPECT_EQ(Slurp(entry.path().string()), "<FEEDSTATUS><FEED uri=\"x\">");
      }
    return kept;
  };
  for (int run = 0; run < 2; ++run) {
    const CliResult list = RunCli({"--data", data, "list"});
    EXPECT_NE(list.err.find("damaged"), std::string::npos) << list.err;
  }
  EXPECT_EQ(copies(), 0);
  const CliResult result = RunCli({"--data", data, "merge", "http://e.com/n", feed});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.err.find("is kept as " + data + ".damaged-"), std::string::npos) << result.err;
  EXPECT_EQ(copies(), 1);
}

TEST(MergeCommand, UsesTheConfiguredDataFileWithoutData) {
  TempDir dir;
  const std::string config = dir.path() + "/config";
  std::filesystem::create_directories(config + "/Ostrivane Software");
  const std::string data = dir.path() + "/configured.xml";
  std::ofstream(data) << "";
  std::ofstream(config + "/Ostrivane Software/vrel.conf") << "[Settings]\nDataFile=" << data << "\n";
  const char* saved = std::getenv("XDG_CONFIG_HOME");
  const std::string previous = saved ? saved : "";
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  const CliResult result = RunCli({"merge", "http://e.com/n", dir.File("feed.xml", "<news><a>1</a></news>")});
  if (saved)
    setenv("XDG_CONFIG_HOME", previous.c_str(), 1);
  else
    unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_NE(Slurp(data).find("uri=\"http://e.com/n\""), std::string::npos);
}

}  // namespace
}  // namespace vrel::test
