// What is done with a data file that does not parse: its feeds are salvaged
// into a sound database, and before the file is written over it is kept
// beside itself as NAME.damaged-STAMP, once for each damaged content.
#pragma once

#include <string>

#include "feeds/outcome.h"
#include "xml/xml_doc.h"

namespace vrel {

// A database of every FEED the parser could still find in doc: a whole FEED
// with all it holds, a cut one (the end of a truncated file) with its
// settings and every complete item. Empty when there is no FEED.
XmlDoc SalvageFeeds(XmlDoc& doc);

// An existing copy beside path with the same content as path; empty when
// there is none.
std::string FindKeptCopy(const std::string& path);

// Keeps the damaged file at path as path + ".damaged-" + stamp (with "-2",
// "-3", ... after the stamp when that name is taken: a copy is never written
// over), unless an equal copy exists. The success names the copy.
Outcome KeepDamagedCopy(const std::string& path, const std::string& stamp);

}  // namespace vrel
