// What the benchmarks build from the feed corpus: its well-formed RSS and
// Atom feeds as served bodies, feeds of any number of items shaped like the
// real ones, and data files made of them.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace vrel::bench {

std::string ReadWhole(const std::string& path);
inline double MillisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}
long PeakResidentKilobytes();

// The well-formed RSS and Atom feeds of the corpus that have items, by the
// manifest, as they are.
std::vector<std::string> CorpusFeeds();

// A corpus feed cut into the text around its items and the items themselves.
struct FeedShape {
  std::string prefix, suffix;
  std::vector<std::string> items;
};
std::vector<FeedShape> CorpusShapes();

// The shape's items repeated to count, each title made unique by number.
std::string FeedText(const FeedShape& shape, int count, int serial);
// The same feed with one item more, never seen before, at the top.
std::string FeedTextWithNewItem(const FeedShape& shape, int count, int serial);

// Writes a data file of feeds x items: every feed's clean copy as a merge
// stores it, half of the feeds read, half with all their items new; feed i
// has the address "http://bench.example/feed/i".
void BuildDatabase(const std::vector<FeedShape>& shapes, int feeds, int items, const std::string& path);

}  // namespace vrel::bench
