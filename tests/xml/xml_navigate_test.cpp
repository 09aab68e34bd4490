#include <gtest/gtest.h>

#include "xml/xml_doc.h"

namespace vrel {
namespace {

using namespace std::string_literals;

constexpr const char* kStatus =
    "<FEEDSTATUS>\r\n"
    "<FEED uri='a' feedid=\"1\"><item n='1'/><item n='2'><title>T</title></item></FEED>\r\n"
    "<FEED uri=b feedid=\"2\" bare><item n='3'/></FEED>\r\n"
    "<other/>\r\n"
    "</FEEDSTATUS>\r\n";

class XmlNavigateTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(doc_.SetDocumentText(kStatus)); }
  std::string Current() const { return doc_.GetTagName(); }
  XmlDoc doc_;
};

TEST_F(XmlNavigateTest, FindEnterLeaveWalkTheLevels) {
  EXPECT_TRUE(doc_.FindElement("FEEDSTATUS"));
  EXPECT_FALSE(doc_.FindElement("FEEDSTATUS"));  // no sibling follows; the cursor stays
  EXPECT_EQ(Current(), "FEEDSTATUS");
  EXPECT_TRUE(doc_.EnterElement());
  EXPECT_EQ(doc_.GetCurrentPosition(), 0);  // before the first child
  EXPECT_TRUE(doc_.FindElement("FEED"));
  EXPECT_EQ(doc_.GetAttribute("uri"), "a");
  EXPECT_TRUE(doc_.FindElement("FEED"));
  EXPECT_EQ(doc_.GetAttribute("uri"), "b");
  EXPECT_TRUE(doc_.FindElement());
  EXPECT_EQ(Current(), "other");
  EXPECT_TRUE(doc_.LeaveElement());
  EXPECT_EQ(Current(), "FEEDSTATUS");
  EXPECT_EQ(doc_.GetChildTagName(), "other");
  EXPECT_FALSE(doc_.LeaveElement());
}

TEST_F(XmlNavigateTest, FindChildElementFirstSelectsTheLevelsFirstElement) {
  EXPECT_TRUE(doc_.FindChildElement("FEED"));
  EXPECT_EQ(Current(), "FEEDSTATUS");
  EXPECT_EQ(doc_.GetChildAttribute("uri"), "a");
  EXPECT_TRUE(doc_.FindChildElement("FEED"));
  EXPECT_EQ(doc_.GetChildAttribute("uri"), "b");
  EXPECT_FALSE(doc_.FindChildElement("FEED"));
  EXPECT_FALSE(doc_.FindChildElement("/FEEDSTATUS"));  // a top-level element is nobody's child
}

TEST_F(XmlNavigateTest, PathsAndPredicates) {
  EXPECT_TRUE(doc_.FindElement("/FEEDSTATUS/FEED[2]"));
  EXPECT_EQ(doc_.GetAttribute("feedid"), "2");
  EXPECT_TRUE(doc_.FindElement("/FEEDSTATUS/*[3]"));
  EXPECT_EQ(Current(), "other");
  EXPECT_TRUE(doc_.FindElement("/FEEDSTATUS/FEED[@bare]"));
  EXPECT_EQ(doc_.GetAttribute("uri"), "b");
  EXPECT_TRUE(doc_.FindElement("/FEEDSTATUS/FEED[@uri='whatever']"));  // the value is not compared
  EXPECT_EQ(doc_.GetAttribute("uri"), "a");
  EXPECT_TRUE(doc_.FindElement("/FEEDSTATUS/FEED/item[title]"));
  EXPECT_EQ(doc_.GetAttribute("n"), "2");
  EXPECT_TRUE(doc_.FindElement("/"));
  EXPECT_EQ(Current(), "FEEDSTATUS");
  for (const char* nothing : {"/FEEDSTATUS/FEED[3]", "/FEEDSTATUS/FEED[0]", "/FEEDSTATUS/FEED[", "//FEED/item",
                              "/FEEDSTATUS//FEED", "/FEEDS", "/FEEDSTATUSX", "[]", "b[@]"})
    EXPECT_FALSE(doc_.FindElement(nothing)) << nothing;
  EXPECT_EQ(Current(), "FEEDSTATUS");
}

