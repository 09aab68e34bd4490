// vrel-cli add, update and run: the Add box, Update Now / Update All and the
// tray program's scheduler, headless.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cli/commands.h"
#include "cli/session.h"
#include "feeds/add_feed.h"
#include "feeds/news_engine.h"
#include "feeds/scheduler.h"
#include "markup/markup_terminal.h"

namespace vrel::cli {
namespace {

using SteadyClock = std::chrono::steady_clock;

// How often add and update look at their downloads; the scheduler's rules
// do not depend on the pace of its ticks.
constexpr auto kPollInterval = std::chrono::milliseconds(2);
constexpr size_t kParallelDownloads = 8;

int Usage(const char* usage) {
  std::fprintf(stderr, "usage: vrel-cli [--data PATH] %s\n", usage);
  return 2;
}

bool IsNumber(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// The requests for the feeds named by identifier or address, or for all
// feeds; false, after naming them, when some names match no feed.
bool CollectRequests(NewsEngine& engine, const Arguments& names, std::vector<DownloadRequest>& requests) {
  std::lock_guard lock(engine.Lock());
  FeedDatabase& database = engine.Database();
  if (names.empty()) {
    requests = AllFeedRequests(database.Document());
    return true;
  }
  bool allKnown = true;
  for (const std::string& name : names) {
    if (IsNumber(name) ? database.FindFeedById(name) : database.FindFeedByUri(name)) {
      requests.push_back(FeedRequest(database.Document(), database.Document().GetCurrentPosition()));
    } else {
      std::fprintf(stderr, "vrel-cli: update: no feed has the id or address '%s'\n", name.c_str());
      allKnown = false;
    }
  }
  return allKnown;
}

// One line on a terminal that says how far an update is.
class ProgressLine {
 public:
  ProgressLine() : shown_(isatty(STDERR_FILENO) == 1) {}
  void Show(size_t done, size_t total, const DownloadRequest& request) {
    if (!shown_) return;
    const std::string name = TerminalText(request.title.empty() ? request.address : request.title);
    std::fprintf(stderr, "\r\033[K%zu/%zu %s", done, total, name.c_str());
    std::fflush(stderr);
  }
  void Clear() {
    if (shown_) std::fputs("\r\033[K", stderr);
  }

 private:
  bool shown_;
};

struct RunningDownload {
  DownloadRequest request;
  std::unique_ptr<Download> download;
};

// Runs up to kParallelDownloads downloads at once; the scheduler merges or
// books each as it finishes, one at a time. Returns how many failed.
size_t DownloadSideBySide(NewsEngine& engine, const std::vector<DownloadRequest>& requests) {
  Scheduler& scheduler = engine.DownloadScheduler();
  ProgressLine progress;
  std::vector<RunningDownload> running;
  size_t next = 0, done = 0, failed = 0;
  while (done < requests.size()) {
    for (; running.size() < kParallelDownloads && next < requests.size(); ++next) {
      running.push_back({requests[next], scheduler.StartDownload(requests[next])});
    }
    bool finishedAny = false;
    for (auto it = running.begin(); it != running.end();) {
      if (!it->download->Poll()) {
        ++it;
        continue;
      }
      if (!scheduler.Complete(it->request, it->download->Result())) {
        ++failed;
        progress.Clear();
        std::fprintf(stderr, "vrel-cli: download failed: ");
        std::fflush(stderr);
        PrintLatestStatusMessage(engine, stderr);
      }
      progress.Show(++done, requests.size(), it->request);
      it = running.erase(it);
      finishedAny = true;
    }
    if (!finishedAny) std::this_thread::sleep_for(kPollInterval);
  }
  progress.Clear();
  return failed;
}

// Waits until the deadline or one of the signals; returns the signal, or 0
// when the time is up.
int WaitForSignal(const sigset_t& signals, SteadyClock::time_point deadline) {
  for (;;) {
    const auto left = deadline - SteadyClock::now();
    if (left <= SteadyClock::duration::zero()) return 0;
    const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    const timespec wait{static_cast<std::time_t>(nanoseconds / 1'000'000'000),
                        static_cast<long>(nanoseconds % 1'000'000'000)};
    const int signal = sigtimedwait(&signals, nullptr, &wait);
    if (signal > 0) return signal;
  }
}

}  // namespace

int RunAddCommand(const Arguments& args, const GlobalOptions& options) {
  if (args.size() != 1) return Usage("add TEXT");
  StatusLinePrinter printer;
  Session session(options);
  NewsEngine& engine = session.Engine();
  engine.SetObserver(&printer);
  AddInput input = ReadAddText(args[0]);
  if (input.installScreenSaver) {
    const Outcome installed = InstallScreenSaver(engine);
    PrintLatestStatusMessage(engine, installed ? stdout : stderr);
    return installed ? 0 : 1;
  }
  if (input.request.address.empty()) {
    std::fprintf(stderr, "vrel-cli: add: '%s' has no address to download\n", args[0].c_str());
    return 2;
  }
  engine.DownloadScheduler().Queue(std::move(input.request));
  Scheduler& scheduler = engine.DownloadScheduler();
  scheduler.Tick();
  while (scheduler.DownloadState() != Scheduler::kIdle) {
    std::this_thread::sleep_for(kPollInterval);
    scheduler.Tick();
  }
  const bool failed = scheduler.LastDownloadFailed();
  if (failed) PrintLatestStatusMessage(engine, stderr);
  return session.Save() && !failed ? 0 : 1;
}

int RunUpdateCommand(const Arguments& args, const GlobalOptions& options) {
  Session session(options);
  std::vector<DownloadRequest> requests;
  if (!CollectRequests(session.Engine(), args, requests)) return 2;
  const size_t failed = DownloadSideBySide(session.Engine(), requests);
  std::printf("%zu of %zu feeds updated\n", requests.size() - failed, requests.size());
  return session.Save() && failed == 0 ? 0 : 1;
}

int RunRunCommand(const Arguments& args, const GlobalOptions& options) {
  if (!args.empty()) return Usage("run");
  // Blocked before any thread starts, so that no thread takes them and the
  // loop below receives them between ticks.
  sigset_t stops;
  sigemptyset(&stops);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stops, signal);
  pthread_sigmask(SIG_BLOCK, &stops, nullptr);

  StatusLinePrinter printer;
  Session session(options);
  session.Engine().SetObserver(&printer);
  Scheduler& scheduler = session.Engine().DownloadScheduler();
  const auto tick = std::chrono::milliseconds(kTickMilliseconds);
  for (auto next = SteadyClock::now();;) {
    scheduler.Tick();
    next = std::max(next + tick, SteadyClock::now());
    if (WaitForSignal(stops, next) != 0) break;
  }
  return session.Save() ? 0 : 1;
}

}  // namespace vrel::cli
