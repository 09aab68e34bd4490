// Soundness checks of an XmlDoc's element index against its text, shared by
// the tests and the fuzzer.
#pragma once

#include <string>
#include <vector>

#include "xml/xml_doc.h"

namespace vrel {

// "" when the index is sound, else a description of the first fault found:
// spans nested and ordered, links symmetric, levels consistent, tags where
// the spans say, and every record either linked or Removed.
std::string CheckXmlIndex(const XmlDoc& doc);

// The element numbers linked below the document record, in document order.
// Meaningful only for an index that CheckXmlIndex finds sound.
std::vector<int> IndexedElements(const XmlDoc& doc);

}  // namespace vrel
