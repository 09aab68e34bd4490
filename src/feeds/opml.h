// OPML subscription lists: importing the feeds of an OPML 1.0 or 2.0 file
// into the database and exporting the database as OPML 2.0. Both take the
// database lock themselves.
#pragma once

#include <string>

namespace vrel {

class NewsEngine;

struct OpmlImportResult {
  bool ok = false;
  std::string message;  // what happened, fit for a status line or a terminal
  int added = 0;        // feeds new to the database, not yet downloaded
  int skipped = 0;      // feeds whose address the database already had
};

struct OpmlExportResult {
  bool ok = false;
  std::string message;
};

// Adds every outline with an "xmlUrl" (nested ones too) that the database
// does not have yet. A file that cannot be read or parsed adds nothing.
OpmlImportResult ImportOpmlFile(NewsEngine& engine, const std::string& path);

// Writes every XML feed of the database to path as OPML 2.0, atomically.
// Web page feeds are left out: other readers could not read their pages.
OpmlExportResult ExportOpmlFile(NewsEngine& engine, const std::string& path);

// The OPML 2.0 document that ExportOpmlFile writes; exported counts its
// feeds and leftOut the web page feeds it leaves out.
std::string ExportOpmlText(NewsEngine& engine, int& exported, int& leftOut);

}  // namespace vrel
