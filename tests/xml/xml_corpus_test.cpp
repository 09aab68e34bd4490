// Every feed of the shared corpus, parsed in place, against what expat found.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "xml/xml_doc.h"
#include "xml_elements.h"

namespace vrel {
namespace {

struct ManifestEntry {
  std::string file;
  bool expatWellFormed = false;
  std::string expatError;
};

std::vector<ManifestEntry> ReadManifest() {
  std::ifstream manifest(std::string(VREL_CORPUS_DIR) + "/MANIFEST.tsv");
  std::vector<std::string> header, fields;
  std::vector<ManifestEntry> entries;
  for (std::string line; std::getline(manifest, line);) {
    fields.clear();
    std::istringstream columns(line);
    for (std::string field; std::getline(columns, field, '\t');) fields.push_back(field);
    if (header.empty()) {
      header = fields;
      continue;
    }
    auto column = [&](const char* name) {
      const size_t i = size_t(std::find(header.begin(), header.end(), name) - header.begin());
      return i < fields.size() ? fields[i] : std::string();
    };
    entries.push_back({column("file"), column("xml_wellformed") == "yes", column("xml_error")});
  }
  return entries;
}

// Errors of structure, which this engine finds too; expat's other complaints
// (entities, encodings, namespaces, declaration placement, byte values) are
// beyond a non-validating 8-bit parser.
bool IsStructural(const std::string& expatError) {
  for (const char* kind : {"mismatched tag", "no element found", "unclosed token", "syntax error", "junk after"})
    if (expatError.starts_with(kind)) return true;
  return false;
}

// The cursor walk visits the elements in the order of the index.
std::vector<int> WalkWithCursor(XmlDoc& doc) {
  std::vector<int> visited;
  doc.SetPositions(0, 0, 0);
  for (int depth = 0;;) {
    if (doc.FindElement()) {
      visited.push_back(doc.GetCurrentPosition());
      doc.EnterElement();
      ++depth;
    } else if (depth-- > 0) {
      doc.LeaveElement();
    } else {
      return visited;
    }
  }
}

TEST(XmlCorpusTest, EveryFeedParsesSoundlyAndAgreesWithExpatOnStructure) {
  const std::vector<ManifestEntry> entries = ReadManifest();
  ASSERT_GE(entries.size(), 150u);
  size_t wellFormed = 0, compared = 0;
  for (const ManifestEntry& entry : entries) {
    XmlDoc doc;
    const bool ours = doc.LoadFile(std::string(VREL_CORPUS_DIR) + "/" + entry.file);
    ASSERT_FALSE(doc.GetResultText().empty() && !ours) << entry.file;
    EXPECT_EQ(doc.CheckIndex(), "") << entry.file;
    EXPECT_EQ(WalkWithCursor(doc), IndexedElements(doc)) << entry.file;
    wellFormed += ours;
    // Text that is not 8-bit (UTF-16 without its little-endian mark, UTF-32)
    // reads as bytes with NULs between them: no elements to compare.
    if (doc.GetDocumentText().find('\0') != std::string::npos) continue;
    if (entry.expatWellFormed) {
      EXPECT_TRUE(ours) << entry.file << ": " << doc.GetResultText();
      ++compared;
    } else if (IsStructural(entry.expatError)) {
      EXPECT_FALSE(ours) << entry.file << " (" << entry.expatError << ")";
      ++compared;
    }
    if (ours) {
      // A well-formed root reads back the same from its own text.
      XmlDoc again;
      EXPECT_TRUE(again.SetDocumentText(doc.GetSubDocument(doc.GetFirstChild(0)))) << entry.file;
      EXPECT_EQ(IndexedElements(again).size(), IndexedElements(doc).size()) << entry.file;
    }
  }
  EXPECT_GE(compared, 120u);
  EXPECT_GE(wellFormed, 120u);
}

}  // namespace
}  // namespace vrel
