#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <iconv.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "net/download.h"
#include "xml/xml_doc.h"
#include "download_wait.h"
#include "served_test.h"

namespace vrel {
namespace {

using namespace std::chrono_literals;
using test::Await;
using test::PercentEncode;
using test::QuickOptions;

constexpr auto kXml = DownloadKind::XmlDocument;
const std::string kFeed = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>Plain</title></channel></rss>";

DownloadResult Fetch(const std::string& address, DownloadKind kind = kXml, DownloadOptions options = QuickOptions()) {
  Downloader downloader(std::move(options));
  return Await(*downloader.Start(address, kind));
}

bool IsValidUtf8(const std::string& text) {
  iconv_t converter = iconv_open("UTF-32LE", "UTF-8");
  std::string wide(text.size() * 4, '\0');
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  char* out = wide.data();
  size_t outLeft = wide.size();
  const bool valid = iconv(converter, &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1);
  iconv_close(converter);
  return valid;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

class DownloaderTest : public test::ServedTest {};

TEST_F(DownloaderTest, DeliversTheBodyAndWhatTheHeadersSay) {
  const DownloadResult result = Fetch(Url("/headers?type=application/rss%2Bxml"));
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.text, kFeed);
  EXPECT_EQ(result.error, "");
  EXPECT_EQ(result.httpStatus, 200);
  EXPECT_EQ(result.finalUrl, Url("/headers?type=application/rss%2Bxml"));
  EXPECT_EQ(result.contentType, "application/rss+xml");
  EXPECT_EQ(result.etag, "\"v1\"");
  EXPECT_EQ(result.lastModified, "Sat, 01 Jun 2024 10:00:00 GMT");
  EXPECT_EQ(result.charset, "UTF-8");
  EXPECT_EQ(Fetch(Url("/agent")).text, "brackenfold News Reader/1.2.1");
}

TEST_F(DownloaderTest, HttpErrorStatusIsAFailureThatNamesIt) {
  const DownloadResult notFound = Fetch(Url("/status/404"));
  EXPECT_FALSE(notFound.ok);
  EXPECT_EQ(notFound.error, "HTTP error 404 Not Found");
  EXPECT_EQ(notFound.httpStatus, 404);
  EXPECT_EQ(notFound.text, "");
  EXPECT_EQ(Fetch(Url("/status/500")).error, "HTTP error 500 Internal Server Error");
  EXPECT_EQ(Fetch(Url("/status/400")).error, "HTTP error 400 Bad Request");
  EXPECT_TRUE(Fetch(Url("/status/203")).ok);
}

TEST_F(DownloaderTest, FollowsUpToTenRedirects) {
  const DownloadResult chain = Fetch(Url("/redirect/3"));
  ASSERT_TRUE(chain.ok) << chain.error;
  EXPECT_EQ(chain.text, kFeed);
  EXPECT_EQ(chain.finalUrl, Url("/redirect/0"));
  EXPECT_TRUE(Fetch(Url("/redirect/10")).ok);

  const DownloadResult tooMany = Fetch(Url("/redirect/11"));
  EXPECT_FALSE(tooMany.ok);
  EXPECT_NE(tooMany.error.find("redirects"), std::string::npos) << tooMany.error;
  const DownloadResult loop = Fetch(Url("/loop"));
  EXPECT_FALSE(loop.ok);
  EXPECT_NE(loop.error.find("redirects"), std::string::npos) << loop.error;
}

TEST_F(DownloaderTest, DecompressesGzipAndDeflate) {
  for (const char* path : {"/gzip", "/deflate"}) {
    const DownloadResult result = Fetch(Url(path));
    ASSERT_TRUE(result.ok) << path << ": " << result.error;
    EXPECT_EQ(result.text, kFeed) << path;
  }
}

TEST_F(DownloaderTest, ServerThatNeverAnswersTimesOut) {
  DownloadOptions options = QuickOptions();
  options.transferTimeout = 300ms;
  const auto start = std::chrono::steady_clock::now();
  const DownloadResult result = Fetch(Url("/hang"), kXml, options);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.error.find("timed out"), std::string::npos) << result.error;
  EXPECT_NE(result.error.find(Url("/hang")), std::string::npos) << result.error;
}

// A port on 127.0.0.1 that was free a moment ago and has no listener now.
std::string RefusingHost() {
  const int probe = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  EXPECT_EQ(bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  EXPECT_EQ(getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length), 0);
  close(probe);
  return "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
}

TEST_F(DownloaderTest, RefusedConnectionIsAClearFailure) {
  const std::string url = "http://" + RefusingHost() + "/feed";
  const DownloadResult result = Fetch(url);
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.error.find("connect"), std::string::npos) << result.error;
  EXPECT_NE(result.error.find(url), std::string::npos) << result.error;
}

