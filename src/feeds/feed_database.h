// The feed database: one XmlDoc with root "FEEDSTATUS" and one "FEED" per
// feed, the file it lives in and the next feed identifier. Not locked here:
// its owner holds the database lock around every use.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "feeds/background_saver.h"
#include "feeds/outcome.h"
#include "xml/xml_doc.h"

namespace vrel {

inline constexpr const char* kDefaultDataFileName = "feedstatus.xml";

// Calls visit with each FEED as the database's current element, in order.
// The database is not changed, not even by adding a missing root.
void ForEachFeed(XmlDoc& db, const std::function<void()>& visit);

class FeedDatabase {
 public:
  // The configured path when that names a file that can be read and
  // written, otherwise feedstatus.xml in the current directory.
  static std::string ChooseDataPath(const std::string& configured);

  XmlDoc& Document() { return doc_; }
  const std::string& Path() const { return path_; }
  int NextFeedId() const { return nextFeedId_; }

  // Loads the file at path (a missing or empty file gives an empty database)
  // and numbers the feeds from 1; temporary files of saves that were killed
  // are removed. Of a file that cannot be parsed the feeds that can still be
  // read are kept, and the success says so; the file itself is kept beside
  // it (see KeepDamagedCopy) when it is first saved over, under a name made
  // with stamp. Fails, with no file chosen, when path names a folder or
  // anything else that is no file, or a file that cannot be read.
  Outcome Load(const std::string& path, const std::string& stamp);

  // Makes a loaded document the database, numbered from 1, at path.
  void Replace(XmlDoc&& doc, const std::string& path);

  // Atomic writes of the whole document. A damaged file is kept aside first
  // (the success then says where) and never written over when it could not be.
  Outcome Save() { return SaveTo(path_); }
  Outcome SaveTo(const std::string& path);
  Outcome SaveIfModified() { return doc_.IsModified() ? Save() : Outcome::Success(); }
  // Saves to path, which becomes the database's file.
  Outcome MoveTo(const std::string& path);

  // What Save would write, taken now so that it can be written without the
  // database lock; from now on the database counts as saved. Fails, taking
  // nothing, where Save would refuse.
  Outcome TakeSnapshot(DataFileSnapshot& snapshot);
  // The write of a snapshot failed: the changes it held are unsaved again.
  void MarkUnsaved();
  static Outcome WriteSnapshot(const DataFileSnapshot& snapshot);

  // Make the matching FEED the current element; false when there is none.
  bool FindFeedByUri(std::string_view uri) { return FindFeed("uri", uri); }
  bool FindFeedById(std::string_view id) { return FindFeed("feedid", id); }
  bool FindFeedById(int id) { return FindFeedById(std::to_string(id)); }

  // Appends a FEED (and the root when there is none yet), makes it the
  // current element and returns its feed identifier.
  int AddFeed(std::string_view uri, std::string_view title, std::string_view type = {});

  // Puts the cursor on the root element, adding "FEEDSTATUS" when there is
  // none; returns the root's position.
  int EnterRoot();

 private:
  bool FindFeed(const char* attribute, std::string_view value);
  Outcome PrepareToWrite(const std::string& path);
  void Renumber();
  std::string SalvageDamaged(const std::string& stamp);

  XmlDoc doc_;
  std::string path_;
  std::string damagedStamp_;  // set while path_ holds a damaged file not yet kept aside
  int nextFeedId_ = 1;
};

}  // namespace vrel
