#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "cli_runner.h"

namespace vrel::test {
namespace {

const std::string kLiftoff = std::string(VREL_CORPUS_DIR) + "/htmlparser2/RSS_Example.xml";
const char kAddress[] = "http://liftoff.example/rss.xml";

// A data file holding the corpus feed as feed 1.
struct ViewCommands : ::testing::Test {
  void SetUp() override {
    data = dir.path() + "/feeds.xml";
    const CliResult merged = RunCli({"--data", data, "merge", kAddress, kLiftoff});
    ASSERT_EQ(merged.status, 0) << merged.err;
  }
  CliResult Run(std::vector<std::string> args, bool markup = false) {
    args.insert(args.begin(), {"--data", data});
    if (markup) args.insert(args.begin() + 2, "--markup");
    return RunCli(args);
  }
  // firsttime and seq of the first item link in a mark-up view.
  std::vector<std::string> FirstItem(const std::string& markup) {
    std::smatch match;
    if (!std::regex_search(markup, match, std::regex("firsttime=\"([^\"]*)\" seq=\"([^\"]*)\""))) return {"", ""};
    return {match[1], match[2]};
  }

  TempDir dir;
  std::string data;
};

TEST_F(ViewCommands, ListAndShowAsTextOrMarkup) {
  const CliResult list = Run({"list"});
  EXPECT_EQ(list.status, 0) << list.err;
  EXPECT_EQ(list.out, "Liftoff News 4 /4 (0 min)\n");
  EXPECT_EQ(Run({"list"}, true).out.rfind("<A feedid=\"1\" newcount=\"4\"><B>Liftoff News</B></A>", 0), 0u);
  // A feed goes by its number or its address.
  const CliResult brief = Run({"show", kAddress, "--brief"});
  EXPECT_EQ(brief.status, 0) << brief.err;
  EXPECT_EQ(brief.out.rfind("Liftoff News\nStar City New\n", 0), 0u) << brief.out;
  EXPECT_EQ(Run({"show", "1", "--brief"}).out, brief.out);
  EXPECT_EQ(Run({"status"}).out, "Ready\n");
  const CliResult search = Run({"search", "STAR"});
  EXPECT_EQ(search.out.rfind("1 match for \"STAR\"\nStar City\nStar City\n", 0), 0u) << search.out;
}

TEST_F(ViewCommands, UnknownFeedsAndItemsAreErrors) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"show", "7"}, {"show", "http://nowhere.example/"}, {"read", "7"}, {"delete", "7"},
        {"set", "7", "--title", "T"}, {"item", "1", "20240101 000000", "0"}, {"open", "9", "x", "y"}}) {
    const CliResult result = Run(args);
    EXPECT_EQ(result.status, 1) << args[0];
    EXPECT_TRUE(result.out.empty()) << args[0];
    EXPECT_NE(result.err.find("vrel-cli: "), std::string::npos) << args[0];
  }
  EXPECT_EQ(Run({"show"}).status, 2);
}

TEST_F(ViewCommands, ReadSetDeleteChangeTheDataFile) {
  EXPECT_EQ(Run({"read", "all"}).out, "marked as read\n");
  EXPECT_EQ(Run({"read", "1"}).out, "nothing new\n");
  EXPECT_EQ(Run({"list"}).out, "Liftoff News 4 (0 min)\n");
  EXPECT_EQ(Run({"show", "1", "--new"}).err, "no new items\n");

  const CliResult badPeriod = Run({"set", "1", "--period", "soon"});
  EXPECT_EQ(badPeriod.status, 1);
  EXPECT_NE(badPeriod.err.find("'soon' is not a period"), std::string::npos);
  EXPECT_EQ(Run({"set", "1", "--title", "Renamed", "--period", "5 minutes"}).out, "changed\n");
  EXPECT_NE(Run({"show", "1"}).out.find("(every 20 minutes)"), std::string::npos);
  EXPECT_EQ(Run({"list"}).out, "Renamed 4 (0 min)\n");
  // A feed document's stored copy never gives way to scrape items.
  EXPECT_EQ(Run({"set", "1", "--scrape", "Price:~price"}).status, 1);
  EXPECT_EQ(Run({"item", "1", FirstItem(Run({"show", "1"}, true).out)[0], FirstItem(Run({"show", "1"}, true).out)[1]})
                .status,
            0);

  EXPECT_EQ(Run({"delete", kAddress}).out, "deleted\n");
  const CliResult empty = Run({"list"});
  EXPECT_EQ(empty.out, "");
  EXPECT_EQ(empty.err, "no feeds (add one with vrel-cli add ADDRESS)\n");
}

TEST_F(ViewCommands, OpenRefusesAddressesThatAreNoWebOrMailAddress) {
  const std::string hostile = dir.File(
      "hostile.xml",
      "<rss version=\"2.0\"><channel><title>H</title>"
      "<item><title>Run me</title><link>file:///bin/sh</link></item></channel></rss>");
  ASSERT_EQ(Run({"merge", "http://hostile.example/", hostile}).status, 0);
  const std::vector<std::string> item = FirstItem(Run({"show", "2"}, true).out);
  const CliResult open = Run({"open", "2", item[0], item[1]});
  EXPECT_EQ(open.status, 1);
  EXPECT_NE(open.err.find("Not opened (only http, https, ftp and mailto addresses are): file:///bin/sh"),
            std::string::npos)
      << open.err;
  // The click still counts: the item is shown as visited.
  EXPECT_NE(Run({"show", "2"}, true).out.find("<FONT color=\"100,100,120\">Run me</FONT>"), std::string::npos);
}

}  // namespace
}  // namespace vrel::test
