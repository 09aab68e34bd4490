// Parse speed and held memory of XmlDoc against pugixml, libxml2, expat and
// tinyxml2 on the same texts in the same run, with XmlDoc's ratio to each.
//
//   xml_parse_bench [--mb N] [--runs N] [--only NAME]
//
// --mb sets the size of the generated documents (default 20), --runs the
// number of timed runs (default 7), --only measures one parser (for profiling).

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "xml_bench_docs.h"
#include "xml_bench_parsers.h"
#include "xml/xml_doc.h"

namespace vrel::bench {
namespace {

constexpr uint64_t kRssSeed = 20240630;
constexpr uint64_t kNestedSeed = 7;
// tinyxml2 9 refuses elements nested 99 deep and libxml2 256 deep; staying
// below keeps every peer in the race.
constexpr int kNestedMaxDepth = 96;
constexpr double kMB = 1e6;

struct Options {
  double megabytes = 20;
  int runs = 7;
  std::string only;
};

// Texts parsed one by one; a timed run goes through them `passes` times.
struct DocSet {
  DocSet(std::string setTitle, bool isGenerated) : title(std::move(setTitle)), generated(isGenerated) {}

  std::string title;
  bool generated;  // a failure here is a failure; corpus files may be broken
  std::vector<std::string_view> texts;
  std::vector<std::string> names;
  std::vector<bool> wellFormed;        // as the manifest says; true for generated texts
  std::vector<size_t> expectedCounts;  // elements to find; 0 = nothing to compare with
  int passes = 1;

  void Add(std::string_view text, std::string name, bool isWellFormed, size_t expected) {
    texts.push_back(text);
    names.push_back(std::move(name));
    wellFormed.push_back(isWellFormed);
    expectedCounts.push_back(expected);
  }
  size_t Bytes() const {
    size_t bytes = 0;
    for (std::string_view text : texts) bytes += text.size();
    return bytes;
  }
};

struct Result {
  BenchParser* parser = nullptr;
  std::vector<ParseCheck> checks;  // one per text
  double bestSeconds = 1e300;
  long long held = 0;  // summed over the texts
  long long textCopy = 0;
  bool passed = true;  // parsed everything it had to, with the right element counts
  std::string verdict;

  double Speed(const DocSet& set) const { return set.Bytes() * double(set.passes) / bestSeconds / kMB; }
  long long Rest() const { return held - textCopy; }
};

bool Named(const BenchParser* parser, std::string_view name) { return parser->Name() == name; }

long long HeapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return static_cast<long long>(info.uordblks + info.hblkhd);
}

std::string Grouped(size_t n) {
  std::string digits = std::to_string(n), text;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i && (digits.size() - i) % 3 == 0) text += ',';
    text += digits[i];
  }
  return text;
}

std::string Megabytes(long long bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f MB", bytes / kMB);
  return text;
}

// The first few problems of a parser on a set, then only their number.
class ProblemLines {
 public:
  explicit ProblemLines(const char* parser) : parser_(parser) {}
  ~ProblemLines() {
    if (count_ > kShown) std::printf("  ... and %zu more such lines for %s\n", count_ - kShown, parser_);
  }
  template <typename... Args>
  void Print(const char* format, Args... args) {
    if (++count_ <= kShown) std::printf(format, args...);
  }

 private:
  static constexpr size_t kShown = 6;
  const char* parser_;
  size_t count_ = 0;
};

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

void CheckParser(const DocSet& set, Result& result) {
  size_t rejected = 0, rejectedWellFormed = 0, miscounted = 0;
  ProblemLines problems(result.parser->Name());
  for (size_t i = 0; i < set.texts.size(); ++i) {
    const ParseCheck& check = result.parser->Check(set.texts[i]);
    result.checks.push_back(check);
    if (!check.ok) {
      ++rejected;
      if (set.wellFormed[i]) {
        ++rejectedWellFormed;
        problems.Print(set.generated ? "  FAILED: %s rejected %s: %s\n"
                                     : "  note: %s rejected %s, marked well-formed in MANIFEST.tsv: %s\n",
                       result.parser->Name(), set.names[i].c_str(), FirstLine(check.error).c_str());
      }
    } else if (set.expectedCounts[i] && check.elements != set.expectedCounts[i]) {
      ++miscounted;
      problems.Print("  FAILED: %s found %s elements in %s, expected %s\n", result.parser->Name(),
                     Grouped(check.elements).c_str(), set.names[i].c_str(), Grouped(set.expectedCounts[i]).c_str());
    }
  }
  // Corpus files may be broken on purpose: rejecting one is reported, not failed.
  result.passed = miscounted == 0 && (rejected == 0 || !set.generated);
  if (set.texts.size() == 1)
    result.verdict = result.passed ? "ok, " + Grouped(result.checks[0].elements) + " elements" : "FAILED";
  else
    result.verdict = std::to_string(rejected) + " rejected (" + std::to_string(rejectedWellFormed) +
                     " marked well-formed), " + std::to_string(miscounted) + " miscounted";
}

