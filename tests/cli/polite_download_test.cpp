// vrel-cli add and update against servers that answer conditional requests,
// move or drop feeds, send web pages that name their feeds, or JSON Feeds.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "../net/served_test.h"
#include "cli_runner.h"

namespace vrel::test {
namespace {

constexpr auto npos = std::string::npos;
const char kRegister[] = "/corpus/feed-rs/atom_example_2.xml";  // "The Register - Science"

class PoliteDownloads : public ServedTest {
 protected:
  std::string DataFile() const {
    std::ifstream in(data, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  std::string Exported() const { return RunCli({"--data", data, "export"}).out; }

  TempDir dir;
  const std::string data = dir.path() + "/feeds.xml";
};

TEST_F(PoliteDownloads, AnUnchangedFeedIsNotSentAgain) {
  for (const char* validator : {"etag", "date"}) {
    const std::string url = Url(std::string("/conditional/") + validator);
    ASSERT_EQ(RunCli({"--data", data, "add", url}).status, 0);
    const std::string first = DataFile();
    const size_t item = first.find("<title>response ");
    ASSERT_NE(item, npos) << first;
    const std::string title = first.substr(item, first.find('<', item + 1) - item);

    const CliResult update = RunCli({"--data", data, "update", url});
    EXPECT_EQ(update.status, 0) << update.err;
    EXPECT_EQ(update.out, "1 of 1 feeds updated\n");
    // A second body would have counted on.
    EXPECT_NE(DataFile().find(title + "<"), npos) << validator << "\n" << DataFile();
  }
  EXPECT_NE(DataFile().find("etag=\"&quot;v1&quot;\""), npos);
  EXPECT_NE(DataFile().find("lastmodified=\"Sat, 01 Jun 2024 10:00:00 GMT\""), npos);
}

TEST_F(PoliteDownloads, APermanentlyMovedFeedTakesItsNewAddress) {
  const CliResult result = RunCli({"--data", data, "add", Url("/moved/2")});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_NE(Exported().find("xmlUrl=\"" + Url("/moved/0") + "\""), npos) << Exported();
  EXPECT_EQ(Exported().find(Url("/moved/2")), npos);

  // Temporary redirects leave the address alone.
  ASSERT_EQ(RunCli({"--data", data, "add", Url("/redirect/2")}).status, 0);
  EXPECT_NE(Exported().find("xmlUrl=\"" + Url("/redirect/2") + "\""), npos) << Exported();
}

TEST_F(PoliteDownloads, GoneAndBusyServersAreLeftAlone) {
  const std::string gone = Url("/status/410");
  const std::string busy = Url("/echo?status=429&retry=600");
  std::ofstream(data) << "<FEEDSTATUS><FEED uri=\"" << gone << "\" title=\"G\"/><FEED uri=\""
                      << std::string(busy).replace(busy.find('&'), 1, "&amp;") << "\" title=\"B\"/></FEEDSTATUS>";
  const CliResult result = RunCli({"--data", data, "update"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "0 of 2 feeds updated\n");
  EXPECT_NE(result.err.find("gone for good"), npos) << result.err;
  EXPECT_NE(result.err.find("asks to wait"), npos) << result.err;
  const std::string saved = DataFile();
  EXPECT_NE(saved.find("numattempts=\"15\""), npos) << saved;
  EXPECT_NE(saved.find("retryafter=\""), npos) << saved;
}

TEST_F(PoliteDownloads, AnAddedPageLeadsToItsFeed) {
  // The second page names the feed the first one added.
  std::string outcome = "Ready";
  for (const std::string& href : {std::string("/corpus/feed-rs/atom_example_2.xml"), Url(kRegister)}) {
    const std::string page = Echo(
        "<!DOCTYPE html><html><head><link rel=\"alternate\" "
        "type=\"application/atom+xml\" title=\"Science\" href=\"" +
            href + "\"></head><body>Welcome</body></html>",
        "text/html");
    const CliResult result = RunCli({"--data", data, "add", page});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "downloading " + page + "\nfound feed " + Url(kRegister) + ", downloading\n" + outcome + "\n");
    outcome = "Already in the list: The Register - Science";
  }
  const std::string exported = Exported();
  EXPECT_NE(exported.find("title=\"The Register - Science\" xmlUrl=\"" + Url(kRegister) + "\""), npos) << exported;
  EXPECT_EQ(exported.find("/echo"), npos) << exported;
}

TEST_F(PoliteDownloads, AServedPageNeverLeadsToALocalFile) {
  const std::string page = Echo(
      "<html><head><link rel=\"alternate\" type=\"application/rss+xml\" href=\"file:///etc/hostname\">"
      "</head></html>",
      "text/html");
  const CliResult result = RunCli({"--data", data, "add", page});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out.find("found feed"), npos) << result.out;
  EXPECT_EQ(Exported().find("file:"), npos) << Exported();
}

TEST_F(PoliteDownloads, AJsonFeedIsReadAsRss) {
  const std::string feed = R"({
    "version": "https://jsonfeed.org/version/1.1", "title": "Jay's Feed",
    "home_page_url": "https://jay.example/",
    "items": [
      {"id": "a", "url": "https://jay.example/a", "title": "Marked up",
       "content_html": "<p>Some <b>bold</b> words</p>", "date_published": "2024-06-01T10:00:00Z",
       "authors": [{"name": "Jay"}], "tags": ["x"]},
      {"id": "b", "url": "https://jay.example/b", "content_text": "Plain words only"}
    ]})";
  const std::string url = Echo(feed, "application/feed+json");
  const CliResult added = RunCli({"--data", data, "add", url});
  ASSERT_EQ(added.status, 0) << added.err;
  const CliResult inspected = RunCli({"inspect", url});
  EXPECT_EQ(inspected.status, 0) << inspected.err;
  EXPECT_NE(inspected.out.find("Marked up\thttps://jay.example/a\tSat, 01 Jun 2024 10:00:00 +0000\tJay\tx"), npos)
      << inspected.out;
  EXPECT_NE(inspected.out.find("Some bold words"), npos) << inspected.out;
  EXPECT_NE(inspected.out.find("Plain words only\thttps://jay.example/b"), npos) << inspected.out;
  EXPECT_NE(Exported().find("title=\"Jay&apos;s Feed\""), npos) << Exported();
}

}  // namespace
}  // namespace vrel::test
