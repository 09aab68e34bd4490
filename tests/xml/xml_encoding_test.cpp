#include "xml/xml_encoding.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "xml/xml_doc.h"

namespace vrel {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

class EncodingFileTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "vrel-enc-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string PathOf(const std::string& name) const { return (folder_ / name).string(); }
  std::string Put(const std::string& name, const std::string& bytes) const {
    std::ofstream(PathOf(name), std::ios::binary) << bytes;
    return PathOf(name);
  }
  static std::string Bytes(const std::string& path) {
    std::ostringstream out;
    out << std::ifstream(path, std::ios::binary).rdbuf();
    return out.str();
  }
  size_t EntriesInFolder() const {
    return size_t(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()));
  }

  fs::path folder_;
};

struct ReadCase {
  std::string bytes;
  std::string text;
  std::string result;
  uint32_t flags;
};

TEST_F(EncodingFileTest, ReadsEachEncodingAndTinyFiles) {
  const ReadCase cases[] = {
      {"", "", "0 bytes", 0},
      {"\xFF", "\xFF", "1 bytes", 0},
      {"\xFF\xFE", "", "UTF-16LE BOM + 0 wide chars to 0 bytes", XmlDoc::Utf16File},
      {"\xEF\xBB", "\xEF\xBB", "2 bytes", 0},
      {"\xEF\xBB\xBF", "", "UTF-8 BOM + 0 bytes", XmlDoc::Utf8Bom},
      {"\xFF\xFE\x41", "?", "UTF-16LE BOM + 0 wide chars to 1 bytes", XmlDoc::Utf16File},
      {"<a>\0b</a>"s, "<a>\0b</a>"s, "9 bytes", 0},
      {"\xEF\xBB\xBF<a/>", "<a/>", "UTF-8 BOM + 4 bytes", XmlDoc::Utf8Bom},
      // A, e acute, NUL, a pair for U+1F600, B.
      {"\xFF\xFE\x41\0\xE9\0\0\0\x3D\xD8\x00\xDE\x42\0"s, "A\xC3\xA9\0\xF0\x9F\x98\x80\x42"s,
       "UTF-16LE BOM + 6 wide chars to 9 bytes", XmlDoc::Utf16File},
      // A lone low surrogate, a high one before A, an odd last byte.
      {"\xFF\xFE\x00\xDC\x00\xD8\x41\0B"s, "??A?", "UTF-16LE BOM + 3 wide chars to 4 bytes", XmlDoc::Utf16File},
      {"\xFF\xFE\x41\0\x00\xD8"s, "A?", "UTF-16LE BOM + 2 wide chars to 2 bytes", XmlDoc::Utf16File},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    std::string text = "old", result;
    uint32_t flags = XmlDoc::Utf16File | XmlDoc::Utf8Bom | XmlDoc::Modified | XmlDoc::IgnoreCase;
    ASSERT_TRUE(ReadDocumentFile(Put("in.xml", c.bytes), text, result, flags));
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(flags, c.flags | XmlDoc::Modified | XmlDoc::IgnoreCase);
  }
}

TEST_F(EncodingFileTest, FailedReadLeavesTextAndFlags) {
  for (const std::string& path : {PathOf("missing.xml"), folder_.string()}) {
    std::string text = "kept", result;
    uint32_t flags = XmlDoc::Utf8Bom;
    EXPECT_FALSE(ReadDocumentFile(path, text, result, flags));
    EXPECT_EQ(text, "kept");
    EXPECT_EQ(flags, uint32_t(XmlDoc::Utf8Bom));
    EXPECT_EQ(result, path == folder_ ? "Is a directory" : "No such file or directory");
  }
}