// glibc counts the chunks parked in a thread's cache (tcache) as in use, and
// what a parse frees parks there. So the parse runs on a thread of its own and
// the heap is read once that thread has ended and handed its cache back; what
// is left is what the document keeps.
void MeasureHeld(const DocSet& set, Result& result) {
  std::thread([] {}).join();  // the first thread of a process leaves its set-up allocated
  for (std::string_view text : set.texts) {
    const long long before = HeapInUse();
    std::thread([&] { result.parser->Parse(text); }).join();
    result.held += HeapInUse() - before;
    result.textCopy += static_cast<long long>(result.parser->OwnTextCopyBytes(text));
    result.parser->Release();
  }
}

double TimeRun(BenchParser& parser, const DocSet& set) {
  const auto start = std::chrono::steady_clock::now();
  for (int pass = 0; pass < set.passes; ++pass) {
    for (std::string_view text : set.texts) {
      parser.Parse(text);
      parser.Release();
    }
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Runs take turns between the parsers so that a busy moment on the machine
// does not fall on one parser alone.
void TimeParsers(const DocSet& set, int runs, std::vector<Result>& results) {
  for (Result& result : results) TimeRun(*result.parser, set);  // warm-up
  for (int run = 0; run < runs; ++run)
    for (Result& result : results) result.bestSeconds = std::min(result.bestSeconds, TimeRun(*result.parser, set));
}

void PrintTable(const DocSet& set, const std::vector<Result>& results) {
  std::printf("  %-9s %9s %9s   %12s %14s %14s %9s   %s\n", "parser", "MB/s", "best ms", "held total",
              "own text copy", "rest", "rest/input", "check");
  for (const Result& r : results) {
    std::printf("  %-9s %9.1f %9.2f   %12s %14s %14s %9.3f   %s\n", r.parser->Name(), r.Speed(set),
                r.bestSeconds * 1e3, Megabytes(r.held).c_str(), Megabytes(r.textCopy).c_str(),
                Megabytes(r.Rest()).c_str(), double(r.Rest()) / double(set.Bytes()), r.verdict.c_str());
  }
}

// Records XmlDoc's index needs for the set, counting each document record;
// 0 when some text was not well-formed, as its elements were not counted.
size_t RecordsInUse(const Result& xmlDoc) {
  size_t records = 0;
  for (const ParseCheck& check : xmlDoc.checks) {
    if (!check.ok) return 0;
    records += check.elements + 1;
  }
  return records;
}

// What XmlDoc's indexes hold for the set, as the documents tell it.
size_t IndexBytes(const Result& xmlDoc) {
  size_t bytes = 0;
  for (const ParseCheck& check : xmlDoc.checks) bytes += check.indexBytes;
  return bytes;
}

// What the index holds against what the heap holds for it: the first
// capacity is an estimate from the text length, so the two can differ widely.
void PrintIndexUse(const DocSet& set, const Result& xmlDoc) {
  const size_t records = RecordsInUse(xmlDoc);
  if (!records) return;
  const auto indexed = static_cast<long long>(IndexBytes(xmlDoc));
  std::printf("  XmlDoc index: %s records in use, held in %s (%.3f of the input); heap held for it: %s (%.3f)\n",
              Grouped(records).c_str(), Megabytes(indexed).c_str(), double(indexed) / double(set.Bytes()),
              Megabytes(xmlDoc.Rest()).c_str(), double(xmlDoc.Rest()) / double(set.Bytes()));
}

void PrintRatios(const DocSet& set, const std::vector<Result>& results) {
  const Result& xmlDoc = results.front();
  std::printf("  XmlDoc to    speed (>1: faster)   held total (<1: less)   rest, i.e. index / peer's rest\n");
  for (size_t i = 1; i < results.size(); ++i) {
    const Result& peer = results[i];
    std::printf("  %-12s %17.2fx %22.2fx %27.2fx%s\n", peer.parser->Name(), xmlDoc.Speed(set) / peer.Speed(set),
                double(xmlDoc.held) / double(peer.held), double(xmlDoc.Rest()) / double(peer.Rest()),
                peer.passed ? "" : "   (peer failed its check)");
  }
}

std::vector<Result> MeasureSet(const DocSet& set, const std::vector<BenchParser*>& parsers, const Options& options) {
  const std::string documents = set.texts.size() == 1 ? "1 document" : Grouped(set.texts.size()) + " documents";
  std::printf("\n%s\n  %s, %s; a timed run parses %s %d time%s\n", set.title.c_str(), documents.c_str(),
              Megabytes(static_cast<long long>(set.Bytes())).c_str(), set.texts.size() == 1 ? "it" : "each one by one",
              set.passes, set.passes == 1 ? "" : "s");
  std::vector<Result> results;
  for (BenchParser* parser : parsers) {
    results.push_back({});
    results.back().parser = parser;
    CheckParser(set, results.back());
    MeasureHeld(set, results.back());
  }
  TimeParsers(set, options.runs, results);
  PrintTable(set, results);
  if (!Named(parsers.front(), "XmlDoc")) return results;
  PrintIndexUse(set, results.front());
  if (parsers.size() > 1) PrintRatios(set, results);
  return results;
}

// The corpus files every parser accepted, so that no parser's figure rests
// on giving up early.
DocSet AcceptedByAll(const DocSet& corpus, const std::vector<Result>& results) {
  DocSet accepted("(b') the corpus files that every parser accepted", false);
  for (size_t i = 0; i < corpus.texts.size(); ++i) {
    const bool allOk = std::all_of(results.begin(), results.end(), [&](const Result& r) { return r.checks[i].ok; });
    if (allOk) accepted.Add(corpus.texts[i], corpus.names[i], corpus.wellFormed[i], corpus.expectedCounts[i]);
  }
  accepted.passes = corpus.passes;
  return accepted;
}

// Element counts of corpus files as libxml2, the strictest peer, finds them.
void SetExpectedFromLibxml(DocSet& corpus, std::vector<BenchParser*>& parsers) {
  for (BenchParser* parser : parsers) {
    if (!Named(parser, "libxml2")) continue;
    for (size_t i = 0; i < corpus.texts.size(); ++i) {
      const ParseCheck check = parser->Check(corpus.texts[i]);
      corpus.expectedCounts[i] = check.ok ? check.elements : 0;
    }
  }
}

struct Goal {
  std::string text;
  double measured;
  double needed;
  bool atMost;  // the measured value must not exceed what is needed
  bool judged;  // the parsers it compares passed their checks on the set
  std::string note;
};

void PrintGoals(const std::vector<Goal>& goals) {
  std::printf("\nGoals\n");
  for (const Goal& goal : goals) {
    const bool met = goal.atMost ? goal.measured <= goal.needed : goal.measured >= goal.needed;
    std::printf("  %-40s measured %6.3f, needed %s %5.3f: %s%s\n", goal.text.c_str(), goal.measured,
                goal.atMost ? "<=" : ">=", goal.needed,
                !goal.judged ? "NOT JUDGED (a parser failed its check)" : met ? "met" : "NOT MET",
                goal.note.c_str());
  }
}

Goal IndexGoal(const std::string& set, const DocSet& docs, const Result& xmlDoc) {
  Goal goal{"XmlDoc index held / input size, " + set, double(xmlDoc.Rest()) / double(docs.Bytes()), 1.0 / 3, true,
            xmlDoc.passed, ""};
  char note[64];
  std::snprintf(note, sizeof note, " (the index itself: %.3f)", double(IndexBytes(xmlDoc)) / double(docs.Bytes()));
  goal.note = note;
  return goal;
}

Goal SpeedGoal(const std::string& set, const DocSet& docs, const std::vector<Result>& results, double needed) {
  return {"XmlDoc speed / pugixml speed, " + set, results[0].Speed(docs) / results[1].Speed(docs), needed, false,
          results[0].passed && results[1].passed, ""};
}

Options ReadOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--mb"))
      options.megabytes = std::atof(argv[i + 1]);
    else if (!std::strcmp(argv[i], "--runs"))
      options.runs = std::max(1, std::atoi(argv[i + 1]));
    else if (!std::strcmp(argv[i], "--only"))
      options.only = argv[i + 1];
  }
  if (options.megabytes <= 0) options.megabytes = 20;
  return options;
}

