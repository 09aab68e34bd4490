// Updating many feeds at once: `vrel-cli update` of 500 never-downloaded
// feeds served from 127.0.0.1, timed against Newsboat's `newsboat -x reload`
// of the same addresses with a fresh cache, in the same run. The feeds are
// the well-formed RSS and Atom files of the corpus, served by a small HTTP
// server in this program (keep-alive, Content-Length), so that the server is
// never what is measured. Newsboat is given as many download threads as
// vrel-cli runs downloads side by side. When Newsboat is not installed, only
// vrel-cli is timed.
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_corpus.h"
#include "bench_server.h"

namespace {

using vrel::bench::CorpusFeeds;
using vrel::bench::FeedServer;
using vrel::bench::ReadWhole;
using vrel::bench::TimeProgram;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kFeeds = 500;
constexpr int kRuns = 3;
constexpr int kParallel = 8;  // vrel-cli update's downloads side by side

std::vector<std::string> Split(const std::string& line, char separator) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  for (std::string field; std::getline(in, field, separator);) fields.push_back(field);
  return fields;
}

bool OnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  for (const std::string& folder : Split(path ? path : "", ':'))
    if (!folder.empty() && access((fs::path(folder) / program).c_str(), X_OK) == 0) return true;
  return false;
}

double Best(const std::vector<double>& times) {
  if (std::find_if(times.begin(), times.end(), [](double t) { return t < 0; }) != times.end()) return -1;
  return *std::min_element(times.begin(), times.end());
}

}  // namespace

int main() {
  const fs::path cli = fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "src/cli/vrel-cli";
  if (access(cli.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "update_bench: %s is missing; build vrel-cli first\n", cli.c_str());
    return 1;
  }
  const std::vector<std::string> bodies = CorpusFeeds();
  if (bodies.empty()) {
    std::fprintf(stderr, "update_bench: no feeds in %s\n", VREL_CORPUS_DIR);
    return 1;
  }
  FeedServer server(bodies);
  if (server.Port() == 0) {
    std::fprintf(stderr, "update_bench: cannot listen on 127.0.0.1\n");
    return 1;
  }
  size_t bytes = 0;
  std::string database = "<FEEDSTATUS>\r\n", urls;
  for (int i = 0; i < kFeeds; ++i) {
    const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/feed/" + std::to_string(i);
    database += "<FEED uri=\"" + url + "\" title=\"Feed " + std::to_string(i) + "\"/>\r\n";
    urls += url + "\n";
    bytes += bodies[size_t(i) % bodies.size()].size();
  }
  database += "</FEEDSTATUS>\r\n";

  char pattern[] = "/tmp/vrel-update-bench-XXXXXX";
  const fs::path dir = mkdtemp(pattern);
  const fs::path data = dir / "feedstatus.xml", output = dir / "output";
  std::ofstream(dir / "urls") << urls;
  std::ofstream(dir / "config") << "reload-threads " << kParallel << "\n";
  const std::vector<std::string> home{"HOME=" + dir.string()};

  std::printf("%d feeds (%zu distinct corpus feeds, %.1f MiB) from 127.0.0.1, best of %d runs\n", kFeeds,
              bodies.size(), double(bytes) / (1 << 20), kRuns);
  std::vector<double> vrel, newsboat;
  const bool haveNewsboat = OnPath("newsboat");
  for (int run = 0; run < kRuns; ++run) {
    std::ofstream(data, std::ios::binary) << database;  // never downloaded
    vrel.push_back(TimeProgram({cli.string(), "--data", data.string(), "update"}, output, home));
    const std::string summary = ReadWhole(output.string());
    if (summary != std::to_string(kFeeds) + " of " + std::to_string(kFeeds) + " feeds updated\n") {
      std::fprintf(stderr, "update_bench: vrel-cli said: %s\n", summary.substr(0, 1000).c_str());
      vrel.back() = -1;
    }
    if (!haveNewsboat) continue;
    fs::remove(dir / "cache.db");
    newsboat.push_back(TimeProgram({"newsboat", "-x", "reload", "-u", (dir / "urls").string(), "-c",
                                    (dir / "cache.db").string(), "-C", (dir / "config").string()},
                                   output, home));
  }
  const double vrelTime = Best(vrel);
  std::printf("  vrel-cli update (%d side by side)   %9.1f ms\n", kParallel, vrelTime);
  int status = vrelTime < 0 ? 1 : 0;
  if (!haveNewsboat) {
    std::printf("  newsboat -x reload                  not installed (apt-get install newsboat), not compared\n");
  } else {
    const double newsboatTime = Best(newsboat);
    std::printf("  newsboat -x reload (%d threads)     %9.1f ms\n", kParallel, newsboatTime);
    if (newsboatTime < 0) {
      std::fprintf(stderr, "update_bench: newsboat failed: %s\n", ReadWhole(output.string()).substr(0, 1000).c_str());
      status = 1;
    } else if (vrelTime > 0) {
      std::printf("  vrel-cli / newsboat                 %9.2f\n", vrelTime / newsboatTime);
    }
  }
  std::error_code ignored;
  fs::remove_all(dir, ignored);
  return status;
}
