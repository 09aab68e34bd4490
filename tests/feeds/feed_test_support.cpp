#include "feed_test_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "feeds/feed_reader.h"
#include "feeds/time_stamp.h"

namespace vrel::test {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::string Corpus(const std::string& name) {
  const std::string text = ReadFile(std::string(VREL_CORPUS_DIR) + "/" + name);
  if (text.empty()) ADD_FAILURE_AT(__FILE__, __LINE__);
  return text;
}

EngineFixture::EngineFixture()
    : now(ToTime({2024, 3, 1, 9, 0, 0})), engine(settings, [this] { return now; }) {
  engine.SetObserver(&observer);
}

std::string EngineFixture::Advance(int seconds) {
  now += seconds;
  return Stamp();
}

std::vector<StoredItem> StoredItems(NewsEngine& engine, const std::string& address) {
  std::lock_guard lock(engine.Lock());
  std::vector<StoredItem> items;
  if (!engine.Database().FindFeedByUri(address)) return items;
  FeedReader reader = FeedReader::ForStoredFeed(engine.Database().Document());
  while (reader.NextItem()) {
    reader.ReadItem(FieldTitle | FieldLink | FieldFirstTime | FieldSeq | FieldVisited);
    items.push_back({reader.Title(), reader.Link(), reader.FirstTime(), reader.Seq(), reader.Visited()});
  }
  return items;
}

std::string FeedAttribute(NewsEngine& engine, const std::string& address, const char* name) {
  std::lock_guard lock(engine.Lock());
  if (!engine.Database().FindFeedByUri(address)) return "(no feed)";
  return engine.Database().Document().GetAttribute(name);
}

}  // namespace vrel::test
