#include "feeds/status_texts.h"

#include "feeds/markup_text.h"
#include "feeds/time_stamp.h"
#include "xml/xml_encoding.h"

namespace vrel {

namespace {

constexpr size_t kPageExcerptCharacters = 150;

std::string_view TrimEnd(std::string_view text) {
  const size_t end = text.find_last_not_of("\r\n \t");
  return end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
}

}  // namespace

std::string AddressLink(std::string_view address) {
  const std::string escaped = MarkupAttribute(address);
  return "<A href=\"" + escaped + "\">" + escaped + "</A>";
}

std::string ProblemLine(std::string_view problem, std::string_view address) {
  return "<A type=\"Errors\">" + MarkupText(problem) + "</A> " + MarkupAttribute(address);
}

std::string DownloadingLine(std::string_view titleOrAddress) { return "downloading " + MarkupAttribute(titleOrAddress); }

std::string ProgressLine(size_t running, size_t toGo) {
  std::string line = "downloading " + std::to_string(running) + (running == 1 ? " feed" : " feeds");
  if (toGo > 0) line += " (" + std::to_string(toGo) + " to go)";
  return line;
}

std::string AlreadyListedLine(std::string_view title) { return "Already in the list: " + MarkupText(title); }

std::string FoundFeedLine(std::string_view feedAddress) {
  return "found feed " + MarkupAttribute(feedAddress) + ", downloading";
}

std::string PageExcerpt(std::string_view page) {
  std::string excerpt;
  for (const char c : Utf8Prefix(page, kPageExcerptCharacters))
    if (c != '<') excerpt += c;
  return std::string(TrimEnd(excerpt));
}

std::string FoundFeedMessage(std::string_view feedAddress, std::string_view pageAddress, std::time_t now) {
  return "Found feed " + AddressLink(feedAddress) + " on " + AddressLink(pageAddress) + "\r\n" + FormatUserDateTime(now);
}

std::string MovedMessage(std::string_view from, std::string_view to, std::time_t now, MoveKind kind) {
  std::string message = AddressLink(from) + " moved permanently to " + AddressLink(to) + "\r\n" + FormatUserDateTime(now);
  if (kind == MoveKind::KeptOwnAddress) message += "\r\nAnother feed has that address already; this one keeps its own";
  if (kind == MoveKind::MergedIntoListed) message += "\r\nThat feed is in the list already; the download went to it";
  return message;
}

std::string GoneDetail() {
  return "\r\nThe feed is gone for good: no more automatic downloads (Update still tries it)";
}

std::string WaitDetail(std::time_t notBefore) {
  return "\r\nThe server asks to wait: no automatic download before " + FormatUserDateTime(notBefore);
}

std::string FailureMessage(const FailureFacts& facts, int suspectFailures) {
  std::string message = AddressLink(facts.address) + "\r\n" + FormatUserDateTime(facts.when);
  if (!facts.attempts.empty()) message += " (" + MarkupAttribute(facts.attempts) + " auto attempts)";
  if (facts.consecutiveFailures >= suspectFailures) {
    message += "\r\nMay be disconnected from Internet (" + std::to_string(facts.consecutiveFailures) +
               " consecutive download failures since " + FormatUserDateTime(facts.failingSince) + ")";
  }
  message += "\r\n";
  message += TrimEnd(facts.detail);
  return message;
}

}  // namespace vrel
