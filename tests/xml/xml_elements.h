// The element numbers of a document in document order, as the public walk
// gives them; shared by the tests and the fuzz driver.
#pragma once

#include <vector>

#include "xml/xml_doc.h"

namespace vrel {

inline std::vector<int> IndexedElements(const XmlDoc& doc) {
  std::vector<int> elements;
  for (int n = doc.GetFirstChild(0); n; n = doc.GetNextInDocumentOrder(n)) elements.push_back(n);
  return elements;
}

}  // namespace vrel
