// The feed a screen shows, read from a "DIGEST" document as plain lines.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "xml/xml_doc.h"

namespace vrel::saver {

struct DigestItem {
  // The item's children in order: "title", then "time" and "other" when
  // present, each as plain text.
  std::vector<std::string> lines;

  // The line at index, empty when there is none.
  const std::string& Line(size_t index) const;
};

struct DigestFeed {
  std::string title;
  std::string feedId;
  std::vector<DigestItem> items;
};

// False when the digest has no "FEED" element.
bool ReadDigest(XmlDoc& digest, DigestFeed& feed);

// The document has already decoded its references; what remains of mark-up
// is tags: every "<" up to the next ">" goes, and a "<" without a later ">"
// stays with what follows.
std::string PlainText(std::string_view markup);

}  // namespace vrel::saver