// An address typed without a scheme goes over https, and over http where
// https is refused; a certificate that fails is no reason to go over http.
TEST_F(DownloaderTest, HttpsFallsBackToHttpWhenRefused) {
  Downloader downloader(QuickOptions());
  const std::string plain = Url("/echo?body=x&type=text/plain");
  const std::string secure = "https://" + plain.substr(7);
  const DownloadResult fellBack = Await(*downloader.StartWithHttpFallback(secure, kXml));
  EXPECT_TRUE(fellBack.ok) << fellBack.error;
  EXPECT_EQ(fellBack.text, "x");
  EXPECT_EQ(fellBack.permanentUrl, plain);
  EXPECT_FALSE(Await(*downloader.Start(secure, kXml)).ok);  // no fallback unless asked

  const std::string refusing = RefusingHost();
  const DownloadResult refused = Await(*downloader.StartWithHttpFallback("https://" + refusing + "/f", kXml));
  EXPECT_FALSE(refused.ok);
  EXPECT_NE(refused.error.find("http://" + refusing + "/f"), std::string::npos) << refused.error;

  const DownloadResult untrusted = Await(*downloader.StartWithHttpFallback(SecureUrl("/headers"), kXml));
  EXPECT_FALSE(untrusted.ok);
  EXPECT_NE(untrusted.error.find("certificate"), std::string::npos) << untrusted.error;
}

TEST_F(DownloaderTest, BodyOverTheCapIsTooLarge) {
  DownloadOptions options = QuickOptions();
  options.maxBodyBytes = 1000;
  const DownloadResult atCap = Fetch(Url("/big/1000"), kXml, options);
  ASSERT_TRUE(atCap.ok) << atCap.error;
  EXPECT_EQ(atCap.text.size(), 1000u);
  // Refused from the announced length, and while streaming when no length is announced.
  for (const char* path : {"/big/1001", "/stream/1001", "/stream/100000"}) {
    const DownloadResult result = Fetch(Url(path), kXml, options);
    EXPECT_FALSE(result.ok) << path;
    EXPECT_EQ(result.error, "response too large") << path;
    EXPECT_EQ(result.text, "") << path;
  }
}

TEST_F(DownloaderTest, CertificatesAreChecked) {
  const DownloadResult result = Fetch(SecureUrl("/headers"));
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.error.find("certificate"), std::string::npos) << result.error;
}

TEST_F(DownloaderTest, OnlyWebAndFileAddresses) {
  // A web server must not be able to send us to a local file either.
  for (const std::string& address : {Url("/to-file"), std::string("ftp://127.0.0.1/feed.xml")}) {
    const DownloadResult result = Fetch(address);
    EXPECT_FALSE(result.ok) << address;
    EXPECT_EQ(result.text, "") << address;
    EXPECT_NE(result.error.find("not supported"), std::string::npos) << result.error;
  }
}

TEST_F(DownloaderTest, BodyIsConvertedToUtf8) {
  struct Case {
    std::string body;
    std::string contentType;
    DownloadKind kind;
    std::string text;
  };
  const std::string cafe = "caf\xC3\xA9 \xE2\x80\x9Cq\xE2\x80\x9D";
  const Case cases[] = {
      {"<t>caf\xE9 \x93q\x94</t>", "text/xml; charset=ISO-8859-1", kXml, "<t>" + cafe + "</t>"},
      {"<?xml version=\"1.0\" encoding=\"windows-1252\"?><t>caf\xE9 \x93q\x94</t>", "text/xml", kXml,
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?><t>" + cafe + "</t>"},
      {std::string("\xFF\xFE<\0t\0>\0\xE9\0<\0/\0t\0>\0", 18), "application/xml", kXml, "<t>\xC3\xA9</t>"},
      {std::string("\0<\0t\0>\0\xE9\0<\0/\0t\0>", 16), "application/xml", kXml, "<t>\xC3\xA9</t>"},
      {"<html><head><meta charset=\"windows-1251\"></head>\xCF\xF0\xE8</html>", "text/html", DownloadKind::WebPage,
       "<html><head><meta charset=\"windows-1251\"></head>\xD0\x9F\xD1\x80\xD0\xB8</html>"},
  };
  for (const Case& c : cases) {
    const DownloadResult result = Fetch(Echo(c.body, c.contentType), c.kind);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.text, c.text);
  }
}

