// Feed database at scale: a database of 1,000 feeds with 100 items each, made
// from the real feeds of the corpus, loaded with renumbering, counted as the
// feed list counts it, merged into and saved, and loaded again after its
// first feed was deleted (every identifier renumbered); then one merge of a
// feed of 20,000 items over 20,000 stored ones; then merges of feeds whose
// item has 5,000 to 200,000 attributes. Prints times and peak memory.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "feeds/feed_commands.h"
#include "feeds/feed_merge.h"
#include "feeds/feed_reader.h"
#include "feeds/news_engine.h"
#include "feeds/settings_store.h"
#include "feeds/time_stamp.h"
#include "xml/xml_doc.h"

namespace {

using namespace vrel;
using Clock = std::chrono::steady_clock;

constexpr int kFeeds = 1000;
constexpr int kItemsPerFeed = 100;
constexpr int kBigFeedItems = 20000;

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

long PeakResidentKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// A corpus feed cut into the text around its items and the items themselves.
struct FeedShape {
  std::string prefix, suffix;
  std::vector<std::string> items;
};

bool ShapeOf(const std::string& text, FeedShape& shape) {
  XmlDoc doc;
  if (!ParseDownload(text, doc)) return false;
  FeedReader reader = FeedReader::ForDownload(doc, "http://bench.example/");
  if (reader.FormatBits() == FormatGeneric) return false;
  int first = 0, last = 0;
  while (reader.NextItem()) {
    last = reader.ItemPosition();
    if (!first) first = last;
    const XmlDoc::ElementFacts item = doc.GetElementFacts(last);
    shape.items.push_back(text.substr(item.start, item.length));
  }
  if (!first) return false;
  const XmlDoc::ElementFacts head = doc.GetElementFacts(first);
  const XmlDoc::ElementFacts tail = doc.GetElementFacts(last);
  shape.prefix = text.substr(0, head.start);
  shape.suffix = text.substr(tail.start + tail.length);
  return true;
}

// The shape's items repeated to count, each title made unique by number.
std::string FeedText(const FeedShape& shape, int count, int serial) {
  std::string text = shape.prefix;
  for (int i = 0; i < count; ++i) {
    std::string item = shape.items[i % shape.items.size()];
    const size_t title = item.find("<title");
    const size_t open = title == std::string::npos ? title : item.find('>', title);
    if (open != std::string::npos && item[open - 1] != '/')
      item.insert(open + 1, std::to_string(serial) + "." + std::to_string(i) + " ");
    text += item;
    text += '\n';
  }
  return text + shape.suffix;
}

// The same feed with one item more, never seen before, at the top.
std::string FeedTextWithNewItem(const FeedShape& shape, int count, int serial) {
  std::string text = FeedText(shape, count, serial);
  text.insert(shape.prefix.size(), FeedText(FeedShape{"", "", {shape.items[0]}}, 1, -1));
  return text;
}

std::vector<FeedShape> CorpusShapes() {
  std::vector<FeedShape> shapes;
  std::istringstream manifest(ReadWhole(std::string(VREL_CORPUS_DIR) + "/MANIFEST.tsv"));
  std::string line;
  std::getline(manifest, line);
  while (std::getline(manifest, line)) {
    std::vector<std::string> columns;
    std::istringstream fields(line);
    for (std::string column; std::getline(fields, column, '\t');) columns.push_back(column);
    if (columns.size() < 18 || columns[17] != "yes") continue;
    FeedShape shape;
    if (ShapeOf(ReadWhole(std::string(VREL_CORPUS_DIR) + "/" + columns[0]), shape)) shapes.push_back(std::move(shape));
  }
  return shapes;
}

// Writes the database file: every feed's clean copy as a merge stores it,
// half of the feeds read, half with all their items new.
void BuildDatabase(const std::vector<FeedShape>& shapes, const std::string& path) {
  const std::string stamp = FormatTimeStamp(std::time(nullptr) - 3600);
  std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<FEEDSTATUS>\r\n";
  for (int i = 0; i < kFeeds; ++i) {
    XmlDoc download;
    if (!ParseDownload(FeedText(shapes[i % shapes.size()], kItemsPerFeed, i), download)) continue;
    const std::string uri = "http://bench.example/feed/" + std::to_string(i);
    text += "<FEED uri=\"" + uri + "\" title=\"Feed " + std::to_string(i) + "\" feedid=\"" + std::to_string(i + 1) +
            "\" arrivetime=\"" + stamp + "\"" + (i % 2 ? "" : " viewed=\"" + stamp + "\"") + ">\r\n";
    text += MergeItemHistory(download, uri, nullptr, stamp).text;
    text += "</FEED>\r\n";
  }
  text += "</FEEDSTATUS>\r\n";
  std::ofstream(path, std::ios::binary) << text;
}

struct PassTotals {
  long items = 0, newItems = 0;
};

// The feed list's pass: every feed's items and new items.
PassTotals CountEveryFeed(NewsEngine& engine) {
  std::lock_guard lock(engine.Lock());
  XmlDoc& db = engine.Database().Document();
  PassTotals totals;
  const int root = engine.Database().EnterRoot();
  while (db.FindChildElement("FEED")) {
    db.SetPositions(root, db.GetChildPosition(), 0);
    const ItemCounts counts = CountItems(db);
    totals.items += counts.items;
    totals.newItems += counts.newItems;
    db.SetPositions(0, root, db.GetCurrentPosition());
  }
  return totals;
}

void MeasureDatabase(const std::vector<FeedShape>& shapes, const std::string& path) {
  const double fileMegabytes = std::filesystem::file_size(path) / 1048576.0;
  MemorySettingsStore settings;
  NewsEngine engine(settings);

  auto start = Clock::now();
  engine.OpenDataFile(path);
  const double load = MillisecondsSince(start);

  start = Clock::now();
  const PassTotals totals = CountEveryFeed(engine);
  const double pass = MillisecondsSince(start);

  const int target = kFeeds / 2 + 1;
  const std::string uri = "http://bench.example/feed/" + std::to_string(target);
  const FeedShape& shape = shapes[target % shapes.size()];
  const std::string download = FeedTextWithNewItem(shape, kItemsPerFeed, target);
  const double peakBeforeMerge = PeakResidentKilobytes() / 1024.0;
  start = Clock::now();
  const Outcome merged = engine.MergeDownload(uri, download);
  const double merge = MillisecondsSince(start);
  // The first edit after a load lets the document's text grow; later merges show the steady cost.
  start = Clock::now();
  const Outcome mergedAgain = engine.MergeDownload(uri, FeedTextWithNewItem(shape, kItemsPerFeed, target + 1));
  const double nextMerge = MillisecondsSince(start);
  const double peakBeforeSave = PeakResidentKilobytes() / 1024.0;

  start = Clock::now();
  const Outcome saved = engine.SaveIfModified();
  const double save = MillisecondsSince(start);

  const double peakMegabytes = PeakResidentKilobytes() / 1024.0;

  // With the first feed deleted, every FEED's stored identifier is one off.
  DeleteFeed(engine, 1);
  const Outcome savedShifted = engine.Save();
  NewsEngine shifted(settings);
  start = Clock::now();
  shifted.OpenDataFile(path);
  const double renumber = MillisecondsSince(start);

  std::printf("database: %d feeds x %d items from %zu corpus feeds, %.1f MB\n", kFeeds, kItemsPerFeed, shapes.size(),
              fileMegabytes);
  std::printf("  load + renumber      %8.1f ms   (goal < 500)\n", load);
  std::printf("  counting pass        %8.1f ms   (goal < 50)  %ld items, %ld new\n", pass, totals.items,
              totals.newItems);
  std::printf("  one merge            %8.1f ms   (goal < 20)  %s\n", merge, merged ? "merged" : merged.Message().c_str());
  std::printf("  the next merge       %8.1f ms   %s\n", nextMerge, mergedAgain ? "merged" : mergedAgain.Message().c_str());
  std::printf("  save if modified     %8.1f ms   %s\n", save, saved ? "saved" : saved.Message().c_str());
  std::printf("  load, every id wrong %8.1f ms   (the first feed deleted)  %s\n", renumber,
              savedShifted ? "saved" : savedShifted.Message().c_str());
  std::printf("  peak memory          %8.1f MB   = %.2f x the file (goal < 3)\n", peakMegabytes,
              peakMegabytes / fileMegabytes);
  std::printf("    %.2f x after loading and counting, %.2f x after the merges\n", peakBeforeMerge / fileMegabytes,
              peakBeforeSave / fileMegabytes);
}

void MeasureBigMerge(const std::vector<FeedShape>& shapes) {
  MemorySettingsStore settings;
  NewsEngine engine(settings);
  const std::string uri = "http://bench.example/big";
  const FeedShape& shape = shapes.front();
  const std::string first = FeedText(shape, kBigFeedItems, 1);
  const std::string second = FeedTextWithNewItem(shape, kBigFeedItems, 1);

  auto start = Clock::now();
  const Outcome mergedFirst = engine.MergeDownload(uri, first);
  const double firstMerge = MillisecondsSince(start);
  start = Clock::now();
  const Outcome merged = mergedFirst ? engine.MergeDownload(uri, second) : mergedFirst;
  const double secondMerge = MillisecondsSince(start);
  ItemCounts counts;
  {
    std::lock_guard lock(engine.Lock());
    engine.Database().FindFeedByUri(uri);
    counts = CountItems(engine.Database().Document());
  }
  std::printf("big feed: %d items, %.1f MB download\n", kBigFeedItems, second.size() / 1048576.0);
  std::printf("  first merge          %8.1f ms\n", firstMerge);
  std::printf("  merge over %d stored %8.1f ms   (goal well under 1000)  %s, %d items, %d new\n", kBigFeedItems,
              secondMerge, merged ? "merged" : merged.Message().c_str(), counts.items, counts.newItems);
}

// A feed whose one item carries count attributes: the clean copy must take
// each in one pass, however many there are.
void MeasureManyAttributes() {
  std::printf("attributes on one item (goal: 200000 in < 1000 ms)\n");
  for (const int count : {5000, 10000, 20000, 40000, 200000}) {
    std::string feed = "<rss version=\"2.0\"><channel><title>Wide</title><item";
    for (int i = 0; i < count; ++i) feed += " a" + std::to_string(i) + "=\"v\"";
    feed += "><title>One</title><link>http://bench.example/one</link></item></channel></rss>";
    MemorySettingsStore settings;
    NewsEngine engine(settings);
    const auto start = Clock::now();
    const Outcome merged = engine.MergeDownload("http://bench.example/wide", feed);
    std::printf("  %6d attributes, %.1f MB %8.1f ms   %s\n", count, feed.size() / 1048576.0, MillisecondsSince(start),
                merged ? "merged" : merged.Message().c_str());
  }
}

}  // namespace

int main() {
  const std::vector<FeedShape> shapes = CorpusShapes();
  if (shapes.empty()) {
    std::fprintf(stderr, "merge_bench: no feeds in %s\n", VREL_CORPUS_DIR);
    return 1;
  }
  const std::string path =
      (std::filesystem::temp_directory_path() / ("vrel-merge-bench-" + std::to_string(getpid()) + ".xml")).string();
  // The database is written by a child process, so that the peak memory
  // measured here is that of loading and using it.
  const pid_t child = fork();
  if (child == 0) {
    BuildDatabase(shapes, path);
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  if (child < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "merge_bench: building the database failed\n");
    return 1;
  }
  MeasureDatabase(shapes, path);
  std::filesystem::remove(path);
  MeasureBigMerge(shapes);
  MeasureManyAttributes();
  return 0;
}