// Other work on the machine slows every parser, but not evenly; the load
// tells how far to trust a run.
std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string oneMinute;
  in >> oneMinute;
  return oneMinute.empty() ? "unknown" : oneMinute;
}

void PrintPreamble(const std::vector<BenchParser*>& parsers, const Options& options) {
  std::printf("XML parse benchmark: XmlDoc against %s\n", PeerVersions().c_str());
  std::printf("Load average at start: %s on %u cores (timings from a busy machine are noisy).\n",
              LoadAverage().c_str(), std::thread::hardware_concurrency());
#ifdef NDEBUG
  std::printf("Build: optimised, NDEBUG.\n");
#else
  std::printf("WARNING: built without NDEBUG; configure with -DCMAKE_BUILD_TYPE=Release for real figures.\n");
#endif
  std::printf(
      "Every parser is checked first: the whole text parsed, its elements counted and compared with the\n"
      "number written (generated documents) or the number libxml2 finds (corpus files).\n"
      "MB/s: input bytes / the best of %d timed runs after one warm-up run; MB = 10^6 bytes. Each parse in a\n"
      "timed run creates a document, parses the whole text (already in memory) and destroys the document:\n",
      options.runs);
  for (const BenchParser* parser : parsers) std::printf("  %-9s %s\n", parser->Name(), parser->Call());
  std::printf(
      "Held: heap in use (glibc mallinfo2: uordblks + hblkhd) after the parse minus before it, with the\n"
      "  document still alive; summed over the documents of a set. The parse runs on a thread of its own\n"
      "  and the heap is read after that thread ended, so freed blocks parked in its malloc cache do not\n"
      "  count as held. The objects themselves (XmlDoc and its engine, xml_document etc.) are counted.\n"
      "Own text copy: the part of it that is the parser's own copy of the input. XmlDoc: its document text\n"
      "  (string capacity + 1), which it must keep. pugixml, tinyxml2: the input buffer they copy and parse\n"
      "  in place (size + 1). libxml2: none. expat builds no document; what it holds is parser state,\n"
      "  including the buffer XML_Parse copies the text into, all shown under rest.\n"
      "Rejected: the parser reported an error (XmlDoc: not well-formed, though it still indexes the text).\n"
      "Rest = held - own text copy. For XmlDoc the rest is its element index (records, segment table),\n"
      "  its engine and its result text.\n");
}

