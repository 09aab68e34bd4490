#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "cli_runner.h"

namespace vrel::test {
namespace {

constexpr auto npos = std::string::npos;

const char kSubscriptions[] = R"(<?xml version="1.0"?>
<opml version="1.0"><head><title>Mine</title></head><body>
  <outline text="News">
    <outline text="Alpha" xmlUrl="http://alpha/rss"/>
    <outline text="More"><outline title="Beta &amp; Co" xmlUrl="http://beta/atom"/></outline>
  </outline>
  <outline text="Alpha again" xmlUrl="http://alpha/rss"/>
</body></opml>
)";

class OpmlCommands : public testing::Test {
 protected:
  TempDir dir;
  const std::string data = dir.path() + "/feeds.xml";
};

TEST_F(OpmlCommands, ImportThenExportGivesTheSameFeeds) {
  const std::string opml = dir.File("mine.opml", kSubscriptions);
  CliResult result = RunCli({"--data", data, "import", opml});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "Imported " + opml + ": 2 feeds added, 1 already present\n");
  result = RunCli({"--data", data, "import", opml});
  EXPECT_EQ(result.out, "Imported " + opml + ": 0 feeds added, 3 already present\n");

  result = RunCli({"--data", data, "list"});
  EXPECT_NE(result.out.find("Alpha"), npos) << result.out;
  EXPECT_NE(result.out.find("Beta & Co"), npos) << result.out;

  result = RunCli({"--data", data, "export"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.out.find("<opml version=\"2.0\">"), npos) << result.out;
  EXPECT_NE(result.out.find("title=\"Alpha\" xmlUrl=\"http://alpha/rss\""), npos) << result.out;
  EXPECT_NE(result.out.find("title=\"Beta &amp; Co\" xmlUrl=\"http://beta/atom\""), npos) << result.out;

  const std::string exported = dir.path() + "/out.opml";
  result = RunCli({"--data", data, "export", exported});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "Exported 2 feeds to " + exported + "\n");
  const std::string other = dir.path() + "/other.xml";
  result = RunCli({"--data", other, "import", exported});
  EXPECT_EQ(result.out, "Imported " + exported + ": 2 feeds added, 0 already present\n");
  EXPECT_EQ(RunCli({"--data", other, "export"}).out, RunCli({"--data", data, "export"}).out);
}

TEST_F(OpmlCommands, AMalformedFileIsReportedAndChangesNothing) {
  const std::string opml = dir.File("bad.opml", "<opml><body><outline xmlUrl=\"http://a/\"></body></opml>");
  const CliResult result = RunCli({"--data", data, "import", opml});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err.rfind("vrel-cli: import: Cannot import " + opml + ": ", 0), 0u) << result.err;
  EXPECT_FALSE(std::filesystem::exists(data));

  EXPECT_EQ(RunCli({"--data", data, "import"}).status, 2);
  EXPECT_EQ(RunCli({"--data", data, "export", "a", "b"}).status, 2);
  EXPECT_EQ(RunCli({"--data", data, "export", dir.path() + "/missing/out.opml"}).status, 1);
}

}  // namespace
}  // namespace vrel::test
