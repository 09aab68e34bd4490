// OPML subscription lists: importing the feeds of an OPML 1.0 or 2.0 file
// into the database and exporting the database as OPML 2.0. Both take the
// database lock themselves.
#pragma once

#include <string>

#include "feeds/outcome.h"

namespace vrel {

class NewsEngine;

// Adds every outline with an "xmlUrl" (nested ones too) that the database
// does not have yet, in the folder of the outlines around it ("Outer/Inner"
// for nested ones; see feed_folders.h); the success says how many were
// added, how many the database had and how many were refused: only http,
// https and local addresses are taken. A file that cannot be read or
// parsed adds nothing.
Outcome ImportOpmlFile(NewsEngine& engine, const std::string& path);

// Writes every XML feed of the database to path as OPML 2.0, atomically,
// the feeds without a folder first, then each folder as nested outlines;
// the success says how many. Web page feeds are left out: other readers
// could not read their pages.
Outcome ExportOpmlFile(NewsEngine& engine, const std::string& path);

// The OPML 2.0 document that ExportOpmlFile writes; exported counts its
// feeds and leftOut the web page feeds it leaves out.
std::string ExportOpmlText(NewsEngine& engine, int& exported, int& leftOut);

}  // namespace vrel
