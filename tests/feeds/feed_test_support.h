// Helpers shared by the feed engine tests: corpus files, temporary folders,
// a settable clock and a recording observer.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "feeds/news_engine.h"
#include "support/temp_dir.h"
#include "feeds/settings_store.h"
#include "feeds/time_stamp.h"
#include "xml/xml_doc.h"

namespace vrel::test {

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& text);
std::string Corpus(const std::string& name);  // a feed of the shared corpus, read in place


struct RecordingObserver : NewsObserver {
  void FeedListChanged() override { ++feedListChanges; }
  bool ScreenSaverShowing() override { return saverShowing; }
  void NotifyFeed(const XmlDoc& request) override { notifications.push_back(request.GetDocumentText()); }
  void DataFileReplaced() override { ++replacements; }

  int feedListChanges = 0;
  int replacements = 0;
  bool saverShowing = false;
  std::vector<std::string> notifications;
};

// An engine over a memory settings store with a clock the test moves.
struct EngineFixture {
  EngineFixture();
  std::string Advance(int seconds);  // moves the clock on; returns the new stamp
  std::string Stamp() const { return FormatTimeStamp(now); }

  std::time_t now;
  MemorySettingsStore settings;
  RecordingObserver observer;
  NewsEngine engine;
  TempDir dir;
};

// The stored copy's items of the feed at address: one entry per item with
// its title, link, firsttime, seq and visited, in document order.
struct StoredItem {
  std::string title, link, firstTime, seq;
  int visited = 0;
  bool operator==(const StoredItem&) const = default;
};
std::vector<StoredItem> StoredItems(NewsEngine& engine, const std::string& address);
std::string FeedAttribute(NewsEngine& engine, const std::string& address, const char* name);

}  // namespace vrel::test