TEST_F(DownloaderTest, CorpusFeedsServedAsTheyAre) {
  struct Case {
    const char* file;
    const char* contentType;
    const char* charset;
    const char* contains;
    bool wellFormed = true;
  };
  const Case cases[] = {
      {"feed-rs/rss_0.91_encoding_1.xml", "text/xml", "CP1252",
       "<title>Dicas-L: Dicas t\xC3\xA9" "cnicas de Linux e Software Livre </title>"},
      {"kurtmckee-feedparser/http_text_xml_charset_2.xml", "text/xml; charset=windows-1252", "CP1252",
       "<description>This is a \xC2\xA3\xE2\x80\x9Ctest.\xE2\x80\x9D</description>"},
      {"kurtmckee-feedparser/euc-kr.xml", "text/xml", "CP949", "<title>\xEB\x85\x84</title>"},
      {"kurtmckee-feedparser/http_high_bit_date.xml", "text/xml", "ISO-8859-7", "<pubDate>\xCE\xA4\xCF\x81\xCE\xB9,"},
      {"kurtmckee-feedparser/utf-16le.xml", "text/xml", "UTF-16LE", "encoding=\"UTF-8\"?>"},
      {"kurtmckee-feedparser/u16.xml", "text/xml", "UTF-16BE", "encoding=\"UTF-8\"?>"},
      {"kurtmckee-feedparser/utf-16be-bom.xml", "text/xml", "UTF-16BE", "<rss>"},
      {"kurtmckee-feedparser/utf-32le-bom.xml", "text/xml", "UTF-32LE", "<rss>"},
      {"kurtmckee-feedparser/bozo_invalid-bytes-with-bom.xml", "text/xml", "UTF-8",
       "Valid UTF8: \xD1\xA8Invalid UTF8: Espa\xEF\xBF\xBD" "a", false},  // ends in "</rss"
  };
  for (const Case& c : cases) {
    const DownloadResult result = Fetch(Url(std::string("/corpus/") + c.file + "?type=" + PercentEncode(c.contentType)));
    ASSERT_TRUE(result.ok) << c.file << ": " << result.error;
    EXPECT_EQ(result.charset, c.charset) << c.file;
    EXPECT_NE(result.text.find(c.contains), std::string::npos) << c.file << ":\n" << result.text;
    XmlDoc document;
    document.SetDocumentText(result.text);
    EXPECT_EQ(document.IsWellFormed(), c.wellFormed) << c.file << ": " << document.GetResultText();
  }
}

TEST_F(DownloaderTest, EveryCorpusFeedArrivesAsUtf8) {
  std::ifstream manifest(std::filesystem::path(VREL_CORPUS_DIR) / "MANIFEST.tsv");
  std::string line;
  std::getline(manifest, line);  // column names
  Downloader downloader(QuickOptions());
  int files = 0;
  while (std::getline(manifest, line)) {
    std::vector<std::string> columns;
    std::istringstream fields(line);
    for (std::string column; std::getline(fields, column, '\t');) columns.push_back(column);
    ASSERT_GT(columns.size(), 17u) << line;
    const std::string& file = columns[0];
    const std::string& declared = columns[11];  // the encoding the file declares
    const bool wellFormed = columns[17] == "yes";
    const DownloadResult result = Await(*downloader.Start(Url("/corpus/" + file), kXml));
    ++files;
    ASSERT_TRUE(result.ok) << file << ": " << result.error;
    EXPECT_TRUE(IsValidUtf8(result.text)) << file;
    EXPECT_FALSE(result.text.starts_with("\xEF\xBB\xBF")) << file;
    if (wellFormed) {
      XmlDoc document;
      document.SetDocumentText(result.text);
      EXPECT_TRUE(document.IsWellFormed()) << file << ": " << document.GetResultText();
    }
    // Valid UTF-8 that says so passes unchanged but for its byte order mark.
    std::string bytes = ReadFile(std::filesystem::path(VREL_CORPUS_DIR) / file);
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.erase(0, 3);
    if (result.charset == "UTF-8" && (declared.empty() || declared == "UTF-8" || declared == "utf-8") &&
        IsValidUtf8(bytes)) {
      EXPECT_EQ(result.text, bytes) << file;
    }
  }
  EXPECT_GT(files, 100);
}