TEST_F(XmlNavigateTest, DoubleSlashWalksInDocumentOrder) {
  std::vector<std::string> numbers;
  while (doc_.FindElement("//item")) numbers.push_back(doc_.GetAttribute("n"));
  EXPECT_EQ(numbers, (std::vector<std::string>{"1", "2", "3"}));
  // Below the current element only, for a child.
  doc_.FindElement("/FEEDSTATUS/FEED");
  numbers.clear();
  while (doc_.FindChildElement("//item")) numbers.push_back(doc_.GetChildAttribute("n"));
  EXPECT_EQ(numbers, (std::vector<std::string>{"1", "2"}));
}

TEST_F(XmlNavigateTest, NamesMatchWholeAndOptionallyWithoutCase) {
  EXPECT_FALSE(doc_.FindElement("FEEDSTAT"));
  EXPECT_TRUE(doc_.FindElement("FEEDSTATUS attr"));  // the name ends at " =/[]"
  doc_.SetPositions(0, 0, 0);
  EXPECT_FALSE(doc_.FindElement("feedstatus"));
  doc_.SetDocumentFlags(XmlDoc::IgnoreCase);
  EXPECT_TRUE(doc_.FindElement("feedstatus/feed[@URI]"));
}

TEST(XmlReadTest, AttributesInEveryQuoting) {
  XmlDoc doc;
  doc.SetDocumentText("<a d=\"x &amp; &#65;\" s='q\"' u=plain/ flag e = \"1\"></a>");
  doc.FindElement();
  EXPECT_EQ(doc.GetAttribute("d"), "x & A");
  EXPECT_EQ(doc.GetAttribute("s"), "q\"");
  EXPECT_EQ(doc.GetAttribute("u"), "plain/");
  EXPECT_EQ(doc.GetAttribute("flag"), "flag");
  EXPECT_EQ(doc.GetAttribute("e"), "1");
  EXPECT_EQ(doc.GetAttribute("missing"), "");
  std::vector<std::string> names;
  for (int i = 0; !doc.GetAttributeName(i).empty(); ++i) names.push_back(doc.GetAttributeName(i));
  EXPECT_EQ(names, (std::vector<std::string>{"d", "s", "u", "flag", "e"}));
}

TEST(XmlReadTest, AllAttributesInOnePassKeepEachOwnValue) {
  XmlDoc doc;
  doc.SetDocumentText("<a d=\"x &amp; y\" flag d='second'/>");
  doc.FindElement();
  const std::vector<XmlDoc::Attribute> attributes = doc.GetAttributes(doc.GetCurrentPosition());
  std::vector<std::string> read;
  for (const XmlDoc::Attribute& attribute : attributes) read.push_back(attribute.name + "=" + attribute.value);
  EXPECT_EQ(read, (std::vector<std::string>{"d=x & y", "flag=flag", "d=second"}));
  EXPECT_TRUE(doc.GetAttributes(0).empty());
}

TEST(XmlReadTest, ContentOfElementsAndNodes) {
  XmlDoc doc;
  doc.SetDocumentText(
      "<r><t>a &lt;b&gt;</t><m>x<![CDATA[<y>]]><!--c--><?p?> z</m><p><q/></p><e/><s>AT&T < Verizon</s></r>");
  doc.FindElement();
  const auto content = [&](const char* child) {
    doc.SetPositions(0, 1, 0);
    return doc.FindChildElement(child) ? doc.GetChildContent() : "(none)";
  };
  EXPECT_EQ(content("t"), "a <b>");
  EXPECT_EQ(content("m"), "x<y> z");
  EXPECT_EQ(content("p"), "");
  EXPECT_EQ(content("e"), "");
  EXPECT_EQ(content("s"), "AT&T < Verizon");  // a stray "<" stays text
  EXPECT_EQ(doc.GetContent(-1), "");
  EXPECT_EQ(doc.GetContent(99), "");
  EXPECT_EQ(doc.GetElementName(0), "");
}

