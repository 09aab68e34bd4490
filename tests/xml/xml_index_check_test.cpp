#include <gtest/gtest.h>

#include <functional>

#include "xml/xml_doc.h"
#include "xml/xml_engine.h"
#include "xml_elements.h"

namespace vrel {
namespace {

TEST(XmlIndexCheckTest, AcceptsParsedDocumentsAndListsThemInOrder) {
  XmlDoc doc;
  doc.SetDocumentText("<r a='1'><x><y/></x>text<z>t</z><w></r>");
  EXPECT_EQ(doc.CheckIndex(), "");
  std::vector<std::string> names;
  for (int n : IndexedElements(doc)) names.push_back(doc.GetElementName(n));
  EXPECT_EQ(names, (std::vector<std::string>{"r", "x", "y", "z", "w"}));
}

// Records are changed behind the engine's back to see its self-check notice,
// which takes the engine itself.
TEST(XmlIndexCheckTest, NamesEachKindOfFault) {
  const std::pair<const char*, std::function<void(XmlEngine&)>> faults[] = {
      {"parent is", [](XmlEngine& e) { e.Record(2).parent = 0; }},
      {"level", [](XmlEngine& e) { e.Record(3).flagsAndLevel += 1; }},
      {"FirstSibling", [](XmlEngine& e) { e.Record(2).flagsAndLevel &= ~uint32_t(XmlEngine::FirstSibling); }},
      {"last-child link", [](XmlEngine& e) { e.Record(2).previousSibling = 2; }},
      {"previous sibling", [](XmlEngine& e) { e.Record(4).previousSibling = 4; }},
      {"outside", [](XmlEngine& e) { e.Record(4).start -= 3; }},
      {"end tag", [](XmlEngine& e) { e.Record(1).length -= 1; }},
      {"document record", [](XmlEngine& e) { e.Record(0).length += 1; }},
      {"linked twice", [](XmlEngine& e) { e.Record(4).firstChild = 1; }},
      {"neither linked nor marked Removed", [](XmlEngine& e) { e.Record(1).firstChild = 0; }},
  };
  for (const auto& [expected, tamper] : faults) {
    XmlEngine engine;
    engine.SetDocumentText("<r><x><y/></x><z>t</z></r>");
    ASSERT_EQ(engine.CheckIndex(), "");
    tamper(engine);
    EXPECT_NE(engine.CheckIndex().find(expected), std::string::npos) << expected << ": " << engine.CheckIndex();
  }
}

}  // namespace
}  // namespace vrel
