// The documents the XML parse benchmark hands to every parser: generated ones,
// the same bytes for the same seed on every machine, and the shared feed corpus.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vrel::bench {

struct GeneratedDoc {
  std::string text;
  size_t elements = 0;  // elements written, what every parser must find
  int maxDepth = 0;     // deepest element level, root = 1
};

// An RSS 2.0 channel of realistic items, grown until it reaches targetBytes.
GeneratedDoc GenerateRssFeed(size_t targetBytes, uint64_t seed);

// Elements with many attributes each and little text, nested in dives of
// random depth up to maxDepth, grown until it reaches targetBytes.
GeneratedDoc GenerateNestedAttributes(size_t targetBytes, uint64_t seed, int maxDepth);

struct CorpusFile {
  std::string name;  // as listed in the manifest
  std::string text;
  bool wellFormed = false;  // what the manifest says a strict parser found
};

// The files listed in the column "file" of dir/MANIFEST.tsv. Listed files that
// cannot be read are named in unreadable.
std::vector<CorpusFile> LoadCorpus(const std::string& dir, std::vector<std::string>& unreadable);

}  // namespace vrel::bench
