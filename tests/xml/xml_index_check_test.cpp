#include <gtest/gtest.h>

#include <functional>

#include "xml/xml_doc.h"
#include "xml_elements.h"

namespace vrel {
namespace {

// Records are changed behind the engine's back to see the checker notice.
ElementRecord& Tamper(const XmlDoc& doc, int n) { return const_cast<ElementRecord&>(*doc.GetRecord(n)); }

TEST(XmlIndexCheckTest, AcceptsParsedDocumentsAndListsThemInOrder) {
  XmlDoc doc;
  doc.SetDocumentText("<r a='1'><x><y/></x>text<z>t</z><w></r>");
  EXPECT_EQ(doc.CheckIndex(), "");
  std::vector<std::string> names;
  for (int n : IndexedElements(doc)) names.push_back(doc.GetElementName(n));
  EXPECT_EQ(names, (std::vector<std::string>{"r", "x", "y", "z", "w"}));
}

TEST(XmlIndexCheckTest, NamesEachKindOfFault) {
  const std::pair<const char*, std::function<void(const XmlDoc&)>> faults[] = {
      {"parent is", [](const XmlDoc& d) { Tamper(d, 2).parent = 0; }},
      {"level", [](const XmlDoc& d) { Tamper(d, 3).flagsAndLevel += 1; }},
      {"FirstSibling", [](const XmlDoc& d) { Tamper(d, 2).flagsAndLevel &= ~uint32_t(FirstSibling); }},
      {"last-child link", [](const XmlDoc& d) { Tamper(d, 2).previousSibling = 2; }},
      {"previous sibling", [](const XmlDoc& d) { Tamper(d, 4).previousSibling = 4; }},
      {"outside", [](const XmlDoc& d) { Tamper(d, 4).start -= 3; }},
      {"end tag", [](const XmlDoc& d) { Tamper(d, 1).length -= 1; }},
      {"document record", [](const XmlDoc& d) { Tamper(d, 0).length += 1; }},
      {"linked twice", [](const XmlDoc& d) { Tamper(d, 4).firstChild = 1; }},
      {"neither linked nor marked Removed", [](const XmlDoc& d) { Tamper(d, 1).firstChild = 0; }},
  };
  for (const auto& [expected, tamper] : faults) {
    XmlDoc doc;
    doc.SetDocumentText("<r><x><y/></x><z>t</z></r>");
    ASSERT_EQ(doc.CheckIndex(), "");
    tamper(doc);
    EXPECT_NE(doc.CheckIndex().find(expected), std::string::npos) << expected << ": " << doc.CheckIndex();
  }
}

}  // namespace
}  // namespace vrel