int Run(const Options& options) {
  std::vector<std::unique_ptr<BenchParser>> owned = MakeParsers();
  std::vector<BenchParser*> parsers;
  for (auto& parser : owned)
    if (options.only.empty() || options.only == parser->Name()) parsers.push_back(parser.get());
  if (parsers.empty()) {
    std::fprintf(stderr, "xml_parse_bench: no parser named \"%s\"\n", options.only.c_str());
    return 2;
  }
  PrintPreamble(parsers, options);

  const auto targetBytes = static_cast<size_t>(options.megabytes * kMB);
  const GeneratedDoc rss = GenerateRssFeed(targetBytes, kRssSeed);
  const GeneratedDoc nested = GenerateNestedAttributes(targetBytes, kNestedSeed, kNestedMaxDepth);
  std::vector<std::string> unreadable;
  const std::vector<CorpusFile> files = LoadCorpus(VREL_CORPUS_DIR, unreadable);
  for (const std::string& name : unreadable) std::printf("note: corpus file %s could not be read\n", name.c_str());

  DocSet rssSet{"(a) RSS 2.0 feed, generated (seed " + std::to_string(kRssSeed) + "), " +
                Grouped(rss.elements) + " elements, nested " + std::to_string(rss.maxDepth) + " deep", true};
  rssSet.Add(rss.text, "the RSS feed", true, rss.elements);

  DocSet corpus{"(b) the feed corpus, " VREL_CORPUS_DIR ": every file of MANIFEST.tsv", false};
  for (const CorpusFile& file : files) corpus.Add(file.text, file.name, file.wellFormed, 0);
  SetExpectedFromLibxml(corpus, parsers);
  corpus.passes = std::max(1, static_cast<int>(targetBytes / std::max<size_t>(1, corpus.Bytes())));

  DocSet nestedSet{"(c) attribute-heavy nested document, generated (seed " + std::to_string(kNestedSeed) + "), " +
                   Grouped(nested.elements) + " elements, nested " + std::to_string(nested.maxDepth) + " deep", true};
  nestedSet.Add(nested.text, "the nested document", true, nested.elements);

  const std::vector<Result> rssResults = MeasureSet(rssSet, parsers, options);
  const std::vector<Result> corpusResults = MeasureSet(corpus, parsers, options);
  const DocSet fairCorpus = AcceptedByAll(corpus, corpusResults);
  const std::vector<Result> fairCorpusResults = MeasureSet(fairCorpus, parsers, options);
  const std::vector<Result> nestedResults = MeasureSet(nestedSet, parsers, options);

  if (!Named(parsers.front(), "XmlDoc")) return 0;
  std::vector<Goal> goals;
  if (parsers.size() > 1 && Named(parsers[1], "pugixml")) {
    goals.push_back(SpeedGoal("(a)", rssSet, rssResults, 2.0));
    goals.push_back(SpeedGoal("(c)", nestedSet, nestedResults, 1.0));
  }
  goals.push_back(IndexGoal("(a)", rssSet, rssResults[0]));
  goals.push_back(IndexGoal("(b)", corpus, corpusResults[0]));
  goals.push_back(IndexGoal("(b')", fairCorpus, fairCorpusResults[0]));
  goals.push_back(IndexGoal("(c)", nestedSet, nestedResults[0]));
  PrintGoals(goals);
  return 0;
}

}  // namespace
}  // namespace vrel::bench

int main(int argc, char** argv) { return vrel::bench::Run(vrel::bench::ReadOptions(argc, argv)); }
