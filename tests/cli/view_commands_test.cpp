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

TEST_F(ViewCommands, SetFolderGroupsTheListAndNewShowsTheFolder) {
  EXPECT_EQ(Run({"set", "1", "--folder", " Space / Launches "}).out, "changed\n");
  EXPECT_EQ(Run({"list"}).out, "Space/Launches 4 /4\n    Liftoff News 4 /4 (0 min)\n");
  const CliResult folderNew = Run({"new", "--folder", "Space/Launches"});
  EXPECT_EQ(folderNew.status, 0) << folderNew.err;
  EXPECT_EQ(folderNew.out, Run({"new"}).out);
  EXPECT_NE(folderNew.out.find("Star City"), std::string::npos) << folderNew.out;

  const CliResult unknown = Run({"new", "--folder", "Space"});
  EXPECT_EQ(unknown.status, 1);
  EXPECT_EQ(unknown.err, "vrel-cli: no feed is in the folder 'Space' (see vrel-cli list)\n");
  EXPECT_EQ(Run({"new", "--folder"}).status, 2);
  EXPECT_EQ(Run({"new", "Space"}).status, 2);

  EXPECT_EQ(Run({"set", "1", "--folder", "Space/Launches"}).out, "nothing to change\n");
  EXPECT_EQ(Run({"set", "1", "--folder", ""}).out, "changed\n");
  EXPECT_EQ(Run({"list"}).out, "Liftoff News 4 /4 (0 min)\n");
  EXPECT_EQ(ReadWhole(data).find("folder="), std::string::npos);
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

// Whatever a terminal would obey: C0 controls but tab and line feed (and a
// carriage return where mark-up is printed), DEL, and the C1 controls.
bool ObeyedByATerminal(const std::string& text, bool markup) {
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if ((byte < 0x20 && byte != '\t' && byte != '\n' && !(markup && byte == '\r')) || byte == 0x7F) return true;
    if (byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0) return true;
  }
  return false;
}

// A data file as an older reader could leave it: controls raw and as
// references in the title, item text and author, and a NUL.
TEST(HostileFeedText, NeverReachesTheTerminalAndExportsWhole) {
  using namespace std::string_literals;
  TempDir dir;
  const std::string data = dir.File(
      "feeds.xml",
      "<FEEDSTATUS><FEED uri=\"http://h.example/\" title=\"Evil\x1b]0;x\x07\0tail\" arrivetime=\"20240101 000000\">"
      "<rss version=\"2.0\"><channel><title>H</title><item firsttime=\"20240101 000001\" seq=\"1\">"
      "<title>Esc&#27;[2J&#155;[31mC1</title><link>http://h.example/1</link>"
      "<author>a&#27;]8;;http://evil/&#27;\\b</author><description>d\x1b[1m&#127;</description></item>"
      "</channel></rss></FEED></FEEDSTATUS>"s);
  const auto run = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"--data", data});
    return RunCli(args);
  };
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"list"}, {"show", "1"}, {"show", "1", "--brief"}, {"new"}, {"search", "Esc"},
        {"item", "1", "20240101 000001", "1"}, {"--markup", "show", "1"}}) {
    const CliResult result = run(args);
    EXPECT_EQ(result.status, 0) << args[0] << result.err;
    EXPECT_FALSE(result.out.empty()) << args[0];
    EXPECT_FALSE(ObeyedByATerminal(result.out, args[0] == "--markup")) << args[0] << ": " << result.out;
    EXPECT_FALSE(ObeyedByATerminal(result.err, false)) << args[0] << ": " << result.err;
  }
  EXPECT_NE(run({"show", "1"}).out.find("Esc[2J[31mC1"), std::string::npos);

  const CliResult exported = run({"export"});
  EXPECT_EQ(exported.status, 0) << exported.err;
  EXPECT_NE(exported.out.find("title=\"Evil]0;xtail\""), std::string::npos) << exported.out;
  EXPECT_NE(exported.out.find("</opml>\n"), std::string::npos) << exported.out;
  EXPECT_EQ(run({"export", dir.Path("out.opml")}).status, 0);
  EXPECT_EQ(ReadWhole(dir.Path("out.opml")), exported.out);
}

}  // namespace
}  // namespace vrel::test
