#include "feeds/feed_folders.h"

#include <algorithm>
#include <map>

#include "feeds/control_chars.h"
#include "feeds/feed_database.h"
#include "net/ascii_text.h"

namespace vrel {
namespace {

// Negative, 0 or positive as a sorts before, with or after b, ignoring letter case.
int CompareIgnoringCase(std::string_view a, std::string_view b) {
  const size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    const char x = LowerAscii(a[i]), y = LowerAscii(b[i]);
    if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y) ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// Folder names as FolderBefore orders them, for a map.
struct FolderOrder {
  bool operator()(const std::string& a, const std::string& b) const { return FolderBefore(a, b); }
};

}  // namespace

std::vector<std::string> FolderParts(std::string_view folder) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= folder.size()) {
    const size_t slash = std::min(folder.find('/', start), folder.size());
    const std::string_view part = TrimAscii(folder.substr(start, slash - start));
    if (!part.empty()) parts.emplace_back(part);
    start = slash + 1;
  }
  return parts;
}

std::string NormalFolderName(std::string_view name) {
  std::string text = DropControls(name);
  std::replace_if(text.begin(), text.end(), [](char c) { return c == '\t' || c == '\r' || c == '\n'; }, ' ');
  std::string normal;
  for (const std::string& part : FolderParts(text)) {
    if (!normal.empty()) normal += '/';
    normal += part;
  }
  return normal;
}

std::string NestedFolderName(std::string_view outer, std::string_view inner) {
  return NormalFolderName(std::string(outer) + "/" + std::string(inner));
}

bool FolderBefore(std::string_view a, std::string_view b) {
  const std::vector<std::string> left = FolderParts(a), right = FolderParts(b);
  const size_t common = std::min(left.size(), right.size());
  for (size_t i = 0; i < common; ++i) {
    if (const int order = CompareIgnoringCase(left[i], right[i]); order != 0) return order < 0;
  }
  if (left.size() != right.size()) return left.size() < right.size();
  return a < b;
}

std::vector<FolderGroup> GroupFeedsByFolder(XmlDoc& db) {
  FolderGroup unfiled;
  std::map<std::string, std::vector<int>, FolderOrder> folders;
  ForEachFeed(db, [&] {
    const int feed = db.GetCurrentPosition();
    const std::string folder = db.GetAttribute(feed, kFolderAttribute);
    (folder.empty() ? unfiled.feeds : folders[folder]).push_back(feed);
  });
  std::vector<FolderGroup> groups;
  if (!unfiled.feeds.empty()) groups.push_back(std::move(unfiled));
  for (auto& [folder, feeds] : folders) groups.push_back({folder, std::move(feeds)});
  return groups;
}

void EnterFeed(XmlDoc& db, int feed) { db.SetPositions(db.GetParent(feed), feed, 0); }

bool SetFeedFolder(XmlDoc& db, int feed, std::string_view folder) {
  const std::string normal = NormalFolderName(folder);
  if (normal == db.GetAttribute(feed, kFolderAttribute)) return false;
  if (normal.empty()) return db.RemoveAttribute(feed, kFolderAttribute);
  return db.SetAttribute(feed, kFolderAttribute, normal);
}

}  // namespace vrel
