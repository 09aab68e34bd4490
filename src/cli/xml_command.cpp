// vrel-cli xml: parse a file with the reader's XML engine and list its index.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "cli/commands.h"
#include "xml/xml_doc.h"

namespace vrel::cli {
namespace {

// The facts that the index keeps as flags, by their flag names.
std::string FlagNames(const XmlDoc::ElementFacts& facts) {
  const std::pair<bool, const char*> kNames[] = {
      {facts.firstSibling, "FirstSibling"}, {facts.unended, "Unended"}, {facts.containsError, "ContainsError"}};
  std::string names;
  for (const auto& [set, name] : kNames) {
    if (!set) continue;
    if (!names.empty()) names += ',';
    names += name;
  }
  return names;
}

int CountElements(const XmlDoc& doc) {
  int count = 0;
  for (int n = doc.GetFirstChild(0); n; n = doc.GetNextInDocumentOrder(n)) ++count;
  return count;
}

// Names and messages are written whole, a control character as \xNN: a
// NUL byte must not cut the line short, an escape must not reach the
// terminal, a tab must not make a column.
void PrintVisible(std::string_view text) {
  std::string shown;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      shown += escaped;
    } else {
      shown += c;
    }
  }
  std::fwrite(shown.data(), 1, shown.size(), stdout);
}

void PrintElements(const XmlDoc& doc) {
  for (int n = doc.GetFirstChild(0); n; n = doc.GetNextInDocumentOrder(n)) {
    const XmlDoc::ElementFacts facts = doc.GetElementFacts(n);
    std::printf("%u\t", facts.level);
    PrintVisible(doc.GetElementName(n));
    std::printf("\t%d\t%d\t%u\t%u\t%s\n", facts.start, facts.length, facts.startTagLength, facts.endTagLength,
                FlagNames(facts).c_str());
  }
}

// LoadFile reports an unreadable file only through its result text; try the
// file first so that exit status 2 is reliable (a folder opens, but cannot be
// read).
bool CheckReadable(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  int error = file ? 0 : errno;
  if (file) {
    std::fgetc(file);
    if (std::ferror(file)) error = errno;
    std::fclose(file);
  }
  if (!error) return true;
  std::fprintf(stderr, "vrel-cli: %s: %s\n", path.c_str(), std::strerror(error));
  return false;
}

}  // namespace

int RunXmlCommand(const Arguments& args, const GlobalOptions&) {
  bool countOnly = false;
  std::string path;
  for (const std::string& arg : args) {
    if (arg == "--count" && !countOnly) {
      countOnly = true;
    } else if (path.empty() && (arg.empty() || arg[0] != '-' || arg == "-")) {
      path = arg;
    } else {
      path.clear();
      break;
    }
  }
  if (path.empty()) {
    std::fputs("usage: vrel-cli xml [--count] FILE\n", stderr);
    return 2;
  }
  if (!CheckReadable(path)) return 2;

  XmlDoc doc;
  const bool wellFormed = doc.LoadFile(path);
  PrintVisible(doc.GetResultText());
  std::printf("\n%s\n", wellFormed ? "well-formed" : "not well-formed");
  if (countOnly)
    std::printf("elements %d\n", CountElements(doc));
  else
    PrintElements(doc);
  return wellFormed ? 0 : 1;
}

}  // namespace vrel::cli
