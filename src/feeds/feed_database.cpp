#include "feeds/feed_database.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <system_error>
#include <utility>
#include <vector>

#include "feeds/feed_merge.h"
#include "feeds/damaged_data_file.h"
#include "xml/xml_encoding.h"

namespace vrel {

namespace {

bool HasContent(const std::string& text) { return text.find_first_not_of(" \t\r\n") != std::string::npos; }

// A missing file is an empty database; anything that would be read as one
// without being one (a folder, a device, a file that cannot be read) would
// be written over at the next save.
Outcome CheckUsable(const std::string& path) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (status.type() == std::filesystem::file_type::not_found) return Outcome::Success();
  if (error) return Outcome::Failure("The data file " + path + " cannot be read: " + error.message());
  if (status.type() == std::filesystem::file_type::directory)
    return Outcome::Failure("The data file " + path + " is a folder, not a file");
  if (status.type() != std::filesystem::file_type::regular)
    return Outcome::Failure("The data file " + path + " is not a regular file");
  if (access(path.c_str(), R_OK) != 0)
    return Outcome::Failure("The data file " + path + " cannot be read: " + std::strerror(errno));
  return Outcome::Success();
}

// A FEED's start tag (alone, or written "/>") with its "feedid" set to id.
std::string StartTagWithId(std::string_view startTag, const std::string& id) {
  XmlDoc tag;
  tag.SetDocumentText(startTag);
  tag.SetPositions(0, 0, 0);
  tag.FindElement(nullptr);
  tag.SetAttribute("feedid", id);
  return tag.GetDocumentText();
}

void ClearModified(XmlDoc& doc) { doc.SetDocumentFlags(doc.GetDocumentFlags() & ~XmlDoc::Modified); }

}  // namespace

void ForEachFeed(XmlDoc& db, const std::function<void()>& visit) {
  db.SetPositions(0, 0, 0);
  if (!db.FindElement(nullptr)) return;
  const int root = db.GetCurrentPosition();
  std::vector<int> feeds;
  db.SetPositions(0, root, 0);
  while (db.FindChildElement("FEED")) feeds.push_back(db.GetChildPosition());
  for (const int feed : feeds) {
    db.SetPositions(root, feed, 0);
    visit();
  }
}

std::string FeedDatabase::ChooseDataPath(const std::string& configured) {
  std::error_code error;
  if (!configured.empty() && access(configured.c_str(), R_OK | W_OK) == 0 &&
      std::filesystem::is_regular_file(configured, error))
    return configured;
  std::string directory = std::filesystem::current_path(error).string();
  if (directory.empty() || directory.back() != '/') directory += '/';
  return directory + kDefaultDataFileName;
}

Outcome FeedDatabase::Load(const std::string& path, const std::string& stamp) {
  path_.clear();
  damagedStamp_.clear();
  doc_ = XmlDoc();
  if (Outcome usable = CheckUsable(path); !usable) return usable;
  path_ = path;
  RemoveStaleTempFiles(path);
  if (!doc_.LoadFile(path) && HasContent(doc_.GetDocumentText())) {
    std::string damage = SalvageDamaged(stamp);
    Renumber();
    return Outcome::Success(std::move(damage));
  }
  Renumber();
  ClearModified(doc_);
  return Outcome::Success();
}

// A well-formed document of the feeds that can still be read, so that the
// next save does not carry the damage on; the file waits to be kept aside
// until it is written over, so that reading it leaves no copies.
std::string FeedDatabase::SalvageDamaged(const std::string& stamp) {
  std::string message = "The data file " + path_ + " is damaged (" + doc_.GetResultText() + "); the feeds that "
                        "could be read are used, ";
  if (const std::string kept = FindKeptCopy(path_); !kept.empty()) {
    message += "and the file is kept as " + kept;
  } else {
    message += "and the file is kept as " + path_ + ".damaged-" + stamp + " before it is written again";
    damagedStamp_ = stamp;
  }
  const uint32_t flags = doc_.GetDocumentFlags();
  doc_ = SalvageFeeds(doc_);
  doc_.SetDocumentFlags(flags | XmlDoc::Modified);
  return message;
}

void FeedDatabase::Replace(XmlDoc&& doc, const std::string& path) {
  doc_ = std::move(doc);
  path_ = path;
  damagedStamp_.clear();
  Renumber();
  ClearModified(doc_);
}

