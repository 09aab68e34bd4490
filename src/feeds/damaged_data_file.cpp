#include "feeds/damaged_data_file.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string_view>
#include <system_error>
#include <vector>

#include "feeds/feed_database.h"
#include "feeds/feed_merge.h"
#include "feeds/feed_reader.h"

namespace vrel {
namespace {

namespace fs = std::filesystem;

constexpr int kMaxCopiesPerStamp = 9;

bool SameContent(const fs::path& a, const fs::path& b) {
  std::error_code errorA, errorB;
  if (fs::file_size(a, errorA) != fs::file_size(b, errorB) || errorA || errorB) return false;
  std::ifstream left(a, std::ios::binary), right(b, std::ios::binary);
  return left && right &&
         std::equal(std::istreambuf_iterator<char>(left), {}, std::istreambuf_iterator<char>(right), {});
}

constexpr std::string_view kRootStart = "<FEEDSTATUS>\r\n";

// An unended FEED was closed at its start tag, so what it held follows it as
// its siblings: the elements the cut went through, each closed at its start
// tag too and each inside the one before, and between them the complete
// ones. They are put back in place; where each cut element starts is noted
// in cutStarts. Returns where the walk for FEED elements goes on.
int SalvageCutFeed(XmlDoc& doc, int feed, std::string& out, std::set<int32_t>& cutStarts) {
  std::vector<std::string> open{"FEED"};
  out += CleanStartTag(doc, feed);
  int last = feed;
  int n = doc.GetNextSibling(feed);
  for (; n && doc.GetElementName(n) != "FEED"; n = doc.GetNextSibling(n)) {
    last = n;
    if (doc.GetElementFacts(n).unended) {
      cutStarts.insert(int32_t(kRootStart.size() + out.size()));
      out += CleanStartTag(doc, n);
      open.push_back(doc.GetElementName(n));
    } else {
      doc.SetPositions(doc.GetParent(n), n, 0);
      out += CleanCopyText(doc);
    }
  }
  for (auto it = open.rbegin(); it != open.rend(); ++it) out += "</" + *it + ">\r\n";
  return n ? n : doc.GetNextAfterSubtree(last);
}

// Removes the items that were cut: each lacks what came after the cut.
void DropCutItems(XmlDoc& salvaged, const std::set<int32_t>& cutStarts) {
  std::vector<int> cut;
  ForEachFeed(salvaged, [&] {
    const XmlDoc::ElementFacts feed = salvaged.GetElementFacts(salvaged.GetCurrentPosition());
    if (cutStarts.lower_bound(feed.start) == cutStarts.lower_bound(feed.start + feed.length)) return;
    FeedReader items = FeedReader::ForStoredFeed(salvaged);
    while (items.NextItem())
      if (cutStarts.count(salvaged.GetElementFacts(items.ItemPosition()).start)) cut.push_back(items.ItemPosition());
  });
  for (const int item : cut) {
    salvaged.SetPositions(salvaged.GetParent(item), item, 0);
    salvaged.RemoveElement();
  }
}

// NAME.damaged-STAMP, then NAME.damaged-STAMP-2 and on.
std::string CopyName(const std::string& path, const std::string& stamp, int copy) {
  std::string name = path + ".damaged-" + stamp;
  if (copy > 1) {
    name += '-';
    name += std::to_string(copy);
  }
  return name;
}

}  // namespace

// Parse errors flatten what follows them, so FEED elements are looked for
// at every level.
XmlDoc SalvageFeeds(XmlDoc& doc) {
  std::string feeds;
  std::set<int32_t> cutStarts;
  for (int n = doc.GetFirstChild(0); n;) {
    if (doc.GetElementName(n) != "FEED") {
      n = doc.GetNextInDocumentOrder(n);
    } else if (doc.GetElementFacts(n).unended) {
      n = SalvageCutFeed(doc, n, feeds, cutStarts);
    } else {
      doc.SetPositions(doc.GetParent(n), n, 0);
      feeds += CleanCopyText(doc);
      n = doc.GetNextAfterSubtree(n);
    }
  }
  XmlDoc salvaged;
  salvaged.SetDocumentText(feeds.empty() ? feeds : std::string(kRootStart) + feeds + "</FEEDSTATUS>\r\n");
  DropCutItems(salvaged, cutStarts);
  return salvaged;
}

std::string FindKeptCopy(const std::string& path) {
  const fs::path original(path);
  const fs::path folder = original.has_parent_path() ? original.parent_path() : fs::path(".");
  const std::string prefix = original.filename().string() + ".damaged-";
  std::error_code error;
  for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error)) {
    if (entry->path().filename().string().starts_with(prefix) && entry->is_regular_file(error) &&
        SameContent(entry->path(), original))
      return entry->path().string();
  }
  return {};
}

Outcome KeepDamagedCopy(const std::string& path, const std::string& stamp) {
  std::error_code error;
  if (!fs::exists(path, error)) return Outcome::Success();  // nothing left to keep
  if (const std::string kept = FindKeptCopy(path); !kept.empty())
    return Outcome::Success("The damaged data file " + path + " is kept as " + kept);
  for (int copy = 1; copy <= kMaxCopiesPerStamp; ++copy) {
    const std::string kept = CopyName(path, stamp, copy);
    error.clear();
    if (fs::copy_file(path, kept, fs::copy_options::none, error))
      return Outcome::Success("The damaged data file " + path + " is kept as " + kept);
    if (error != std::errc::file_exists) break;
  }
  return Outcome::Failure("The damaged data file " + path + " could not be kept beside it (" + error.message() +
                          "), so it is not written over");
}

}  // namespace vrel