TEST_F(EncodingFileTest, WritesInTheEncodingItWasRead) {
  const std::string text = "<a>\xC3\xA9\0\xF0\x9F\x98\x80</a>"s;
  struct WriteCase {
    uint32_t flags;
    std::string bytes;
    std::string result;
  };
  const WriteCase cases[] = {
      {0, text, "14 bytes"},
      {XmlDoc::Utf8Bom, "\xEF\xBB\xBF" + text, "UTF-8 BOM + 14 bytes"},
      {XmlDoc::Utf16File, "\xFF\xFE<\0a\0>\0\xE9\0\0\0\x3D\xD8\x00\xDE<\0/\0a\0>\0"s,
       "14 bytes to UTF-16LE BOM + 11 wide chars"},
  };
  for (const WriteCase& c : cases) {
    std::string result;
    uint32_t flags = c.flags | XmlDoc::Modified;
    ASSERT_TRUE(WriteDocumentFile(PathOf("out.xml"), text, result, flags));
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(flags, c.flags | XmlDoc::Modified);
    EXPECT_EQ(Bytes(PathOf("out.xml")), c.bytes);
    EXPECT_EQ(EntriesInFolder(), 1u) << "no temporary file is left";

    std::string reread;
    uint32_t readFlags = 0;
    ASSERT_TRUE(ReadDocumentFile(PathOf("out.xml"), reread, result, readFlags));
    EXPECT_EQ(reread, text);
    EXPECT_EQ(readFlags, c.flags);
  }
}

TEST_F(EncodingFileTest, Utf16WriteTurnsBadUtf8IntoQuestionMarks) {
  std::string result;
  uint32_t flags = XmlDoc::Utf16File;
  ASSERT_TRUE(WriteDocumentFile(PathOf("out.xml"), "a\xC3\x62\xC0\xBC", result, flags));
  EXPECT_EQ(Bytes(PathOf("out.xml")), "\xFF\xFE\x61\0?\0b\0?\0"s);
}

TEST_F(EncodingFileTest, ReplacingKeepsModeAndFollowsLinks) {
  const std::string target = Put("data.xml", "old");
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
  fs::create_symlink(target, PathOf("link.xml"));
  std::string result;
  uint32_t flags = 0;
  ASSERT_TRUE(WriteDocumentFile(PathOf("link.xml"), "new", result, flags));
  EXPECT_TRUE(fs::is_symlink(PathOf("link.xml")));
  EXPECT_EQ(Bytes(target), "new");
  struct stat info {};
  ASSERT_EQ(::stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(EntriesInFolder(), 2u);
}

TEST_F(EncodingFileTest, FailedWriteKeepsOldFileAndReportsTheSystemMessage) {
  std::string result;
  uint32_t flags = 0;
  EXPECT_FALSE(WriteDocumentFile(PathOf("no/such/folder.xml"), "x", result, flags));
  EXPECT_EQ(result, "No such file or directory");

  fs::create_directory(PathOf("dir.xml"));
  EXPECT_FALSE(WriteDocumentFile(PathOf("dir.xml"), "x", result, flags));
  EXPECT_EQ(result, "Is a directory");
  EXPECT_TRUE(fs::is_directory(PathOf("dir.xml")));

  // A file size limit makes the write itself fail half-way, as a full disk would.
  const std::string target = Put("data.xml", "old content");
  ASSERT_EQ(EntriesInFolder(), 2u);
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit limited = saved;
  limited.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
  const bool written = WriteDocumentFile(target, std::string(10000, 'x'), result, flags);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &saved), 0);
  EXPECT_FALSE(written);
  EXPECT_EQ(result, "File too large");
  EXPECT_EQ(Bytes(target), "old content");
  EXPECT_EQ(EntriesInFolder(), 2u) << "the temporary file is removed";
}

