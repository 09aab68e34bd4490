#include "bench_corpus.h"

#include <sys/resource.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "feeds/feed_merge.h"
#include "feeds/feed_reader.h"
#include "feeds/time_stamp.h"
#include "xml/xml_doc.h"

namespace vrel::bench {

namespace {

std::vector<std::string> Split(const std::string& line, char separator) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  for (std::string field; std::getline(in, field, separator);) fields.push_back(field);
  return fields;
}

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
  // A document that is one entry has no container to repeat its item in.
  if (!first || doc.GetParent(first) == 0) return false;
  const XmlDoc::ElementFacts head = doc.GetElementFacts(first);
  const XmlDoc::ElementFacts tail = doc.GetElementFacts(last);
  shape.prefix = text.substr(0, head.start);
  shape.suffix = text.substr(tail.start + tail.length);
  return true;
}

}  // namespace

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

std::vector<std::string> CorpusFeeds() {
  std::vector<std::string> feeds;
  std::ifstream manifest(std::filesystem::path(VREL_CORPUS_DIR) / "MANIFEST.tsv");
  std::string line;
  std::getline(manifest, line);
  const std::vector<std::string> header = Split(line, '\t');
  const auto column = [&](const char* name) {
    return size_t(std::find(header.begin(), header.end(), name) - header.begin());
  };
  const size_t file = column("file"), format = column("format"), wellFormed = column("xml_wellformed"),
               items = column("item_count");
  while (std::getline(manifest, line)) {
    const std::vector<std::string> fields = Split(line, '\t');
    if (fields.size() <= std::max({file, format, wellFormed, items}) || fields[wellFormed] != "yes" ||
        std::atoi(fields[items].c_str()) == 0)
      continue;
    if (fields[format].starts_with("RSS") || fields[format].starts_with("Atom"))
      feeds.push_back(ReadWhole(std::filesystem::path(VREL_CORPUS_DIR) / fields[file]));
  }
  return feeds;
}

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

void BuildDatabase(const std::vector<FeedShape>& shapes, int feeds, int items, const std::string& path) {
  const std::string stamp = FormatTimeStamp(std::time(nullptr) - 3600);
  std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<FEEDSTATUS>\r\n";
  for (int i = 0; i < feeds; ++i) {
    XmlDoc download;
    if (!ParseDownload(FeedText(shapes[i % shapes.size()], items, i), download)) continue;
    const std::string uri = "http://bench.example/feed/" + std::to_string(i);
    text += "<FEED uri=\"" + uri + "\" title=\"Feed " + std::to_string(i) + "\" feedid=\"" + std::to_string(i + 1) +
            "\" arrivetime=\"" + stamp + "\"" + (i % 2 ? "" : " viewed=\"" + stamp + "\"") + ">\r\n";
    text += MergeItemHistory(download, uri, nullptr, stamp).text;
    text += "</FEED>\r\n";
  }
  text += "</FEEDSTATUS>\r\n";
  std::ofstream(path, std::ios::binary) << text;
}

}  // namespace vrel::bench
