// Feed and user text in the reader's mark-up, so that it shows as written
// and cannot add tags: as text, and as a quoted attribute value (which is
// safe as text too).
#pragma once

#include <string>
#include <string_view>

#include "xml/xml_doc.h"
#include "xml/xml_encoding.h"

namespace vrel {

inline std::string MarkupText(std::string_view text) { return ToMarkupText(text); }
inline std::string MarkupAttribute(std::string_view text) { return ToMarkupText(text, XmlDoc::EscapeQuotes); }

}  // namespace vrel
