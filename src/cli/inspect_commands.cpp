// vrel-cli inspect and merge: read a feed document as a download hands it
// over, and merge it into the data file.
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/session.h"
#include "feeds/feed_merge.h"
#include "feeds/feed_reader.h"
#include "markup/markup_terminal.h"
#include "net/download.h"
#include "xml/xml_doc.h"
#include "xml/xml_encoding.h"

namespace vrel::cli {
namespace {

bool ReadInput(const std::string& path, std::string& text) {
  std::string result;
  uint32_t flags = 0;
  if (ReadDocumentFile(path, text, result, flags)) return true;
  std::fprintf(stderr, "vrel-cli: %s: %s\n", path.c_str(), result.c_str());
  return false;
}

// One output field: tabs and line breaks inside it become blanks, and
// nothing a terminal would obey is left.
std::string Field(std::string text) {
  for (char& c : text)
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  return TerminalText(text);
}

void PrintItems(FeedReader& reader) {
  while (reader.NextItem()) {
    reader.ReadItem(FieldAll);
    const std::string fields[] = {reader.Title(),    reader.Link(),     reader.Date(),
                                  reader.Author(),   reader.Category(), reader.Comments(),
                                  MakeExcerpt(reader.Description(), 80)};
    std::string line;
    for (size_t i = 0; i < std::size(fields); ++i) {
      if (i > 0) line += '\t';
      line += Field(fields[i]);
    }
    PrintLine(stdout, line);
  }
}

}  // namespace

int RunInspectCommand(const Arguments& args, const GlobalOptions&) {
  if (args.size() != 1) {
    std::fputs("usage: vrel-cli inspect FILE|ADDRESS\n", stderr);
    return 2;
  }
  Downloader downloader;
  const std::unique_ptr<Download> download = downloader.Start(args[0], DownloadKind::XmlDocument);
  const DownloadResult& result = AwaitDownload(*download);
  if (!result.ok) {
    std::fprintf(stderr, "vrel-cli: %s: %s\n", args[0].c_str(), result.error.c_str());
    return 1;
  }
  XmlDoc doc;
  if (const Outcome parsed = ParseDownload(result.text, doc); !parsed) {
    std::fprintf(stderr, "vrel-cli: %s: %s\n", args[0].c_str(), parsed.Message().c_str());
    return 1;
  }
  // A file goes by its absolute path.
  std::error_code error;
  const bool isUrl = AddressToUrl(args[0]) == args[0];
  const std::string address = isUrl ? args[0] : std::filesystem::absolute(args[0], error).string();
  const std::string title = DownloadedFeedTitle(doc, address);
  FeedReader reader = FeedReader::ForDownload(doc, address);
  std::printf("%s\n%s\n", Field(reader.FormatName()).c_str(), Field(title).c_str());
  PrintItems(reader);
  return 0;
}

int RunMergeCommand(const Arguments& args, const GlobalOptions& options) {
  if (args.size() != 2) {
    std::fputs("usage: vrel-cli [--data PATH] merge ADDRESS FILE\n", stderr);
    return 2;
  }
  std::string text;
  if (!ReadInput(args[1], text)) return 1;
  Session session(options);
  if (const Outcome merged = session.Engine().MergeDownload(args[0], text); !merged) {
    std::fprintf(stderr, "vrel-cli: %s\n", merged.Message().c_str());
    return 1;
  }
  if (!session.Save()) return 1;
  std::puts("merged");
  return 0;
}

}  // namespace vrel::cli
