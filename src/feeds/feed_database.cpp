#include "feeds/feed_database.h"

#include <unistd.h>

#include <filesystem>
#include <functional>
#include <system_error>
#include <utility>
#include <vector>

#include "feeds/feed_merge.h"
#include "xml/xml_encoding.h"

namespace vrel {

namespace {

bool HasContent(const std::string& text) { return text.find_first_not_of(" \t\r\n") != std::string::npos; }

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
  if (!configured.empty() && access(configured.c_str(), R_OK | W_OK) == 0) return configured;
  std::error_code error;
  std::string directory = std::filesystem::current_path(error).string();
  if (directory.empty() || directory.back() != '/') directory += '/';
  return directory + kDefaultDataFileName;
}

Outcome FeedDatabase::Load(const std::string& path, const std::string& stamp) {
  path_ = path;
  unkeptDamagedPath_.clear();
  doc_ = XmlDoc();
  if (!doc_.LoadFile(path) && HasContent(doc_.GetDocumentText())) {
    std::string damage = KeepDamagedFile(stamp);
    SalvageDamaged();
    Renumber();
    return Outcome::Failure(std::move(damage));
  }
  Renumber();
  ClearModified(doc_);
  return Outcome::Success();
}

std::string FeedDatabase::KeepDamagedFile(const std::string& stamp) {
  const std::string kept = path_ + ".damaged-" + stamp;
  std::error_code error;
  std::filesystem::copy_file(path_, kept, std::filesystem::copy_options::overwrite_existing, error);
  std::string message = "The data file " + path_ + " is damaged (" + doc_.GetResultText() + ")";
  if (!error) return message + "; it is kept as " + kept;
  unkeptDamagedPath_ = path_;
  return message + " and could not be kept as " + kept + " (" + error.message() + "); it will not be written over";
}

// Keeps the feeds that the parser could still find in a damaged database,
// each as far as it was read (a cut FEED keeps its attributes, so its
// schedule and address survive), in a well-formed document, so that the
// next save does not carry the damage on. Parse errors flatten what follows
// them, so FEED elements are looked for at every level.
void FeedDatabase::SalvageDamaged() {
  const uint32_t flags = doc_.GetDocumentFlags();
  std::string feeds;
  for (int n = doc_.GetFirstChild(0); n;) {
    if (doc_.GetElementName(n) != "FEED") {
      n = doc_.GetNextInDocumentOrder(n);
      continue;
    }
    doc_.SetPositions(doc_.GetParent(n), n, 0);
    feeds += CleanCopyText(doc_);
    n = doc_.GetNextAfterSubtree(n);
  }
  doc_.SetDocumentText(feeds.empty() ? feeds : "<FEEDSTATUS>\r\n" + feeds + "</FEEDSTATUS>\r\n");
  doc_.SetDocumentFlags(flags | XmlDoc::Modified);
}

void FeedDatabase::Replace(XmlDoc&& doc, const std::string& path) {
  doc_ = std::move(doc);
  path_ = path;
  unkeptDamagedPath_.clear();
  Renumber();
  ClearModified(doc_);
}

// Feed identifiers hold for one run only; the file's values are replaced.
void FeedDatabase::Renumber() {
  nextFeedId_ = 1;
  doc_.SetPositions(0, 0, 0);
  if (!doc_.FindElement(nullptr)) return;
  while (doc_.FindChildElement("FEED")) {
    const std::string id = std::to_string(nextFeedId_++);
    if (doc_.GetChildAttribute("feedid") != id) doc_.SetChildAttribute("feedid", id);
  }
}

Outcome FeedDatabase::RefusesToSave(const std::string& path) const {
  if (path.empty()) return Outcome::Failure("no data file has been chosen");
  if (path == unkeptDamagedPath_)
    return Outcome::Failure("the damaged data file " + path + " could not be kept, so it is not written over");
  return Outcome::Success();
}

Outcome FeedDatabase::SaveTo(const std::string& path) {
  if (Outcome refused = RefusesToSave(path); !refused) return refused;
  if (!doc_.SaveFile(path)) return Outcome::Failure("cannot save " + path + ": " + doc_.GetResultText());
  ClearModified(doc_);
  return Outcome::Success();
}

Outcome FeedDatabase::TakeSnapshot(DataFileSnapshot& snapshot) {
  if (Outcome refused = RefusesToSave(path_); !refused) return refused;
  snapshot = {path_, doc_.GetDocumentText(), doc_.GetDocumentFlags()};
  ClearModified(doc_);
  return Outcome::Success();
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
  unkeptDamagedPath_.clear();
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
