#include "net/charset.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace vrel {
namespace {

using namespace std::string_literals;

constexpr auto kXml = DownloadKind::XmlDocument;
constexpr auto kPage = DownloadKind::WebPage;

// text (ASCII and BMP characters) as UTF-16 bytes.
std::string Utf16(std::u16string_view text, bool bigEndian) {
  std::string bytes;
  for (const char16_t unit : text) {
    const char high = static_cast<char>(unit >> 8);
    const char low = static_cast<char>(unit & 0xFF);
    bytes += bigEndian ? high : low;
    bytes += bigEndian ? low : high;
  }
  return bytes;
}

std::string CorpusBytes(const std::string& file) {
  std::ifstream in(std::string(VREL_CORPUS_DIR) + "/" + file, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

struct Case {
  std::string bytes;
  std::string contentType;
  DownloadKind kind;
  std::string charset;
  std::string text;
};

void ExpectDecodes(const Case& c) {
  const DecodedText decoded = DecodeToUtf8(c.bytes, c.contentType, c.kind);
  EXPECT_EQ(decoded.charset, c.charset) << c.bytes;
  EXPECT_EQ(decoded.text, c.text) << c.bytes;
  EXPECT_EQ(DetectCharset(c.bytes, c.contentType, c.kind), c.charset);
}

TEST(Charset, ByteOrderMarkWinsAndIsRemoved) {
  const Case cases[] = {
      {"\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><t>\xC3\xA9</t>", "text/xml; charset=koi8-r", kXml,
       "UTF-8", "<?xml version=\"1.0\" encoding=\"UTF-8\"?><t>\xC3\xA9</t>"},
      {"\xFF\xFE" + Utf16(u"<t>\u00E9\u20AC</t>", false), "text/xml; charset=iso-8859-1", kXml, "UTF-16LE",
       "<t>\xC3\xA9\xE2\x82\xAC</t>"},
      {"\xFE\xFF" + Utf16(u"<t>\u00E9</t>", true), "", kPage, "UTF-16BE", "<t>\xC3\xA9</t>"},
      {"\xFF\xFE\0\0<\0\0\0t\0\0\0/\0\0\0>\0\0\0"s, "", kXml, "UTF-32LE", "<t/>"},
      {"\0\0\xFE\xFF\0\0\0<\0\0\0t\0\0\0/\0\0\0>"s, "", kXml, "UTF-32BE", "<t/>"},
  };
  for (const Case& c : cases) ExpectDecodes(c);
}

TEST(Charset, WideTextWithoutMarkIsKnownByItsZeroBytes) {
  const std::u16string document = u"<?xml version=\"1.0\" encoding=\"utf-16\"?><t>\u0416</t>";
  const std::string expected = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><t>\xD0\x96</t>";
  ExpectDecodes({Utf16(document, false), "", kXml, "UTF-16LE", expected});
  ExpectDecodes({Utf16(document, true), "text/xml; charset=iso-8859-1", kXml, "UTF-16BE", expected});
  ExpectDecodes({"<\0\0\0a\0\0\0>\0\0\0"s, "", kXml, "UTF-32LE", "<a>"});
  // Leading white space is an ASCII character like '<'.
  ExpectDecodes({Utf16(u"\n<a/>", false), "", kXml, "UTF-16LE", "\n<a/>"});
}

TEST(Charset, XmlDeclarationBeforeHttpCharset) {
  const std::string declared = "<?xml version=\"1.0\" encoding=\"windows-1251\"?><t>\xCF\xF0\xE8</t>";
  ExpectDecodes({declared, "text/xml; charset=koi8-r", kXml, "WINDOWS-1251",
                 "<?xml version=\"1.0\" encoding=\"UTF-8\"?><t>\xD0\x9F\xD1\x80\xD0\xB8</t>"});
  ExpectDecodes({"<t>\xF0\xD2\xC9</t>", "text/xml; charset=koi8-r", kXml, "KOI8-R", "<t>\xD0\x9F\xD1\x80\xD0\xB8</t>"});
  ExpectDecodes({"<t>\xC3\xA9</t>", "", kXml, "UTF-8", "<t>\xC3\xA9</t>"});
  // A <meta> charset means nothing in an XML document.
  ExpectDecodes({"<html><meta charset=\"koi8-r\"/>\xC3\xA9</html>", "", kXml, "UTF-8",
                 "<html><meta charset=\"koi8-r\"/>\xC3\xA9</html>"});
}

TEST(Charset, WebPageHttpCharsetBeforeMeta) {
  const std::string page = "<html><head><meta charset=\"windows-1251\"></head><body>\xCF\xF0\xE8</body></html>";
  const std::string asCyrillic = "<html><head><meta charset=\"windows-1251\"></head><body>\xD0\x9F\xD1\x80\xD0\xB8</body></html>";
  ExpectDecodes({page, "", kPage, "WINDOWS-1251", asCyrillic});
  ExpectDecodes({page, "text/html; charset=koi8-r", kPage, "KOI8-R",
                 "<html><head><meta charset=\"windows-1251\"></head><body>\xD0\xBE\xD0\x9F\xD0\xA5</body></html>"});

  EXPECT_EQ(DetectCharset("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=ISO-8859-7\">", "", kPage),
            "ISO-8859-7");
  EXPECT_EQ(DetectCharset("<META HTTP-EQUIV='content-type' CONTENT='text/html;charset=koi8-r'>", "", kPage), "KOI8-R");
  EXPECT_EQ(DetectCharset("<meta charset=koi8-r>", "", kPage), "KOI8-R");
  // A commented-out meta is not read; the one after it is.
  EXPECT_EQ(DetectCharset("<!-- <meta charset=\"koi8-r\"> --><meta charset=\"iso-8859-7\">", "", kPage), "ISO-8859-7");
  EXPECT_EQ(DetectCharset("<metadata charset=\"koi8-r\"><p>", "", kPage), "UTF-8");
  // An XML declaration means nothing in a web page, but is still corrected.
  ExpectDecodes({"<?xml version=\"1.0\" encoding=\"koi8-r\"?><html>\xC3\xA9</html>", "", kPage, "UTF-8",
                 "<?xml version=\"1.0\" encoding=\"UTF-8\"?><html>\xC3\xA9</html>"});
}

TEST(Charset, HttpCharsetParameter) {
  EXPECT_EQ(DetectCharset("<t/>", "text/xml; charset=\"ISO-8859-7\"", kXml), "ISO-8859-7");
  EXPECT_EQ(DetectCharset("<t/>", "TEXT/XML;CHARSET=koi8-r", kXml), "KOI8-R");
  EXPECT_EQ(DetectCharset("<t/>", "text/xml; q=1; charset=windows-1251 ; x=y", kXml), "WINDOWS-1251");
  EXPECT_EQ(DetectCharset("<t/>", "text/xml; xcharset=koi8-r", kXml), "UTF-8");
  EXPECT_EQ(DetectCharset("<t/>", "text/xml", kXml), "UTF-8");
}

TEST(Charset, Latin1AndAsciiAreReadAsWindows1252) {
  for (const char* label : {"ISO-8859-1", "iso_8859-1", "latin1", "US-ASCII", "windows-1252"}) {
    const std::string bytes = std::string("<?xml version='1.0' encoding='") + label + "'?><t>\x80\x93q\x94 caf\xE9</t>";
    ExpectDecodes({bytes, "", kXml, "CP1252",
                   "<?xml version='1.0' encoding='UTF-8'?><t>\xE2\x82\xAC\xE2\x80\x9Cq\xE2\x80\x9D caf\xC3\xA9</t>"});
  }
  // A byte windows-1252 leaves undefined does not decode.
  ExpectDecodes({"<t>a\x81z</t>", "text/xml; charset=iso-8859-1", kXml, "CP1252", "<t>a\xEF\xBF\xBDz</t>"});
}

TEST(Charset, Utf8BytesThatClaimASingleByteEncodingAreUtf8) {
  const DecodedText laut = DecodeToUtf8(CorpusBytes("laminas-feed/laut.de-rdf.xml"), "", kXml);
  EXPECT_EQ(laut.charset, "UTF-8");
  EXPECT_NE(laut.text.find("Schon l\xC3\xA4nger haderten die K\xC3\xB6lner"), std::string::npos);
  ExpectDecodes({"<t>l\xC3\xA4ng</t>", "text/xml; charset=windows-1252", kXml, "UTF-8", "<t>l\xC3\xA4ng</t>"});
  // Not UTF-8 through and through, or nothing beyond ASCII: as declared.
  EXPECT_EQ(DetectCharset("<?xml version='1.0' encoding='ISO-8859-1'?><t>l\xC3\xA4ng \xE9</t>", "", kXml), "CP1252");
  EXPECT_EQ(DetectCharset("<?xml version='1.0' encoding='ISO-8859-1'?><t>lang</t>", "", kXml), "CP1252");
  // A multi-byte encoding is believed.
  EXPECT_EQ(DetectCharset("<?xml version='1.0' encoding='euc-kr'?><t>\xC3\xA9</t>", "", kXml), "CP949");
}

TEST(Charset, UndeclaredBytesThatAreNotUtf8AreGuessed) {
  ExpectDecodes({"<t>caf\xE9 \x93q\x94</t>", "", kXml, "CP1252", "<t>caf\xC3\xA9 \xE2\x80\x9Cq\xE2\x80\x9D</t>"});
  // Another script is recognised by the charset detector.
  const DecodedText koi8 = DecodeToUtf8(CorpusBytes("kurtmckee-feedparser/koi8r.xml"), "", kXml);
  EXPECT_EQ(koi8.charset, "KOI8-R");
  EXPECT_NE(koi8.text.find("\xD0\x9A\xD0\xB0\xD0\xBA \xD0\xBF\xD0\xB5\xD1\x80\xD0\xB5\xD0\xB6\xD0\xB8\xD1\x82\xD1\x8C"),
            std::string::npos);  // "Как пережить"
}

TEST(Charset, DoubleEncodedUtf8IsRepairedOnlyWhenExact) {
  const std::pair<std::string, std::string> cases[] = {
      {"caf\xC3\x83\xC2\xA9", "caf\xC3\xA9"},                             // "cafÃ©"
      {"It\xC3\xA2\xE2\x82\xAC\xE2\x84\xA2s", "It\xE2\x80\x99s"},           // "Itâ€™s", read as windows-1252
      {"\xC3\xA2\xC2\x80\xC2\xA6 \xD0\x96", "\xE2\x80\xA6 \xD0\x96"},         // read as ISO-8859-1; "Ж" is no suspect
      {"caf\xC3\xA9", "caf\xC3\xA9"},                                     // "café" is no UTF-8 misread
      {"\xC3\x83\xC2\xA9 and caf\xC3\xA9", "\xC3\x83\xC2\xA9 and caf\xC3\xA9"},  // one run is no UTF-8: none is repaired
      {"plain", "plain"},
      {"", ""},
  };
  for (const auto& [text, repaired] : cases) EXPECT_EQ(RepairDoubleEncodedUtf8(text), repaired) << text;
}

TEST(Charset, UnusableDeclarationsFallThroughToTheNextSource) {
  // Unknown to iconv: the HTTP charset decides.
  ExpectDecodes({"<?xml version=\"1.0\" encoding=\"bogus\"?><t>\xE1</t>", "text/xml; charset=iso-8859-7", kXml,
                 "ISO-8859-7", "<?xml version=\"1.0\" encoding=\"UTF-8\"?><t>\xCE\xB1</t>"});
  // UTF-16 declared on bytes that have no zero bytes cannot be right.
  ExpectDecodes({"<?xml version=\"1.0\" encoding=\"UTF-16\"?><t>\xC3\xA9</t>", "", kXml, "UTF-8",
                 "<?xml version=\"1.0\" encoding=\"UTF-8\"?><t>\xC3\xA9</t>"});
  EXPECT_EQ(DetectCharset("<p>", "text/html; charset=utf-16", kPage), "UTF-8");
  // iconv's own suffixes are no part of a name.
  EXPECT_EQ(DetectCharset("<p>", "text/html; charset=\"koi8-r//TRANSLIT\"", kPage), "UTF-8");
}

TEST(Charset, InvalidUtf8BecomesReplacementCharacters) {
  const std::string r = "\xEF\xBF\xBD";
  const std::pair<std::string, std::string> cases[] = {
      {"a\xC0\xAFz", "a" + r + r + "z"},                  // overlong '/', lead byte never valid
      {"a\xE0\x80\xAFz", "a" + r + r + r + "z"},          // overlong three-byte form
      {"a\xED\xA0\x80z", "a" + r + r + r + "z"},          // UTF-16 surrogate
      {"a\xF4\x90\x80\x80z", "a" + r + r + r + r + "z"},  // above U+10FFFF
      {"a\x80z", "a" + r + "z"},                          // stray continuation byte
      {"a\xE2\x82z", "a" + r + "z"},                      // truncated inside
      {"a\xE2\x82", "a" + r},                             // truncated at the end
      {"\xF0\x9F\x98\x80\xEF\xBF\xBF\xF4\x8F\xBF\xBF", "\xF0\x9F\x98\x80\xEF\xBF\xBF\xF4\x8F\xBF\xBF"},  // valid
  };
  for (const auto& [bytes, text] : cases) {
    EXPECT_EQ(DecodeToUtf8(bytes, "text/xml; charset=utf-8", kXml).text, text) << bytes;
  }
}

TEST(Charset, SurrogatePairsAreCombined) {
  const std::string r = "\xEF\xBF\xBD";
  const std::string mark = "\xFF\xFE";
  EXPECT_EQ(DecodeToUtf8(mark + "\x3D\xD8\x00\xDE"s, "", kXml).text, "\xF0\x9F\x98\x80");  // U+1F600
  EXPECT_EQ(DecodeToUtf8(mark + "\x3D\xD8" + "A\0"s, "", kXml).text, r + "A");           // lone high surrogate
  EXPECT_EQ(DecodeToUtf8(mark + "\x00\xDE"s + "A\0"s, "", kXml).text, r + "A");           // lone low surrogate
  EXPECT_EQ(DecodeToUtf8(mark + "A\0\x3D\xD8"s, "", kXml).text, "A" + r);                // high surrogate at the end
  EXPECT_EQ(DecodeToUtf8(mark + "A\0B"s, "", kXml).text, "A" + r);                       // odd byte at the end
}

TEST(Charset, UndecodableBytesInMultiByteEncodings) {
  // EUC-KR: B3E2 is U+B144; FF starts no character.
  EXPECT_EQ(DecodeToUtf8("<t>\xB3\xE2\xFFx</t>", "text/xml; charset=euc-kr", kXml).text,
            "<t>\xEB\x85\x84\xEF\xBF\xBDx</t>");
  // Shift_JIS read as browsers do: 0x5C is a backslash, not a yen sign.
  EXPECT_EQ(DecodeToUtf8("\x82\xA0\\", "text/plain; charset=shift_jis", kXml).text, "\xE3\x81\x82\\");
}

TEST(Charset, DeclarationRewriteTouchesOnlyTheEncoding) {
  EXPECT_EQ(DecodeToUtf8("<?xml version=\"1.0\" encoding = 'koi8-r' standalone=\"yes\"?><t encoding=\"koi8-r\"/>", "",
                         kXml)
                .text,
            "<?xml version=\"1.0\" encoding = 'UTF-8' standalone=\"yes\"?><t encoding=\"koi8-r\"/>");
  const std::string untouched[] = {
      "<?xml version=\"1.0\"?><t>encoding=\"koi8-r\"</t>",
      "<?xml version=\"1.0\" encoding=\"utf-8\"?><t/>",
      "<t/><?xml version=\"1.0\" encoding=\"koi8-r\"?>",
      "<?xml version=\"1.0\" encoding=\"koi8-r\"",
      "",
  };
  for (const std::string& text : untouched) EXPECT_EQ(DecodeToUtf8(text, "", kXml).text, text);
}

}  // namespace
}  // namespace vrel
