// One interface over XmlDoc and the peer parsers it is measured against, so
// that the harness times and weighs every parser the same way.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vrel::bench {

struct ParseCheck {
  bool ok = false;
  size_t elements = 0;
  std::string error;  // the parser's own message when it rejected the text
  size_t indexBytes = 0;  // what XmlDoc's element index holds; 0 for the peers
};

class BenchParser {
 public:
  virtual ~BenchParser() = default;
  virtual const char* Name() const = 0;
  // How it is called, for the report.
  virtual const char* Call() const = 0;
  // Parses the text into a new document (or parser state) that is kept until
  // Release; false when the parser rejected the text.
  virtual bool Parse(std::string_view text) = 0;
  virtual void Release() = 0;
  // Bytes of what Parse kept that are the parser's own copy of the input text.
  virtual size_t OwnTextCopyBytes(std::string_view text) const = 0;
  // Parses, counts the elements and releases; not timed.
  virtual ParseCheck Check(std::string_view text) = 0;
};

// XmlDoc first, then pugixml, libxml2, expat and tinyxml2.
std::vector<std::unique_ptr<BenchParser>> MakeParsers();

// The versions of the peer libraries, for the report.
std::string PeerVersions();

}  // namespace vrel::bench
