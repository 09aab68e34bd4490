#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include "xml/xml_doc.h"

namespace vrel {
namespace {

using namespace std::string_literals;

struct Parsed {
  bool wellFormed;
  std::string result;
  std::string check;
};

Parsed Parse(XmlDoc& doc, std::string_view text) {
  const bool wellFormed = doc.SetDocumentText(text);
  return {wellFormed, doc.GetResultText(), doc.CheckIndex()};
}

Parsed Parse(std::string_view text) {
  XmlDoc doc;
  return Parse(doc, text);
}

XmlDoc::ElementFacts Facts(const XmlDoc& doc, int n) { return doc.GetElementFacts(n); }

TEST(XmlParseTest, DocumentLevelMessages) {
  XmlDoc fresh;
  EXPECT_EQ(fresh.GetResultText(), "Empty document");
  EXPECT_FALSE(fresh.IsWellFormed());
  EXPECT_EQ(fresh.CheckIndex(), "");  // the document record alone
  EXPECT_EQ(fresh.GetHighWaterMark(), 1);
  EXPECT_EQ(Parse("").result, "Empty document");
  EXPECT_EQ(Parse(" \r\n<!-- only a comment -->\n").result, "No root element");
  const Parsed two = Parse("<a/><b/>");
  EXPECT_FALSE(two.wellFormed);
  EXPECT_EQ(two.result, "Root element has sibling");
  XmlDoc doc;
  doc.SetDocumentText("<a/><b></b>");
  EXPECT_EQ(doc.GetElementName(doc.GetNextSibling(doc.GetFirstChild(0))), "b");
  // The document-level message replaces the first error of the parse.
  EXPECT_EQ(Parse("<a></x><b/>").result, "Root element has sibling");
  const Parsed good = Parse("<?xml version=\"1.0\"?>\n<r a='1'><x/>t</r>\n");
  EXPECT_TRUE(good.wellFormed);
  EXPECT_EQ(good.result, "");
}

TEST(XmlParseTest, MismatchedEndTagLeavesInnerElementUnended) {
  XmlDoc doc;
  const Parsed p = Parse(doc, "<x><y></x>");
  EXPECT_FALSE(p.wellFormed);
  EXPECT_EQ(p.result, "End tag 'x' at offset 7 does not match start tag 'y' at offset 3");
  EXPECT_EQ(p.check, "");
  const XmlDoc::ElementFacts x = Facts(doc, 1);
  const XmlDoc::ElementFacts y = Facts(doc, 2);
  EXPECT_EQ(x.length, 10);
  EXPECT_EQ(x.endTagLength, 4u);
  EXPECT_EQ(y.length, 3);
  EXPECT_TRUE(y.unended);
}

TEST(XmlParseTest, StrayEndTagIsSkipped) {
  XmlDoc doc;
  const Parsed p = Parse(doc, "<x></y></x>");
  EXPECT_EQ(p.result, "No start tag for end tag 'y' at offset 3");
  EXPECT_FALSE(p.wellFormed);
  EXPECT_TRUE(Facts(doc, 1).containsError);
  EXPECT_EQ(Facts(doc, 1).length, 11);
}

TEST(XmlParseTest, UnendedElementsChildrenFollowItAsSiblings) {
  XmlDoc doc;
  const Parsed p = Parse(doc, "<r><a><b/><c><d/><1x></c></r>");
  EXPECT_EQ(p.result, "Incorrect tag name character at offset 17");
  EXPECT_EQ(p.check, "");  // links, FirstSibling, the last-child link and levels
  std::vector<std::string> children;
  for (int n = doc.GetFirstChild(1); n; n = doc.GetNextSibling(n)) children.push_back(doc.GetElementName(n));
  EXPECT_EQ(children, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_TRUE(Facts(doc, 4).containsError);
  // The error inside an unended element is booked on the element that keeps it.
  XmlDoc moved;
  EXPECT_EQ(Parse(moved, "<r><a><1x></r>").check, "");
  EXPECT_TRUE(Facts(moved, 1).containsError);
  EXPECT_FALSE(Facts(moved, 2).containsError);
  EXPECT_EQ(Parse("<a> text").result, "Element 'a' at offset 0 not ended");
  EXPECT_EQ(Parse("<r><a>").result, "Root element has sibling");  // a follows r once both are unended
}

TEST(XmlParseTest, DeepUnendedNestingFlattensWithCorrectLevels) {
  std::string text;
  for (int i = 0; i < 60000; ++i) text += "<a>";
  XmlDoc doc;
  const Parsed p = Parse(doc, text);
  EXPECT_EQ(p.check, "");
  EXPECT_EQ(p.result, "Root element has sibling");
  EXPECT_EQ(Facts(doc, 60000).level, 0u);
}

// Deep stacks count their names; the results are those of the plain walk.
TEST(XmlParseTest, DeepStacksMatchEndTagsByName) {
  std::string text = "<r>";
  for (int i = 0; i < 3000; ++i) text += i == 1000 ? "<Mid>" : "<a>";
  for (int i = 0; i < 20000; ++i) text += "</stray>";
  text += "</a></mid></r>";
  XmlDoc doc;
  doc.SetDocumentFlags(XmlDoc::IgnoreCase);
  const Parsed p = Parse(doc, text);
  EXPECT_EQ(p.result, "No start tag for end tag 'stray' at offset 9005");
  EXPECT_EQ(p.check, "");
  EXPECT_EQ(Facts(doc, 3001).endTagLength, 4u);  // the innermost a
  EXPECT_EQ(Facts(doc, 1002).endTagLength, 6u);  // Mid, by "</mid>"
  EXPECT_TRUE(Facts(doc, 3000).unended);         // between them
  EXPECT_TRUE(Facts(doc, 1001).unended);         // around Mid, by "</r>"
  EXPECT_EQ(Facts(doc, 1).endTagLength, 4u);
}

TEST(XmlParseTest, IncorrectAndUnterminatedNodes) {
  EXPECT_EQ(Parse("<1abc>").result, "No root element");
  EXPECT_EQ(Parse("<1abc><r/>").result, "Incorrect tag name character at offset 0");
  XmlDoc doc;
  const std::pair<std::string, std::string> cases[] = {
      {"<r><1abc></r>", "Incorrect tag name character at offset 3"},
      {"<r><!x></r>", "Incorrect ! tag at offset 3"},
      {"<r><!-x></r>", "Incorrect comment tag at offset 3"},
      {"<r><![x></r>", "Incorrect tag at offset 3"},
      {"<r><!-- c", "Comment at offset 3 unterminated"},
      {"<r><![CDATA[x]]", "CDATA Section at offset 3 unterminated"},
      {"<r><?pi x?", "Processing instruction at offset 3 unterminated"},
      {"<r><!DOCTYPE x [<!ENTITY e 'v'>", "Doctype at offset 3 unterminated"},
      {"<r><!ENTITY e \">\"", "Doctype at offset 3 unterminated"},
      {"<r><a b='>'", "Element tag at offset 3 unterminated"},
      {"<r></r", "Element end tag at offset 3 unterminated"},
      {"<r><", "tag at offset 3 unterminated"},
      {"<r><!-", "tag at offset 3 unterminated"},
      {"<r>&", "Element 'r' at offset 0 not ended"},
  };
  for (const auto& [text, message] : cases) {
    EXPECT_EQ(Parse(doc, text).result, message) << text;
    EXPECT_EQ(doc.CheckIndex(), "") << text;
  }
  // An incorrect node ends before the next "<", which starts a node of its own.
  doc.SetDocumentText("<<a/>");
  EXPECT_EQ(doc.FindNode(), XmlDoc::ErrorNode);
  EXPECT_EQ(doc.GetContent(), "<");
  EXPECT_EQ(doc.FindNode(), XmlDoc::ElementNode);
}

TEST(XmlParseTest, EmptyElementNeedsSlashAfterNameBlankOrQuote) {
  for (const char* empty : {"<a/>", "<a />", "<a\n/>", "<a b='x'/>", "<a b=\"x\"/>"}) {
    EXPECT_TRUE(Parse("<r>"s + empty + "</r>").wellFormed) << empty;
  }
  const Parsed value = Parse("<r><a b=x/></r>");
  EXPECT_FALSE(value.wellFormed);
  EXPECT_EQ(value.result, "End tag 'r' at offset 12 does not match start tag 'a' at offset 3");
  EXPECT_FALSE(Parse("<r><a b/></r>").wellFormed);
}

TEST(XmlParseTest, QuotesCommentsAndDoctypeHideTheirMarkup) {
  XmlDoc doc;
  EXPECT_TRUE(Parse(doc, "<r a=\"x>y\" b='\"/>'><c/></r>").wellFormed);
  EXPECT_EQ(Facts(doc, 1).startTagLength, 19u);
  EXPECT_TRUE(Parse("<r><!--></r>").wellFormed);  // "<!-->" is a whole comment
  EXPECT_TRUE(Parse("<r><!---></r>").wellFormed);
  EXPECT_TRUE(Parse("<r><![CDATA[<a>]]]></r>").wellFormed);
  const char* doctype = "<!DOCTYPE r [<!ENTITY e \"a>b\"><!-- > ' --><?pi > ?><!ATTLIST r a CDATA '>'>]>\n<r/>";
  EXPECT_TRUE(Parse(doc, doctype).wellFormed);
  EXPECT_EQ(Facts(doc, 1).start, int32_t(std::string_view(doctype).find("<r/>")));
  EXPECT_EQ(Parse("<!DOCTYPE r [<!DOCTYPE x>]><r/>").result, "Incorrect ! tag at offset 0");
}

TEST(XmlParseTest, IgnoreCaseMatchesEndTags) {
  XmlDoc doc;
  EXPECT_FALSE(Parse(doc, "<Item></ITEM>").wellFormed);
  doc.SetDocumentFlags(XmlDoc::IgnoreCase);
  EXPECT_TRUE(Parse(doc, "<Item></ITEM>").wellFormed);
}

TEST(XmlParseTest, NulBytesAreTextNotEnds) {
  XmlDoc doc;
  const std::string text = "<r>a\0b<c\0d/>\0</r>"s;
  EXPECT_TRUE(Parse(doc, text).wellFormed);
  EXPECT_EQ(doc.GetDocumentText(), text);
  EXPECT_EQ(doc.GetElementName(2), "c\0d"s);
}

TEST(XmlParseTest, NodeTypesAndSpans) {
  const std::string text = " \n<?pi a='1'?>t>u<!--c--><![CDATA[d]]><!DOCTYPE r><e x/></e \n>";
  XmlDoc doc;
  doc.SetDocumentText(text);
  std::vector<std::tuple<int, std::string, std::string>> seen;
  for (int type; (type = doc.FindNode()) != 0;) seen.emplace_back(type, doc.GetNodeName(), doc.GetContent());
  const std::vector<std::tuple<int, std::string, std::string>> expected = {
      {XmlDoc::WhitespaceNode, "#text", " \n"},
      {XmlDoc::ProcessingInstructionNode, "pi", "pi a='1'"},
      {XmlDoc::TextNode, "#text", "t>"},
      {XmlDoc::TextNode, "#text", "u"},
      {XmlDoc::CommentNode, "#comment", "c"},
      {XmlDoc::CDataNode, "#cdata-section", "d"},
      {XmlDoc::DocumentTypeNode, "r", "<!DOCTYPE r>"},
      {XmlDoc::ElementNode, "e", ""}};
  EXPECT_EQ(seen, expected);
  // "/" after an attribute name is no "/>": e ends at "</e", its name ended by white space.
  EXPECT_EQ(doc.GetElementFacts(doc.GetCurrentPosition()), (XmlDoc::ElementFacts{0, 50, 12, 6, 6, true, false, false}));
  doc.SetDocumentText("<a/>");
  EXPECT_EQ(doc.GetElementFacts(1), (XmlDoc::ElementFacts{0, 0, 4, 4, 0, true, false, false}));
}

// Every prefix of a rich document, in a buffer of exactly its size, so that
// the sanitizers see any read past the end.
TEST(XmlParseTest, TruncatedTextsNeverReadPastTheirEnd) {
  const std::string full =
      "<?xml version='1.0'?><!DOCTYPE r [<!ENTITY e 'v'><!-- c -->]><r a=\"1\" b='2' c=d e>"
      "<x/><y z='>'>&amp;t&#65;</y><![CDATA[q]]><!--k--><?p i?></r>";
  for (size_t size = 0; size <= full.size(); ++size) {
    std::unique_ptr<char[]> bytes(new char[size]);
    std::copy(full.begin(), full.begin() + ptrdiff_t(size), bytes.get());
    const std::string_view text(bytes.get(), size);
    XmlDoc whole;
    whole.SetDocumentText(text);
    size_t nodes = 0;
    while (whole.FindNode() != 0) ASSERT_LE(++nodes, size);  // every node takes one byte or more
    XmlDoc doc;
    doc.SetDocumentText("<host/>");
    doc.FindElement();
    doc.AddSubDocument(text, XmlDoc::AsChild);
    ASSERT_EQ(doc.CheckIndex(), "") << size;
  }
}

TEST(XmlParseTest, TagsBeyondTheIndexLimitsBecomeErrors) {
  // What an element's record can hold.
  constexpr uint32_t kMaxStartTagLength = (1u << 22) - 1;
  constexpr uint32_t kMaxLevel = 0xFFFF;
  XmlDoc doc;
  const std::string longValue(kMaxStartTagLength, 'v');
  Parsed p = Parse(doc, "<r><a x='" + longValue + "'/></r>");
  EXPECT_EQ(p.result, "Element tag at offset 3 too long");
  EXPECT_FALSE(p.wellFormed);
  EXPECT_EQ(p.check, "");
  EXPECT_EQ(doc.GetFirstChild(1), 0);
  EXPECT_TRUE(Parse(doc, "<r><a x='" + longValue.substr(10) + "'/></r>").wellFormed);

  p = Parse(doc, "<r><a></a" + std::string(1020, ' ') + "></r>");
  EXPECT_EQ(p.result, "Element end tag at offset 6 too long");
  EXPECT_EQ(p.check, "");
  EXPECT_TRUE(Parse(doc, "<r><a></a" + std::string(1019, ' ') + "></r>").wellFormed);

  std::string deep;
  for (uint32_t i = 0; i <= kMaxLevel + 1; ++i) deep += "<a>";
  for (uint32_t i = 0; i <= kMaxLevel + 1; ++i) deep += "</a>";
  p = Parse(doc, deep);
  EXPECT_EQ(p.result, "Element nesting at offset " + std::to_string(3 * (kMaxLevel + 1)) + " too deep");
  EXPECT_FALSE(p.wellFormed);
  EXPECT_EQ(p.check, "");
  EXPECT_EQ(doc.GetHighWaterMark(), int(kMaxLevel) + 2);
}

// Offsets are 32-bit: a text of 2 GiB is refused. The pages are reserved,
// never touched.
TEST(XmlParseTest, TextOf2GiBIsRefusedWithoutReadingIt) {
  const size_t size = size_t(1) << 31;
  void* pages = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  ASSERT_NE(pages, MAP_FAILED);
  XmlDoc doc;
  EXPECT_FALSE(doc.SetDocumentText(std::string_view(static_cast<const char*>(pages), size)));
  munmap(pages, size);
  EXPECT_EQ(doc.GetResultText(), "Document of 2147483648 bytes too large");
  EXPECT_EQ(doc.GetDocumentText(), "");
  EXPECT_EQ(doc.GetHighWaterMark(), 1);
  EXPECT_EQ(doc.CheckIndex(), "");
  EXPECT_TRUE(doc.AddElement("a"));  // and the document is usable
  EXPECT_EQ(doc.GetDocumentText(), "<a/>\r\n");
}

TEST(XmlParseTest, IndexGrowsAcrossSegments) {
  std::string text = "<r>";
  for (int i = 0; i < 200000; ++i) text += "<a/>";
  text += "</r>";
  XmlDoc doc;
  EXPECT_TRUE(Parse(doc, text).wellFormed);
  EXPECT_EQ(doc.GetHighWaterMark(), 200002);
  EXPECT_EQ(doc.CheckIndex(), "");
  EXPECT_EQ(Facts(doc, 200001).start, int32_t(text.size()) - 8);
  EXPECT_EQ(doc.GetElementName(200002), "");
  XmlDoc copy(doc);
  EXPECT_EQ(copy.CheckIndex(), "");
  EXPECT_EQ(Facts(copy, 150000).start, Facts(doc, 150000).start);
}

TEST(XmlParseTest, CopyAndMove) {
  XmlDoc doc;
  doc.SetDocumentText("<r><a/><b/></r>");
  doc.FindElement("/r/b");
  XmlDoc copy;
  copy.CopyFrom(doc);
  doc.SetDocumentText("<z/>");
  EXPECT_EQ(copy.GetTagName(), "b");
  EXPECT_EQ(copy.GetParentPosition(), 1);
  XmlDoc moved(std::move(copy));
  EXPECT_EQ(moved.GetDocumentText(), "<r><a/><b/></r>");
  EXPECT_FALSE(copy.FindElement());  // NOLINT: a moved-from document fails softly
  EXPECT_EQ(copy.GetIndexBytes(), 0u);
  EXPECT_FALSE(copy.AddElement("a"));
  EXPECT_TRUE(copy.SetDocumentText("<again/>"));
}

class XmlFileTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& bytes) {
    std::ofstream(path_, std::ios::binary) << bytes;
    return path_;
  }
  void TearDown() override { std::filesystem::remove(path_); }
  std::string path_ =
      (std::filesystem::temp_directory_path() / ("xml_parse_test_" + std::to_string(getpid()))).string();
};

TEST_F(XmlFileTest, ResultTextJoinsTheFileNoteAndTheFirstProblem) {
  XmlDoc doc;
  EXPECT_FALSE(doc.LoadFile(Write("\xEF\xBB\xBF<a>" + std::string(117, ' '))));
  EXPECT_EQ(doc.GetResultText(), "UTF-8 BOM + 120 bytes, Element 'a' at offset 0 not ended");
  EXPECT_FALSE(doc.LoadFile(Write("\xFF\xFE")));
  EXPECT_EQ(doc.GetResultText(), "UTF-16LE BOM + 0 wide chars to 0 bytes, Empty document");
  EXPECT_TRUE(doc.LoadFile(Write("<r/>")));
  EXPECT_EQ(doc.GetResultText(), "4 bytes");
}

TEST_F(XmlFileTest, FailedReadKeepsTextAndIndex) {
  XmlDoc doc;
  doc.SetDocumentText("<kept/>");
  doc.FindElement();
  EXPECT_FALSE(doc.LoadFile(path_ + "/missing"));
  EXPECT_NE(doc.GetResultText(), "");
  EXPECT_EQ(doc.GetDocumentText(), "<kept/>");
  EXPECT_EQ(doc.GetTagName(), "kept");
}

}  // namespace
}  // namespace vrel