TEST(XmlReadTest, FindNodeStepsThroughContent) {
  XmlDoc doc;
  doc.SetDocumentText("<!DOCTYPE r SYSTEM 'r.dtd'><r>t1 &amp;<!--c--><a/>\n<![CDATA[d]]><?pi x='1'?></b><1 x></r>");
  doc.FindElement();
  doc.EnterElement();
  std::vector<std::tuple<int, std::string, std::string>> seen;
  for (int type; (type = doc.FindNode(123 | XmlDoc::ErrorNode | XmlDoc::LoneEndTagNode)) != 0;)
    seen.emplace_back(type, doc.GetNodeName(), doc.GetContent());
  const std::vector<std::tuple<int, std::string, std::string>> expected = {
      {XmlDoc::TextNode, "#text", "t1 &"},
      {XmlDoc::CommentNode, "#comment", "c"},
      {XmlDoc::ElementNode, "a", ""},
      {XmlDoc::CDataNode, "#cdata-section", "d"},
      {XmlDoc::ProcessingInstructionNode, "pi", "pi x='1'"},
      {XmlDoc::LoneEndTagNode, "b", "b"},
      {XmlDoc::ErrorNode, "", "<1 x>"}};
  EXPECT_EQ(seen, expected);
  // The processing instruction's attributes, as for an element.
  doc.SetPositions(0, 1, 0);
  doc.EnterElement();
  ASSERT_EQ(doc.FindNode(XmlDoc::ProcessingInstructionNode), XmlDoc::ProcessingInstructionNode);
  EXPECT_EQ(doc.GetAttribute(doc.GetCurrentPosition(), "x"), "1");
  // White space counts with mask 0; the document type names its root.
  doc.SetPositions(0, 0, 0);
  EXPECT_EQ(doc.FindNode(0), XmlDoc::DocumentTypeNode);
  EXPECT_EQ(doc.GetNodeName(), "r");
  doc.SetPositions(1, 0, 0);
  EXPECT_EQ(doc.FindNode(XmlDoc::CDataNode), XmlDoc::CDataNode);
  EXPECT_EQ(doc.GetCurrentPosition(), 2);  // the element before the node
}

TEST(XmlReadTest, SubDocumentTakesTheLineBreakAfterIt) {
  XmlDoc doc;
  doc.SetDocumentText("<r>\r\n<a x='1'>t</a>\r\n<b/> tail<c/></r>");
  EXPECT_EQ(doc.GetSubDocument(2), "<a x='1'>t</a>\r\n");
  EXPECT_EQ(doc.GetSubDocument(3), "<b/>");
  EXPECT_EQ(doc.GetSubDocument(0), "");
  EXPECT_EQ(doc.GetSubDocument(7), "");
}

TEST(XmlReadTest, OutOfRangeAndRemovedPositionsFailSoftly) {
  XmlDoc doc;
  doc.SetDocumentText("<r><a/><b/></r>");
  auto walks = [&doc](int n) {
    return std::vector<int>{doc.GetParent(n), doc.GetFirstChild(n), doc.GetNextSibling(n),
                            doc.GetNextInDocumentOrder(n), doc.GetNextAfterSubtree(n)};
  };
  const std::vector<int> none(5, 0);
  for (int n : {-5, 4, 1 << 20}) {
    EXPECT_EQ(walks(n), none);
    EXPECT_EQ(doc.GetElementFacts(n), XmlDoc::ElementFacts{});
    EXPECT_EQ(doc.GetElementName(n), "");
    EXPECT_EQ(doc.GetAttribute(n, "x"), "");
    EXPECT_FALSE(doc.SetAttribute(n, "x", "1"));
    EXPECT_FALSE(doc.SetContent(n, "t"));
    EXPECT_FALSE(doc.RemoveAttribute(n, "x"));
    doc.SetPositions(n, n, n);
    EXPECT_FALSE(doc.FindElement());
    EXPECT_FALSE(doc.FindChildElement());
    EXPECT_FALSE(doc.EnterElement());
    EXPECT_FALSE(doc.LeaveElement());
    EXPECT_EQ(doc.FindNode(0), 0);
    EXPECT_FALSE(doc.AddElement("x"));
    EXPECT_FALSE(doc.RemoveElement());
  }
  doc.SetPositions(1, 2, 0);
  ASSERT_TRUE(doc.RemoveElement());
  EXPECT_EQ(doc.GetElementName(2), "");
  EXPECT_EQ(doc.GetContent(2), "");
  EXPECT_FALSE(doc.SetAttribute(2, "x", "1"));
  EXPECT_EQ(walks(2), none);
  EXPECT_EQ(doc.GetElementFacts(2), XmlDoc::ElementFacts{});
  EXPECT_EQ(doc.CheckIndex(), "");  // and 2 is on the free list
  doc.SetPositions(1, 2, 0);
  EXPECT_FALSE(doc.RemoveElement());
  EXPECT_EQ(doc.GetDocumentText(), "<r><b/></r>");
}

