// The tray program at scale, under the offscreen platform: how long its main
// dialog takes to catch up on 300 never-downloaded feeds served on
// 127.0.0.1, beside `vrel-cli update` of the same feeds in the same run; the
// longest stall of its event loop (a 10 ms timer's worst lateness) during
// that catch-up and during a save of a 1,000-feed data file; and its peak
// memory after catching up on 1,000 feeds of 100 items. Each measure runs in
// a process of its own, so that its peak memory is its own, and the feeds
// are served by yet another.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "bench_corpus.h"
#include "bench_server.h"
#include "feeds/feed_database.h"
#include "feeds/settings_store.h"
#include "ui/news_dialog.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace vrel;
using Clock = std::chrono::steady_clock;
using bench::MillisecondsSince;

constexpr int kCatchUpFeeds = 300;
constexpr int kLargeFeeds = 1000;
constexpr int kLargeItems = 100;


// A data file of count FEEDs that were never downloaded, served by port.
void WriteFreshDataFile(const fs::path& path, int port, int count) {
  std::ofstream out(path, std::ios::binary);
  out << "<?xml version=\"1.0\"?>\r\n<FEEDSTATUS>\r\n";
  for (int i = 0; i < count; ++i)
    out << "<FEED uri=\"http://127.0.0.1:" << port << "/feed/" << i << "\" title=\"Feed " << i << "\"/>\r\n";
  out << "</FEEDSTATUS>\r\n";
}

// This program again with args, its standard output read through a pipe.
class Child {
 public:
  explicit Child(const std::vector<std::string>& args) {
    std::vector<std::string> all{fs::read_symlink("/proc/self/exe").string()};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all) argv.push_back(arg.data());
    argv.push_back(nullptr);
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    output_ = fdopen(pipeEnds[0], "r");
  }
  ~Child() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    if (output_) std::fclose(output_);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // The next line the child prints; empty when it ended without one.
  std::string Line() {
    char line[4096];
    if (!output_ || !std::fgets(line, sizeof line, output_)) return {};
    return line;
  }
  // Waits for the child to end; true when it exited with status 0.
  bool Succeeded() {
    int status = -1;
    if (pid_ <= 0 || waitpid(pid_, &status, 0) != pid_) return false;
    pid_ = -1;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

 private:
  pid_t pid_ = -1;
  std::FILE* output_ = nullptr;
};

// The worst lateness of a 10 ms timer: how long the event loop stalled.
class StallMeter {
 public:
  StallMeter() {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      const auto now = Clock::now();
      worst_ = std::max(worst_, std::chrono::duration<double, std::milli>(now - last_).count() - 10.0);
      last_ = now;
    });
  }
  void Start() {
    worst_ = 0;
    last_ = Clock::now();
    timer_.start();
  }
  double Worst() const { return worst_; }

 private:
  QTimer timer_;
  Clock::time_point last_;
  double worst_ = 0;
};

int MergedFeeds(NewsEngine& engine) {
  std::lock_guard lock(engine.Lock());
  XmlDoc& db = engine.Database().Document();
  int merged = 0;
  ForEachFeed(db, [&] { merged += db.GetAttribute("arrivetime").empty() ? 0 : 1; });
  return merged;
}

// The main dialog over dataFile, as the tray program runs it; no
// notification window pops up.
struct Reader {
  explicit Reader(const fs::path& dataFile) {
    if (!store.SetString("DataFile", dataFile.string()) || !store.SetInt("Notification", 0)) std::abort();
    dialog.Initialise();
  }
  MemorySettingsStore store;
  ui::NewsDialog dialog{store};
};

// Runs the event loop until all count feeds are merged; the time that took
// and the worst stall meanwhile, in milliseconds.
std::pair<double, double> CatchUp(Reader& reader, int count) {
  StallMeter stalls;
  QTimer check;
  const auto start = Clock::now();
  double took = -1;
  QObject::connect(&check, &QTimer::timeout, [&] {
    if (MergedFeeds(reader.dialog.Engine()) < count) return;
    took = MillisecondsSince(start);
    QCoreApplication::quit();
  });
  stalls.Start();
  check.start(50);
  QCoreApplication::exec();
  return {took, stalls.Worst()};
}

// Modes, each run as a child process.

int Serve(const std::string& what) {
  std::vector<std::string> bodies;
  if (what == "corpus") {
    bodies = bench::CorpusFeeds();
  } else {
    const std::vector<bench::FeedShape> shapes = bench::CorpusShapes();
    for (int i = 0; i < kLargeFeeds && !shapes.empty(); ++i)
      bodies.push_back(bench::FeedText(shapes[size_t(i) % shapes.size()], kLargeItems, i));
  }
  if (bodies.empty()) return 1;
  bench::FeedServer server(std::move(bodies));
  std::printf("%d\n", server.Port());
  std::fflush(stdout);
  pause();  // until the parent ends it
  return 0;
}

int MeasureCatchUp(const fs::path& dataFile, int count) {
  Reader reader(dataFile);
  const auto [took, stall] = CatchUp(reader, count);
  std::printf("%.1f %.1f %ld\n", took, stall, bench::PeakResidentKilobytes());
  return took < 0 ? 1 : 0;
}

