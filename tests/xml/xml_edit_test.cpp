#include <gtest/gtest.h>

#include "xml/xml_doc.h"
#include "xml_elements.h"

namespace vrel {
namespace {

using namespace std::string_literals;

// The index an edit leaves must be the one a parse of the new text builds.
std::string ReparseDiffers(const XmlDoc& doc) {
  const std::string fault = doc.CheckIndex();
  if (!fault.empty()) return fault;
  XmlDoc fresh;
  fresh.SetDocumentFlags(doc.GetDocumentFlags());
  fresh.SetDocumentText(doc.GetDocumentText());
  auto layout = [](const XmlDoc& d) {
    std::vector<std::tuple<std::string, int32_t, int32_t, uint32_t, uint32_t, uint32_t>> spans;
    for (int n : IndexedElements(d)) {
      const XmlDoc::ElementFacts f = d.GetElementFacts(n);
      spans.emplace_back(d.GetElementName(n), f.start, f.length, f.startTagLength, f.endTagLength, f.level);
    }
    return spans;
  };
  return layout(doc) == layout(fresh) ? "" : "the index differs from a parse of the text";
}

class XmlEditTest : public ::testing::Test {
 protected:
  void Load(const char* text) {
    doc_.SetDocumentText(text);
    doc_.FindElement();
  }
  void ExpectText(const std::string& text) {
    EXPECT_EQ(doc_.GetDocumentText(), text);
    EXPECT_EQ(ReparseDiffers(doc_), "");
    EXPECT_TRUE(doc_.IsModified());
  }
  XmlDoc doc_;
};

TEST_F(XmlEditTest, SetAttributeRewritesInDoubleQuotes) {
  Load("<r a='1' b=2 c d=\"4\" />\r\n<!-- after -->");
  EXPECT_TRUE(doc_.SetAttribute("a", "x\"y"));
  EXPECT_TRUE(doc_.SetAttribute("b", "<&>"));
  EXPECT_TRUE(doc_.SetAttribute("c", "v"));
  EXPECT_TRUE(doc_.SetAttributeInt(1, "e", -7));
  ExpectText("<r a=\"x&quot;y\" b=\"&lt;&amp;&gt;\" c=\"v\" d=\"4\" e=\"-7\" />\r\n<!-- after -->");
  EXPECT_EQ(doc_.GetAttribute("a"), "x\"y");
  for (const char* bad : {"", "a b", "a=b", "x>", "q\"", "s/", "p[1]"})
    EXPECT_FALSE(doc_.SetAttribute(bad, "v")) << bad;
}

TEST_F(XmlEditTest, AttributeEditsMoveTheRecordsBehind) {
  Load("<r><a x='1'><b/></a><c/></r>");
  doc_.FindChildElement("a");
  EXPECT_TRUE(doc_.SetChildAttribute("x", "longer value"));
  EXPECT_TRUE(doc_.RemoveAttribute(1, "nothing") == false);
  ExpectText("<r><a x=\"longer value\"><b/></a><c/></r>");
  EXPECT_TRUE(doc_.RemoveAttribute(doc_.GetChildPosition(), "x"));
  ExpectText("<r><a><b/></a><c/></r>");
  // Neither edit may join tokens or take "/>" apart.
  Load("<r a='1'b=\"2\" c x=\"3\"/>");
  EXPECT_TRUE(doc_.RemoveAttribute(1, "a"));
  EXPECT_TRUE(doc_.RemoveAttribute(1, "x"));
  ExpectText("<r b=\"2\" c />");
  Load("<r a=v\"q\"/>");
  EXPECT_TRUE(doc_.SetAttribute("n", "1"));
  ExpectText("<r a=v\"q\" n=\"1\"/>");
  // A quote inside a token: removing half of a quoted stretch would change the tag.
  Load("<r odd\"x y\" c=\"1\"/>");
  EXPECT_EQ(doc_.GetAttributeName(0), "odd\"x");
  EXPECT_FALSE(doc_.RemoveAttribute(1, "odd\"x"));
  XmlDoc open;  // "/" after a token: not empty, and a quote before it would make it so
  open.SetDocumentText("<r><i b/></r>");
  EXPECT_FALSE(open.SetAttribute(2, "c", "1"));
  EXPECT_EQ(open.GetDocumentText(), "<r><i b/></r>");
  EXPECT_TRUE(doc_.RemoveAttribute(1, "c"));
  ExpectText("<r odd\"x y\"/>");
}

TEST_F(XmlEditTest, SetContentReplacesTextOrOpensAnEmptyElement) {
  Load("<r><t>old</t><e/><s /><p><q/></p><u></r>");
  doc_.FindChildElement("t");
  EXPECT_TRUE(doc_.SetChildContent("a<b & \"c\""));
  doc_.FindChildElement("e");
  EXPECT_TRUE(doc_.SetChildContent("x]]>y", XmlDoc::AsCData));
  doc_.FindChildElement("s");
  EXPECT_TRUE(doc_.SetChildContent(""));
  doc_.FindChildElement("p");
  EXPECT_FALSE(doc_.SetChildContent("no"));  // it has a child element
  doc_.FindChildElement("u");
  EXPECT_TRUE(doc_.SetChildContent("z"));  // an unended element gets its end tag
  ExpectText("<r><t>a&lt;b &amp; \"c\"</t><e><![CDATA[x]]]]><![CDATA[>y]]></e><s ></s><p><q/></p><u>z</u></r>");
  EXPECT_EQ(doc_.GetContent(3), "x]]>y");
  EXPECT_FALSE(doc_.GetElementFacts(6).unended);
}

TEST_F(XmlEditTest, SetContentOnNodesKeepsTheirKind) {
  Load("<r>text<![CDATA[c]]><!--m--><?p x?></y></r>");
  doc_.EnterElement();
  ASSERT_EQ(doc_.FindNode(XmlDoc::TextNode), XmlDoc::TextNode);
  EXPECT_TRUE(doc_.SetContent("a < b"));
  ASSERT_EQ(doc_.FindNode(XmlDoc::CDataNode), XmlDoc::CDataNode);
  EXPECT_FALSE(doc_.SetContent("x]]>y"));
  EXPECT_TRUE(doc_.SetContent("<new>"));
  ASSERT_EQ(doc_.FindNode(XmlDoc::CommentNode), XmlDoc::CommentNode);
  EXPECT_FALSE(doc_.SetContent("a-->b"));
  EXPECT_TRUE(doc_.SetContent(" note "));
  ASSERT_EQ(doc_.FindNode(XmlDoc::ProcessingInstructionNode), XmlDoc::ProcessingInstructionNode);
  EXPECT_FALSE(doc_.SetContent("a?>b"));
  EXPECT_TRUE(doc_.SetAttribute(doc_.GetCurrentPosition(), "y", "2"));
  ASSERT_EQ(doc_.FindNode(XmlDoc::LoneEndTagNode), XmlDoc::LoneEndTagNode);
  EXPECT_FALSE(doc_.SetContent("z"));
  EXPECT_EQ(doc_.GetDocumentText(), "<r>a &lt; b<![CDATA[<new>]]><!-- note --><?p x y=\"2\"?></y></r>");
  EXPECT_EQ(doc_.CheckIndex(), "");
}

TEST_F(XmlEditTest, AddElementOpensAnEmptyParentWithLineBreaks) {
  Load("<FEEDSTATUS/>\r\n");
  EXPECT_TRUE(doc_.AddElement("FEED", "", XmlDoc::AsChild));
  ExpectText("<FEEDSTATUS>\r\n<FEED/>\r\n</FEEDSTATUS>\r\n");
  EXPECT_TRUE(doc_.AddElement("FEED", "a<b & \"q\"", XmlDoc::AsChild));
  ExpectText("<FEEDSTATUS>\r\n<FEED/>\r\n<FEED>a&lt;b &amp; \"q\"</FEED>\r\n</FEEDSTATUS>\r\n");
  EXPECT_EQ(doc_.GetChildContent(), "a<b & \"q\"");
  EXPECT_TRUE(doc_.AddElement("TOP"));  // after the current element, at the top level
  ExpectText("<FEEDSTATUS>\r\n<FEED/>\r\n<FEED>a&lt;b &amp; \"q\"</FEED>\r\n</FEEDSTATUS>\r\n<TOP/>\r\n");
  EXPECT_EQ(doc_.GetTagName(), "TOP");
}

TEST_F(XmlEditTest, AddElementIntoEmptyContentAndFlags) {
  Load("<r><a></a></r>");
  doc_.FindChildElement("a");
  doc_.SetPositions(1, doc_.GetChildPosition(), 0);
  EXPECT_TRUE(doc_.AddElement("b", "", XmlDoc::AsChild | XmlDoc::SpaceBeforeSlash));
  ExpectText("<r><a>\r\n<b />\r\n</a></r>");
  EXPECT_TRUE(doc_.AddElement("c", "v", XmlDoc::AsChild | XmlDoc::NoLineBreaks | XmlDoc::AsCData));
  ExpectText("<r><a>\r\n<b /><c><![CDATA[v]]></c>\r\n</a></r>");
  EXPECT_TRUE(
      doc_.AddElement("d", "", XmlDoc::AsChild | XmlDoc::NoEndTag | XmlDoc::NoLineBreaks | XmlDoc::InsertBefore));
  EXPECT_TRUE(doc_.GetElementFacts(doc_.GetChildPosition()).unended);
  EXPECT_EQ(doc_.GetDocumentText(), "<r><a>\r\n<b /><d><c><![CDATA[v]]></c>\r\n</a></r>");
  EXPECT_FALSE(doc_.AddElement("a", "", XmlDoc::AsChild | XmlDoc::NoEndTag));  // it would end at "</a>"
  EXPECT_EQ(doc_.CheckIndex(), "");
  for (const char* bad : {"", "1a", "a b", "a/", "a>", "<a", "a&b"}) EXPECT_FALSE(doc_.AddElement(bad)) << bad;
  doc_.SetPositions(0, 0, 0);
  EXPECT_FALSE(doc_.AddElement("x", "", XmlDoc::AsChild));  // no current element
}

TEST_F(XmlEditTest, AddSubDocumentInsertsTheParsedElements) {
  Load("<r>\r\n<a/>\r\n</r>");
  doc_.FindChildElement("a");
  EXPECT_TRUE(doc_.AddSubDocument("<?xml version='1.0'?>\n<n x='1'><m>t</m></n>\n", XmlDoc::AsChild));
  ExpectText("<r>\r\n<a/>\r\n<n x='1'><m>t</m></n>\r\n</r>");
  EXPECT_EQ(doc_.GetChildTagName(), "n");
  EXPECT_EQ(doc_.GetElementFacts(doc_.GetChildPosition()).level, 1u);
  EXPECT_FALSE(doc_.AddSubDocument("<p/> <q/>", XmlDoc::AsChild));  // several elements: inserted, but false
  ExpectText("<r>\r\n<a/>\r\n<n x='1'><m>t</m></n>\r\n<p/> <q/>\r\n</r>");
  EXPECT_EQ(doc_.GetChildTagName(), "p");
  EXPECT_FALSE(doc_.AddSubDocument("<u><1x></u>", XmlDoc::AsChild));  // not well-formed: verbatim, no line break
  ExpectText("<r>\r\n<a/>\r\n<n x='1'><m>t</m></n>\r\n<p/><u><1x></u> <q/>\r\n</r>");
  EXPECT_EQ(doc_.GetChildTagName(), "u");
  EXPECT_TRUE(doc_.GetElementFacts(doc_.GetChildPosition()).containsError);
  const std::string before = doc_.GetDocumentText();
  for (const char* refused : {"</r><evil/>", "<r><w>", "<w>x</w><!-- open", "<w a='x", ""})
    EXPECT_FALSE(doc_.AddSubDocument(refused, XmlDoc::AsChild)) << refused;
  EXPECT_EQ(doc_.GetDocumentText(), before);
  EXPECT_EQ(doc_.CheckIndex(), "");
}

TEST_F(XmlEditTest, AddSubDocumentPassesContainsErrorToTheParent) {
  Load("<r/>");
  EXPECT_FALSE(doc_.AddSubDocument("<1x><k/>", XmlDoc::AsChild));
  EXPECT_TRUE(doc_.GetElementFacts(1).containsError);
  EXPECT_EQ(doc_.GetDocumentText(), "<r><1x><k/></r>");
  EXPECT_EQ(ReparseDiffers(doc_), "");
  // Text right behind a stray "<" would make a tag of it.
  Load("<r>a <</r>");
  EXPECT_FALSE(doc_.AddSubDocument("b/>", XmlDoc::AsChild));
  XmlDoc stray;  // nor would removing what stands between them
  stray.SetDocumentText("<r>a <<b/>c</r>");
  stray.SetPositions(1, 2, 0);
  EXPECT_FALSE(stray.RemoveElement());
  EXPECT_EQ(stray.GetDocumentText(), "<r>a <<b/>c</r>");
  EXPECT_FALSE(doc_.AddSubDocument("<1b>", XmlDoc::AsChild));
  EXPECT_EQ(doc_.GetDocumentText(), "<r>a <<1b></r>");
  EXPECT_EQ(ReparseDiffers(doc_), "");
}

TEST_F(XmlEditTest, RemoveTakesTheLineBreakAndReusesNumbers) {
  Load("<r>\r\n<a/>\r\n<b><c/></b>\r\n<d/></r>");
  doc_.FindChildElement("b");
  const int b = doc_.GetChildPosition();
  EXPECT_TRUE(doc_.RemoveChildElement());
  EXPECT_EQ(doc_.GetChildTagName(), "a");
  ExpectText("<r>\r\n<a/>\r\n<d/></r>");
  EXPECT_EQ(doc_.GetElementName(b), "");  // freed, as the index check above made sure
  const int high = doc_.GetHighWaterMark();
  EXPECT_TRUE(doc_.AddElement("e", "", XmlDoc::AsChild));
  EXPECT_TRUE(doc_.AddElement("f", "", XmlDoc::AsChild));
  EXPECT_EQ(doc_.GetHighWaterMark(), high);  // both numbers came from the free list
  ExpectText("<r>\r\n<a/>\r\n<e/>\r\n<f/>\r\n<d/></r>");
  ASSERT_TRUE(doc_.FindElement("/r/d"));
  EXPECT_TRUE(doc_.RemoveElement());  // the last one, at the end of the content
  EXPECT_EQ(doc_.GetTagName(), "f");
  ExpectText("<r>\r\n<a/>\r\n<e/>\r\n<f/>\r\n</r>");
}

TEST_F(XmlEditTest, RemovingTheOnlyChildLeavesTheSpaceBeforeIt) {
  Load("<r>\r\n  <only/>\r\n</r>");
  ASSERT_TRUE(doc_.FindChildElement("only"));
  EXPECT_TRUE(doc_.RemoveChildElement());
  EXPECT_EQ(doc_.GetChildPosition(), 0);
  ExpectText("<r>\r\n  </r>");
}

TEST_F(XmlEditTest, EditsAtTheVeryEndOfTheText) {
  Load("<r/>");
  EXPECT_TRUE(doc_.AddElement("s", "", XmlDoc::NoLineBreaks));
  ExpectText("<r/><s/>");
  EXPECT_TRUE(doc_.RemoveElement());
  ExpectText("<r/>");
  EXPECT_TRUE(doc_.RemoveElement());
  ExpectText("");
  EXPECT_EQ(doc_.GetCurrentPosition(), 0);
  EXPECT_TRUE(doc_.AddElement("new"));
  ExpectText("<new/>\r\n");
  // Nothing goes in behind a comment the text ends in: it would be read as comment.
  Load("<r/><!-- open");
  EXPECT_FALSE(doc_.AddElement("late"));
  EXPECT_FALSE(doc_.AddSubDocument("<late/>"));
  EXPECT_TRUE(doc_.AddElement("inside", "", XmlDoc::AsChild));
  EXPECT_EQ(doc_.GetDocumentText(), "<r>\r\n<inside/>\r\n</r><!-- open");
  EXPECT_EQ(ReparseDiffers(doc_), "");
  EXPECT_FALSE(doc_.AddElement("late"));
}

TEST_F(XmlEditTest, CurrentNodeFollowsEditsBeforeIt) {
  Load("<r><a/><b/>tail text</r>");
  doc_.EnterElement();
  ASSERT_EQ(doc_.FindNode(XmlDoc::TextNode), XmlDoc::TextNode);
  EXPECT_FALSE(doc_.SetAttribute(3, "x", "1"));  // the current position is a text node
  EXPECT_TRUE(doc_.SetAttribute(2, "x", "a long value"));
  EXPECT_EQ(doc_.GetContent(), "tail text");
  EXPECT_TRUE(doc_.AddElement("after"));
  ExpectText("<r><a x=\"a long value\"/><b/>tail text<after/>\r\n</r>");
  // An edit over the node forgets it.
  Load("<r><t>some text</t></r>");
  doc_.FindChildElement("t");
  doc_.EnterElement();
  doc_.EnterElement();
  ASSERT_EQ(doc_.FindNode(XmlDoc::TextNode), XmlDoc::TextNode);
  EXPECT_TRUE(doc_.SetContent(doc_.GetParentPosition(), "x"));
  EXPECT_EQ(doc_.GetNodeType(), 0);
  EXPECT_EQ(doc_.GetContent(), "");
  EXPECT_EQ(doc_.FindNode(XmlDoc::TextNode), XmlDoc::TextNode);
  EXPECT_EQ(doc_.GetContent(), "x");
}

TEST_F(XmlEditTest, DeepAndLargeDocumentsStayConsistent) {
  Load("<r/>");
  for (int i = 0; i < 300; ++i) ASSERT_TRUE(doc_.AddElement("d", "", XmlDoc::AsChild)) << i;
  for (int i = 0; i < 300; ++i) doc_.EnterElement();
  EXPECT_EQ(ReparseDiffers(doc_), "");
  XmlDoc big;
  big.SetDocumentText("<r/>");
  big.FindElement();
  for (int i = 0; i < 70000; ++i) ASSERT_TRUE(big.AddElement("i", "", XmlDoc::AsChild | XmlDoc::NoLineBreaks));
  EXPECT_EQ(big.CheckIndex(), "");
  EXPECT_EQ(big.GetHighWaterMark(), 70002);
}

}  // namespace
}  // namespace vrel