// The walks by element number that callers use instead of the cursor.
TEST(XmlWalkTest, StepsFollowTheLinksInDocumentOrder) {
  XmlDoc doc;
  doc.SetDocumentText("<r><a><b/><c/></a><d/></r>");  // numbered 1 to 5 in document order
  EXPECT_EQ(doc.GetFirstChild(0), 1);
  EXPECT_EQ(doc.GetParent(1), 0);
  EXPECT_EQ(doc.GetParent(4), 2);
  EXPECT_EQ(doc.GetFirstChild(2), 3);
  EXPECT_EQ(doc.GetFirstChild(3), 0);
  EXPECT_EQ(doc.GetNextSibling(3), 4);
  EXPECT_EQ(doc.GetNextSibling(4), 0);
  EXPECT_EQ(doc.GetParent(0), 0);
  std::vector<int> order;
  for (int n = doc.GetNextInDocumentOrder(0); n; n = doc.GetNextInDocumentOrder(n)) order.push_back(n);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_EQ(doc.GetNextAfterSubtree(2), 5);  // passes over b and c
  EXPECT_EQ(doc.GetNextAfterSubtree(4), 5);  // climbs out of a
  EXPECT_EQ(doc.GetNextAfterSubtree(1), 0);
  EXPECT_EQ(doc.GetNextAfterSubtree(0), 0);
  XmlDoc moved(std::move(doc));
  EXPECT_EQ(doc.GetFirstChild(0), 0);  // NOLINT: a moved-from document has no index to walk
  EXPECT_EQ(moved.GetFirstChild(0), 1);
}

TEST(XmlWalkTest, DeepNestingIsWalkedToTheEndAndBack) {
  const int depth = 60000;
  std::string text;
  for (int i = 0; i < depth; ++i) text += "<a>";
  for (int i = 0; i < depth; ++i) text += "</a>";
  XmlDoc doc;
  ASSERT_TRUE(doc.SetDocumentText(text));
  int count = 0, last = 0;
  for (int n = doc.GetFirstChild(0); n; n = doc.GetNextInDocumentOrder(n), ++count) last = n;
  EXPECT_EQ(count, depth);
  EXPECT_EQ(doc.GetElementFacts(last).level, uint32_t(depth - 1));
  EXPECT_EQ(doc.GetNextAfterSubtree(last), 0);  // up through every ancestor
}

TEST(XmlWalkTest, ElementFactsAreWhatTheIndexRecords) {
  XmlDoc doc;
  doc.SetDocumentText("<r><a x='1'>t</a><b/></x><c></r>");
  using Facts = XmlDoc::ElementFacts;
  EXPECT_EQ(doc.GetElementFacts(1), (Facts{0, 0, 32, 3, 4, true, false, true}));  // holds the stray </x>
  EXPECT_EQ(doc.GetElementFacts(2), (Facts{1, 3, 14, 9, 4, true, false, false}));
  EXPECT_EQ(doc.GetElementFacts(3), (Facts{1, 17, 4, 4, 0, false, false, false}));
  EXPECT_EQ(doc.GetElementFacts(4), (Facts{1, 25, 3, 3, 0, false, true, false}));
  EXPECT_EQ(doc.GetElementFacts(0), Facts{});  // the document is no element
}

}  // namespace
}  // namespace vrel