TEST_F(DownloaderTest, ReadsFileUrlsAndLocalPaths) {
  const std::filesystem::path corpusFile =
      std::filesystem::canonical(std::filesystem::path(VREL_CORPUS_DIR) / "feed-rs/rss_0.91_encoding_1.xml");
  const DownloadResult byUrl = Fetch("file://" + corpusFile.string());
  ASSERT_TRUE(byUrl.ok) << byUrl.error;
  EXPECT_NE(byUrl.text.find("Dicas t\xC3\xA9" "cnicas"), std::string::npos);
  EXPECT_EQ(byUrl.httpStatus, 0);
  const DownloadResult byPath = Fetch(corpusFile.string());
  ASSERT_TRUE(byPath.ok) << byPath.error;
  EXPECT_EQ(byPath.text, byUrl.text);

  // A path with characters that mean something in a URL.
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / ("vrel net test " + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  const std::filesystem::path odd = folder / "a #1?%.xml";
  std::ofstream(odd, std::ios::binary) << kFeed;
  const DownloadResult oddPath = Fetch(odd.string());
  std::filesystem::remove_all(folder);
  ASSERT_TRUE(oddPath.ok) << oddPath.error;
  EXPECT_EQ(oddPath.text, kFeed);

  const DownloadResult missing = Fetch((folder / "gone.xml").string());
  EXPECT_FALSE(missing.ok);
  EXPECT_NE(missing.error.find("gone.xml"), std::string::npos) << missing.error;
}

TEST(Downloader, ADirectoryIsNoDocument) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("vrel net dir " + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  for (const std::string& address : {folder.string(), AddressToUrl(folder.string())}) {
    const DownloadResult result = Fetch(address);
    EXPECT_FALSE(result.ok) << address;
    EXPECT_EQ(result.error, "Is a directory (" + AddressToUrl(folder.string()) + ")");
  }
  std::filesystem::remove_all(folder);
}

TEST(AddressToUrl, LocalPathsBecomeAbsoluteFileUrls) {
  const std::string cwd = std::filesystem::current_path().string();
  EXPECT_EQ(AddressToUrl("http://example.org/a b"), "http://example.org/a b");
  EXPECT_EQ(AddressToUrl("file:///tmp/x.xml"), "file:///tmp/x.xml");
  EXPECT_EQ(AddressToUrl("/tmp/a b#c.xml"), "file:///tmp/a%20b%23c.xml");
  EXPECT_EQ(AddressToUrl("/tmp/../tmp/\xC3\xA9.xml"), "file:///tmp/%C3%A9.xml");
  EXPECT_EQ(AddressToUrl("feeds/x.xml"), "file://" + cwd + "/feeds/x.xml");
  EXPECT_EQ(AddressToUrl("1http://x"), "file://" + cwd + "/1http%3A/x");
  EXPECT_EQ(AddressToUrl(""), "");
}

TEST_F(DownloaderTest, AbortEndsARunningTransfer) {
  Downloader downloader;  // the default time-outs: only the abort ends it
  const auto download = downloader.Start(Url("/hang"), kXml);
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(download->Poll());
  EXPECT_EQ(download->Result().error, "");
  download->Abort();
  EXPECT_TRUE(download->Poll());
  EXPECT_FALSE(download->Result().ok);
  EXPECT_EQ(download->Result().error, "download aborted");
  // The downloader goes on serving other transfers.
  const DownloadResult next = Await(*downloader.Start(Url("/redirect/0"), kXml));
  EXPECT_TRUE(next.ok) << next.error;
}

TEST_F(DownloaderTest, TransfersRunSideBySide) {
  Downloader downloader(QuickOptions());
  const auto slow = downloader.Start(Url("/hang"), kXml);
  const auto quick = downloader.Start(Url("/redirect/0"), kXml);
  EXPECT_TRUE(Await(*quick).ok);
  EXPECT_FALSE(slow->Poll());
}

TEST_F(DownloaderTest, ClosingTheDownloaderEndsWhatStillRuns) {
  std::unique_ptr<Download> outliving;
  const auto start = std::chrono::steady_clock::now();
  {
    Downloader downloader;
    outliving = downloader.Start(Url("/hang"), kXml);
    std::this_thread::sleep_for(50ms);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
  EXPECT_TRUE(outliving->Poll());
  EXPECT_EQ(outliving->Result().error, "download aborted");
}

TEST(HostOf, NamesOneHostForEveryWayOfWritingIt) {
  EXPECT_EQ(HostOf("http://Example.COM/feed"), "http://example.com:80");
  EXPECT_EQ(HostOf("HTTP://example.com:80?x"), "http://example.com:80");
  EXPECT_EQ(HostOf("https://user:pw@example.com#top"), "https://example.com:443");
  EXPECT_EQ(HostOf("http://127.0.0.1:8080/a:b"), "http://127.0.0.1:8080");
  EXPECT_EQ(HostOf("http://[::1]:8080/feed"), "http://[::1]:8080");
  EXPECT_EQ(HostOf("http://[::1]/feed"), "http://[::1]:80");
  EXPECT_NE(HostOf("http://example.com:8080/"), HostOf("http://example.com/"));
  EXPECT_EQ(HostOf("file:///tmp/feed.xml"), "file:///tmp/feed.xml");
  EXPECT_EQ(HostOf("feed.xml"), "feed.xml");
}

}  // namespace
}  // namespace vrel
