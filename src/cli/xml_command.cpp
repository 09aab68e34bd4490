// vrel-cli xml: parse a file with the reader's XML engine and list its index.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/commands.h"
#include "xml/xml_doc.h"

namespace vrel::cli {
namespace {

std::string RecordFlagNames(const ElementRecord& record) {
  static const struct {
    RecordFlag flag;
    const char* name;
  } kNames[] = {{FirstSibling, "FirstSibling"}, {Unended, "Unended"}, {ContainsError, "ContainsError"}};
  std::string names;
  for (const auto& entry : kNames) {
    if (!record.Has(entry.flag)) continue;
    if (!names.empty()) names += ',';
    names += entry.name;
  }
  return names;
}

// The next record in document order: first child, else next sibling, else
// the next sibling of the nearest ancestor that has one. Iterative, so a
// deeply nested document cannot exhaust the stack.
int NextInDocumentOrder(const XmlDoc& doc, int n) {
  const ElementRecord* record = doc.GetRecord(n);
  if (record->firstChild) return record->firstChild;
  while (n) {
    record = doc.GetRecord(n);
    if (record->nextSibling) return record->nextSibling;
    n = record->parent;
  }
  return 0;
}

int CountElements(const XmlDoc& doc) {
  int count = 0;
  for (int n = doc.GetRecord(0)->firstChild; n; n = NextInDocumentOrder(doc, n)) ++count;
  return count;
}

void PrintElements(const XmlDoc& doc) {
  for (int n = doc.GetRecord(0)->firstChild; n; n = NextInDocumentOrder(doc, n)) {
    const ElementRecord& record = *doc.GetRecord(n);
    std::printf("%u\t%s\t%d\t%d\t%u\t%u\t%s\n", record.Level(), doc.GetElementName(n).c_str(), record.start,
                record.length, record.StartTagLength(), record.EndTagLength(), RecordFlagNames(record).c_str());
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
  std::printf("%s\n%s\n", doc.GetResultText().c_str(), wellFormed ? "well-formed" : "not well-formed");
  if (countOnly)
    std::printf("elements %d\n", CountElements(doc));
  else
    PrintElements(doc);
  return wellFormed ? 0 : 1;
}

}  // namespace vrel::cli
