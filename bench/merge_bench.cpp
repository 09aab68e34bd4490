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

#include "bench_corpus.h"
#include "feeds/feed_commands.h"
#include "feeds/feed_merge.h"
#include "feeds/feed_reader.h"
#include "feeds/news_engine.h"
#include "feeds/settings_store.h"
#include "feeds/time_stamp.h"
#include "xml/xml_doc.h"

namespace {

using namespace vrel;
using bench::BuildDatabase;
using bench::CorpusShapes;
using bench::FeedShape;
using bench::FeedText;
using bench::FeedTextWithNewItem;
using bench::PeakResidentKilobytes;
using Clock = std::chrono::steady_clock;
using bench::MillisecondsSince;

constexpr int kFeeds = 1000;
constexpr int kItemsPerFeed = 100;
constexpr int kBigFeedItems = 20000;


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
    BuildDatabase(shapes, kFeeds, kItemsPerFeed, path);
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