// The minute's save of a large database, and the save the program made on
// its own thread before, for comparison.
int MeasureSave(const fs::path& dataFile) {
  Reader reader(dataFile);
  NewsEngine& engine = reader.dialog.Engine();
  const auto touch = [&engine] {
    std::lock_guard lock(engine.Lock());
    engine.Database().FindFeedById(1);
    engine.Database().Document().SetAttribute("title", "Changed " + std::to_string(std::rand()));
  };
  StallMeter stalls;
  stalls.Start();
  double backgroundStall = -1, ownThreadStall = -1;
  QTimer written;
  QTimer::singleShot(200, [&] {
    touch();
    engine.SaveInBackground();
    written.start(10);
  });
  QObject::connect(&written, &QTimer::timeout, [&] {
    if (engine.SavingInBackground()) return;
    written.stop();
    backgroundStall = stalls.Worst();
    touch();
    QTimer::singleShot(200, [&] {
      stalls.Start();
      if (!engine.Save()) std::abort();
      QTimer::singleShot(50, [&] {
        ownThreadStall = stalls.Worst();
        QCoreApplication::quit();
      });
    });
  });
  QCoreApplication::exec();
  std::printf("%.1f %.1f\n", backgroundStall, ownThreadStall);
  return 0;
}

int RunMode(int argc, char** argv) {
  const std::string mode = argv[1];
  if (mode == "serve" && argc == 3) return Serve(argv[2]);
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (mode == "catch-up" && argc == 4) return MeasureCatchUp(argv[2], std::atoi(argv[3]));
  if (mode == "save" && argc == 3) return MeasureSave(argv[2]);
  return 2;
}

std::vector<double> Numbers(const std::string& line) {
  std::vector<double> numbers;
  const char* at = line.c_str();
  for (char* end = nullptr;; at = end) {
    const double value = std::strtod(at, &end);
    if (end == at) break;
    numbers.push_back(value);
  }
  return numbers;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) return RunMode(argc, argv);
  const fs::path cli = fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "src/cli/vrel-cli";
  if (access(cli.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "tray_bench: %s is missing; build vrel-cli first\n", cli.c_str());
    return 1;
  }
  char pattern[] = "/tmp/vrel-tray-bench-XXXXXX";
  const fs::path dir = mkdtemp(pattern);
  const fs::path data = dir / "feedstatus.xml";
  int status = 0;

  {
    Child server({"serve", "corpus"});
    const int port = std::atoi(server.Line().c_str());
    WriteFreshDataFile(data, port, kCatchUpFeeds);
    const double cliTime = bench::TimeProgram({cli.string(), "--data", data.string(), "update"}, dir / "output",
                                              {"HOME=" + dir.string()});
    WriteFreshDataFile(data, port, kCatchUpFeeds);
    Child tray({"catch-up", data.string(), std::to_string(kCatchUpFeeds)});
    const std::vector<double> figures = Numbers(tray.Line());
    const bool ok = tray.Succeeded() && figures.size() == 3 && cliTime > 0;
    std::printf("catch-up of %d never-downloaded feeds from 127.0.0.1\n", kCatchUpFeeds);
    std::printf("  vrel-cli update             %9.1f ms\n", cliTime);
    if (ok) {
      std::printf("  tray program                %9.1f ms   (goal < 3 x vrel-cli + 2000 = %.0f)\n", figures[0],
                  3 * cliTime + 2000);
      std::printf("  longest event loop stall    %9.1f ms   (goal < 50)\n", figures[1]);
    } else {
      std::printf("  tray program                failed\n");
      status = 1;
    }
  }

  const std::vector<bench::FeedShape> shapes = bench::CorpusShapes();
  bench::BuildDatabase(shapes, kLargeFeeds, kLargeItems, data.string());
  {
    Child saver({"save", data.string()});
    const std::vector<double> figures = Numbers(saver.Line());
    std::printf("save of a %d-feed data file, %.1f MB\n", kLargeFeeds, double(fs::file_size(data)) / 1048576.0);
    if (saver.Succeeded() && figures.size() == 2) {
      std::printf("  longest stall, saved on its own thread  %7.1f ms   (goal < 100)\n", figures[0]);
      std::printf("  longest stall, saved on the GUI thread  %7.1f ms   (as before)\n", figures[1]);
    } else {
      std::printf("  failed\n");
      status = 1;
    }
  }

  {
    Child server({"serve", "generated"});
    const int port = std::atoi(server.Line().c_str());
    WriteFreshDataFile(data, port, kLargeFeeds);
    Child tray({"catch-up", data.string(), std::to_string(kLargeFeeds)});
    const std::vector<double> figures = Numbers(tray.Line());
    std::printf("catch-up of %d feeds of %d items\n", kLargeFeeds, kLargeItems);
    if (tray.Succeeded() && figures.size() == 3) {
      // The tray program saved the file at its exit.
      const double fileMegabytes = double(fs::file_size(data)) / 1048576.0;
      const double peakMegabytes = figures[2] / 1024.0;
      std::printf("  took                        %9.1f ms, longest stall %.1f ms\n", figures[0], figures[1]);
      std::printf("  peak memory                 %9.1f MB   = %.2f x the %.1f MB file (goal < 3)\n", peakMegabytes,
                  peakMegabytes / fileMegabytes, fileMegabytes);
    } else {
      std::printf("  failed\n");
      status = 1;
    }
  }
  std::error_code ignored;
  fs::remove_all(dir, ignored);
  return status;
}