TEST(ToMarkupTextTest, EscapesContentAttributesAndKeepsReferences) {
  EXPECT_EQ(ToMarkupText("a<b & \"c\" 'd' >"), "a&lt;b &amp; \"c\" 'd' &gt;");
  EXPECT_EQ(ToMarkupText("a<b & \"c\" 'd'", XmlDoc::EscapeQuotes), "a&lt;b &amp; &quot;c&quot; &apos;d&apos;");
  EXPECT_EQ(ToMarkupText("x\0<y"s), "x\0&lt;y"s);
  EXPECT_EQ(ToMarkupText("&amp; &#169; &x-1.y:_; &_a; &:b;", XmlDoc::KeepReferences),
            "&amp; &#169; &x-1.y:_; &_a; &:b;");
  // Not references: a lone "&", one at the end, no name, a bad first or inner
  // character, no ";".
  EXPECT_EQ(ToMarkupText("a & b&;&1a;&a b;&abc&", XmlDoc::KeepReferences | XmlDoc::EscapeQuotes),
            "a &amp; b&amp;;&amp;1a;&amp;a b;&amp;abc&amp;");
  EXPECT_EQ(ToMarkupText("&amp;"), "&amp;amp;");
}

TEST(FromMarkupTextTest, DecodesReferencesAndCopiesEverythingElse) {
  const std::pair<std::string, std::string> cases[] = {
      {"&#65;&#x41;&#x4a;&#X41;", "AAJ&#X41;"},
      {"&#233;", "\xC3\xA9"},
      {"&#x20AC;", "\xE2\x82\xAC"},
      {"&#x1F600;&#1114111;", "\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF"},
      {"&#0;&#x0;&#xD800;&#57343;&#x110000;", "&#0;&#x0;&#xD800;&#57343;&#x110000;"},
      {"&#0000065;&#00000065;&#x10FFFF0;", "A&#00000065;&#x10FFFF0;"},
      {"&#;&#x;&#6a;&#-1;&#65", "&#;&#x;&#6a;&#-1;&#65"},
      {"&lt;&amp;&gt;&apos;&quot;", "<&>'\""},
      {"&unknown; &amp &lt", "&unknown; &amp &lt"},
      {"&amp;lt;", "&lt;"},
      {"a\0&lt;\0b"s, "a\0<\0b"s},
      {"&", "&"},
      {"&#", "&#"},
      {"&#x", "&#x"},
      {"x&", "x&"},
  };
  for (const auto& [in, out] : cases) {
    EXPECT_EQ(FromMarkupText(in), out) << in;
    EXPECT_LE(FromMarkupText(in).size(), in.size());
  }
}

// The content a reader gets from a run of CDATA sections.
std::string CDataContent(std::string_view sections) {
  std::string content;
  while (!sections.empty()) {
    EXPECT_TRUE(sections.starts_with("<![CDATA[")) << sections;
    const size_t end = sections.find("]]>");
    content.append(sections.substr(9, end - 9));
    sections.remove_prefix(end + 3);
  }
  return content;
}

TEST(WrapCDataTest, SplitsTheEndMarkerSoTheContentSurvives) {
  EXPECT_EQ(WrapCData("x]]>y"), "<![CDATA[x]]]]><![CDATA[>y]]>");
  EXPECT_EQ(WrapCData(""), "<![CDATA[]]>");
  for (const std::string text : {"]]>", "]]>]]>", "a]]]>>b", "]]", "<&>"}) {
    EXPECT_EQ(CDataContent(WrapCData(text)), text);
  }
}

// Decodes from a heap copy of exactly the given bytes, so that a read past
// them is caught under AddressSanitizer.
int DecodeExact(std::string_view bytes, size_t& consumed) {
  auto copy = std::make_unique<char[]>(bytes.size());
  std::copy(bytes.begin(), bytes.end(), copy.get());
  const char* cursor = copy.get();
  const int result = DecodeUtf8Char(cursor, copy.get() + bytes.size());
  consumed = size_t(cursor - copy.get());
  return result;
}

