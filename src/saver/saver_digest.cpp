#include "saver/saver_digest.h"

namespace vrel::saver {

const std::string& DigestItem::Line(size_t index) const {
  static const std::string kNone;
  return index < lines.size() ? lines[index] : kNone;
}

std::string PlainText(std::string_view markup) {
  std::string text;
  size_t i = 0;
  while (i < markup.size()) {
    const size_t open = markup.find('<', i);
    const size_t close = open == std::string_view::npos ? open : markup.find('>', open);
    if (close == std::string_view::npos) {
      text += markup.substr(i);
      break;
    }
    text += markup.substr(i, open - i);
    i = close + 1;
  }
  return text;
}

bool ReadDigest(XmlDoc& digest, DigestFeed& feed) {
  feed = DigestFeed();
  digest.SetPositions(0, 0, 0);
  if (!digest.FindElement("DIGEST") || !digest.FindChildElement("FEED")) return false;
  feed.title = PlainText(digest.GetChildAttribute("title"));
  feed.feedId = digest.GetChildAttribute("feedid");
  const int root = digest.GetCurrentPosition();
  const int feedElement = digest.GetChildPosition();
  std::vector<int> items;
  digest.SetPositions(root, feedElement, 0);
  while (digest.FindChildElement("item")) items.push_back(digest.GetChildPosition());
  for (const int item : items) {
    DigestItem& entry = feed.items.emplace_back();
    digest.SetPositions(feedElement, item, 0);
    while (digest.FindChildElement(nullptr)) entry.lines.push_back(PlainText(digest.GetChildContent()));
  }
  return true;
}

}  // namespace vrel::saver
