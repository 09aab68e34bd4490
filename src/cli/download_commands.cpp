// vrel-cli add, update and run: the Add box, Update Now / Update All and the
// tray program's scheduler, headless.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
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

// The download component tells the loop that a transfer ended with this
// signal, sent to the thread that runs the scheduler.
constexpr int kWakeSignal = SIGUSR1;
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

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

// One line on a terminal that says how far an update is, and the message
// of each download that failed.
class UpdateProgress : public NewsObserver {
 public:
  UpdateProgress(const NewsEngine& engine, size_t total)
      : engine_(engine), total_(total), shown_(isatty(STDERR_FILENO) == 1) {}
  void ClearLine() const {
    if (shown_) std::fputs("\r\033[K", stderr);
  }

  void DownloadEnded(const DownloadRequest& request, bool merged) override {
    ++done_;
    ClearLine();
    if (!merged) {
      ++failed_;
      std::fprintf(stderr, "vrel-cli: download failed: ");
      std::fflush(stderr);
      PrintLatestStatusMessage(engine_, stderr);
    }
    if (!shown_) return;
    const std::string name = TerminalText(request.title.empty() ? request.address : request.title);
    std::fprintf(stderr, "\r\033[K%zu/%zu %s", done_, total_, name.c_str());
    std::fflush(stderr);
  }

  size_t Failed() const { return failed_; }
  size_t Merged() const { return done_ - failed_; }

 private:
  const NewsEngine& engine_;
  size_t total_;
  bool shown_;
  size_t done_ = 0, failed_ = 0;
};

// The signals the loop waits for, blocked in every thread so that only the
// loop takes them: call before anything starts a thread.
sigset_t BlockLoopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, kWakeSignal);
  for (const int signal : kStopSignals) sigaddset(&signals, signal);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  return signals;
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

// Drives the scheduler on this thread as the tray program's timer and
// events do: a tick every 500 ms, and a poll as soon as a transfer ends.
// Returns true when a stop signal ended it, false once done() holds.
bool RunScheduler(Scheduler& scheduler, const sigset_t& signals, const std::function<bool()>& done) {
  const pthread_t loop = pthread_self();
  scheduler.SetWakeUp([loop] { pthread_kill(loop, kWakeSignal); });
  const auto tick = std::chrono::milliseconds(kTickMilliseconds);
  bool stopped = false;
  for (auto next = SteadyClock::now(); !stopped;) {
    if (SteadyClock::now() >= next) {
      for (bool more = scheduler.Tick(); more;) more = scheduler.Poll();
      next = std::max(next + tick, SteadyClock::now());
    }
    if (done()) break;
    const int signal = WaitForSignal(signals, next);
    if (signal == kWakeSignal) {
      while (scheduler.Poll()) {
      }
      if (done()) break;
    } else {
      stopped = signal != 0;
    }
  }
  scheduler.SetWakeUp({});
  return stopped;
}

// Downloads exactly what is queued, then ends.
bool DownloadQueued(Scheduler& scheduler, const sigset_t& signals) {
  scheduler.SetAutomatic(false);
  return RunScheduler(scheduler, signals, [&] { return scheduler.Idle() && scheduler.QueuedRequests() == 0; });
}

}  // namespace

int RunAddCommand(const Arguments& args, const GlobalOptions& options) {
  if (args.size() != 1) return Usage("add TEXT");
  const sigset_t signals = BlockLoopSignals();
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
  if (!QueueAddRequest(engine, std::move(input.request))) {
    std::fprintf(stderr, "vrel-cli: add: '%s' has no address to download\n", args[0].c_str());
    return 2;
  }
  DownloadQueued(engine.DownloadScheduler(), signals);
  const bool failed = engine.DownloadScheduler().LastDownloadFailed();
  if (failed) PrintLatestStatusMessage(engine, stderr);
  return session.Save() && !failed ? 0 : 1;
}

int RunUpdateCommand(const Arguments& args, const GlobalOptions& options) {
  const sigset_t signals = BlockLoopSignals();
  Session session(options);
  NewsEngine& engine = session.Engine();
  std::vector<DownloadRequest> requests;
  if (!CollectRequests(engine, args, requests)) return 2;
  UpdateProgress progress(engine, requests.size());
  engine.SetObserver(&progress);
  for (DownloadRequest& request : requests) engine.DownloadScheduler().Queue(std::move(request));
  const bool stopped = DownloadQueued(engine.DownloadScheduler(), signals);
  engine.SetObserver(nullptr);
  progress.ClearLine();
  const size_t failed = progress.Failed();
  if (stopped) std::fprintf(stderr, "vrel-cli: update: stopped; what was downloaded is kept\n");
  std::printf("%zu of %zu feeds updated\n", progress.Merged(), requests.size());
  return session.Save() && failed == 0 && !stopped ? 0 : 1;
}

int RunRunCommand(const Arguments& args, const GlobalOptions& options) {
  if (!args.empty()) return Usage("run");
  const sigset_t signals = BlockLoopSignals();
  StatusLinePrinter printer;
  Session session(options);
  session.Engine().SetObserver(&printer);
  RunScheduler(session.Engine().DownloadScheduler(), signals, [] { return false; });
  return session.Save() ? 0 : 1;
}

}  // namespace vrel::cli