TEST(Utf8DecodeTest, RejectsBadAndTruncatedSequencesWithoutReadingPastTheEnd) {
  const std::tuple<std::string, int, size_t> cases[] = {
      {"A", 'A', 1},
      {"\0"s, 0, 1},
      {"\xC3\xA9", 0xE9, 2},
      {"\xE2\x82\xAC", 0x20AC, 3},
      {"\xF0\x9F\x98\x80", 0x1F600, 4},
      {"\xF4\x8F\xBF\xBF", 0x10FFFF, 4},
      // Truncated at the end.
      {"\xC3", -1, 1},
      {"\xE2\x82", -1, 2},
      {"\xF0\x9F\x98", -1, 3},
      // A bad following byte is left for the next character.
      {"\xC3\x41", -1, 1},
      {"\xE2\x82\x41", -1, 2},
      // Continuation as lead, overlong, surrogate, beyond U+10FFFF, F8 and up.
      {"\x80", -1, 1},
      {"\xC0\xBC", -1, 2},
      {"\xE0\x80\xBC", -1, 3},
      {"\xED\xA0\x80", -1, 3},
      {"\xF4\x90\x80\x80", -1, 4},
      {"\xF8\x88\x80\x80\x80", -1, 1},
      {"\xFF", -1, 1},
  };
  for (const auto& [bytes, codePoint, length] : cases) {
    size_t consumed = 0;
    EXPECT_EQ(DecodeExact(bytes, consumed), codePoint) << testing::PrintToString(bytes);
    EXPECT_EQ(consumed, length) << testing::PrintToString(bytes);
  }
}

TEST(Utf16Test, ConvertsBothWaysKeepingNulAndMarkingBadUnits) {
  const std::u16string wide = u"A\u00E9\0\u20AC\U0001F600z"s;
  const std::string narrow = "A\xC3\xA9\0\xE2\x82\xAC\xF0\x9F\x98\x80z"s;
  EXPECT_EQ(Utf16ToUtf8(wide), narrow);
  EXPECT_EQ(Utf8ToUtf16(narrow), wide);
  // Unpaired surrogates, a pair in the wrong order, a high one at the end.
  EXPECT_EQ(Utf16ToUtf8(u"\xDC00\x61\xD800\x62\xDC00\xD800\xD800"), "?a?b???");
  // Bad UTF-8, including a truncated last character.
  EXPECT_EQ(Utf8ToUtf16("\x80\x61\xC3\x62\xF0\x9F\x98"), u"?a?b?");

  size_t counted = 0, written = 0;
  char16_t units[2];
  EncodeUtf16Char(0x1F600, nullptr, counted);
  EncodeUtf16Char(0x1F600, units, written);
  EXPECT_EQ(counted, 2u);
  EXPECT_EQ(written, 2u);
  EXPECT_EQ(std::u16string(units, 2), u"\U0001F600");
  char bytes[4];
  counted = written = 0;
  EncodeUtf8Char(-1, nullptr, counted);
  EncodeUtf8Char(-1, bytes, written);
  EXPECT_EQ(std::string(bytes, written), "?");
  EXPECT_EQ(counted, 1u);
}

TEST(Utf8StepTest, StepsByCharactersAndStopsAtTheEnds) {
  const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z";  // a é € 😀 z
  EXPECT_EQ(Utf8Length(text), 5u);
  EXPECT_EQ(Utf8Forward(text, 0, 2), 3u);
  EXPECT_EQ(Utf8Forward(text, 1, 3), 10u);
  EXPECT_EQ(Utf8Forward(text, 3, 99), text.size());
  EXPECT_EQ(Utf8Back(text, text.size(), 2), 6u);
  EXPECT_EQ(Utf8Back(text, 3, 99), 0u);
  EXPECT_EQ(Utf8Prefix(text, 3), "a\xC3\xA9\xE2\x82\xAC");
  EXPECT_EQ(Utf8Prefix("\x80\x80x", 1), "\x80\x80");  // stray continuation bytes go with what they follow
  std::string out;
  for (int codePoint : {0x41, 0xE9, 0x20AC, 0x1F600, 0xD800}) AppendUtf8(out, codePoint);
  EXPECT_EQ(out, "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80?");
}

}  // namespace
}  // namespace vrel