// Feed identifiers hold for one run only; the file's values are replaced.
// The start tags that change are put into a new text in one pass: an edit
// for each FEED would move every element behind it each time, and after the
// first feed was deleted every FEED changes.
void FeedDatabase::Renumber() {
  nextFeedId_ = 1;
  const std::string& text = doc_.GetDocumentText();
  std::string renumbered;
  size_t copied = 0;
  ForEachFeed(doc_, [&] {
    const int feed = doc_.GetCurrentPosition();
    const std::string id = std::to_string(nextFeedId_++);
    if (doc_.GetAttribute(feed, "feedid") == id) return;
    const XmlDoc::ElementFacts facts = doc_.GetElementFacts(feed);
    renumbered.append(text, copied, size_t(facts.start) - copied);
    renumbered += StartTagWithId(std::string_view(text).substr(size_t(facts.start), facts.startTagLength), id);
    copied = size_t(facts.start) + facts.startTagLength;
  });
  if (copied == 0) return;
  renumbered.append(text, copied);
  const uint32_t flags = doc_.GetDocumentFlags();
  doc_.SetDocumentText(renumbered);
  doc_.SetDocumentFlags(flags | XmlDoc::Modified);
}

// Before a file is written over: a damaged data file is kept aside first,
// and the success says where.
Outcome FeedDatabase::PrepareToWrite(const std::string& path) {
  if (path.empty()) return Outcome::Failure("no data file has been chosen");
  if (!damagedStamp_.empty() && path == path_) {
    const Outcome kept = KeepDamagedCopy(path_, damagedStamp_);
    if (!kept) return kept;
    damagedStamp_.clear();
    return kept;
  }
  return Outcome::Success();
}

Outcome FeedDatabase::SaveTo(const std::string& path) {
  const Outcome prepared = PrepareToWrite(path);
  if (!prepared) return prepared;
  if (!doc_.SaveFile(path)) return Outcome::Failure("cannot save " + path + ": " + doc_.GetResultText());
  ClearModified(doc_);
  return prepared;
}

Outcome FeedDatabase::TakeSnapshot(DataFileSnapshot& snapshot) {
  const Outcome prepared = PrepareToWrite(path_);
  if (!prepared) return prepared;
  snapshot = {path_, doc_.GetDocumentText(), doc_.GetDocumentFlags()};
  ClearModified(doc_);
  return prepared;
}

void FeedDatabase::MarkUnsaved() { doc_.SetDocumentFlags(doc_.GetDocumentFlags() | XmlDoc::Modified); }

Outcome FeedDatabase::WriteSnapshot(const DataFileSnapshot& snapshot) {
  std::string result;
  uint32_t flags = snapshot.flags;
  if (!WriteDocumentFile(snapshot.path, snapshot.text, result, flags))
    return Outcome::Failure("cannot save " + snapshot.path + ": " + result);
  return Outcome::Success();
}

Outcome FeedDatabase::MoveTo(const std::string& path) {
  Outcome saved = SaveTo(path);
  if (!saved) return saved;
  path_ = path;
  damagedStamp_.clear();
  return saved;
}

bool FeedDatabase::FindFeed(const char* attribute, std::string_view value) {
  doc_.SetPositions(0, 0, 0);
  if (!doc_.FindElement(nullptr)) return false;
  const int root = doc_.GetCurrentPosition();
  while (doc_.FindChildElement("FEED")) {
    if (doc_.GetChildAttribute(attribute) == value) {
      doc_.SetPositions(root, doc_.GetChildPosition(), 0);
      return true;
    }
  }
  return false;
}

int FeedDatabase::EnterRoot() {
  doc_.SetPositions(0, 0, 0);
  if (!doc_.FindElement(nullptr)) doc_.AddElement("FEEDSTATUS");
  const int root = doc_.GetCurrentPosition();
  doc_.SetPositions(0, root, 0);
  return root;
}

int FeedDatabase::AddFeed(std::string_view uri, std::string_view title, std::string_view type) {
  const int root = EnterRoot();
  doc_.AddElement("FEED", {}, XmlDoc::AsChild);
  doc_.SetPositions(root, doc_.GetChildPosition(), 0);
  doc_.SetAttribute("uri", uri);
  if (!type.empty()) doc_.SetAttribute("type", type);
  doc_.SetAttribute("title", title);
  doc_.SetAttributeInt(doc_.GetCurrentPosition(), "feedid", nextFeedId_);
  return nextFeedId_++;
}

}  // namespace vrel
