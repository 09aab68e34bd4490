// vrel-cli's reading commands (the views the windows show, printed) and the
// feed commands of the feed context menu.
#include <unistd.h>

#include <cstdio>
#include <mutex>
#include <string>

#include "cli/commands.h"
#include "cli/session.h"
#include "feeds/time_stamp.h"
#include "markup/browser_launch.h"
#include "feeds/feed_commands.h"
#include "feeds/feed_folders.h"
#include "markup/feed_list_view.h"
#include "markup/feed_views.h"
#include "markup/markup_terminal.h"
#include "markup/requests.h"

namespace vrel::cli {
namespace {

int Usage(const char* usage) {
  std::fprintf(stderr, "usage: vrel-cli [--data PATH] [--markup] %s\n", usage);
  return 2;
}

void PrintMarkup(const std::string& markup, const GlobalOptions& options) {
  const std::string text =
      options.markup ? TerminalText(markup, true) : MarkupToTerminal(markup, isatty(STDOUT_FILENO) == 1);
  std::fwrite(text.data(), 1, text.size(), stdout);
  if (!text.empty() && text.back() != '\n') std::fputc('\n', stdout);
}

// The feed named by a number or an address; 0, after saying so, when none is.
int FeedOrComplain(Session& session, const std::string& idOrAddress) {
  const int feedId = ResolveFeed(session.Engine(), idOrAddress);
  if (feedId == 0) std::fprintf(stderr, "vrel-cli: no feed '%s' (see vrel-cli list)\n", idOrAddress.c_str());
  return feedId;
}

// Renders a request, as the viewer window asks for it.
std::string Render(Session& session, const XmlDoc& request) {
  return RenderRequest(session.Engine(), request.GetDocumentText());
}

// The stored item FIRSTTIME SEQ of a feed; an empty link and a message when there is none.
FoundItem ItemOrComplain(Session& session, int feedId, const Arguments& args) {
  NewsEngine& engine = session.Engine();
  std::lock_guard lock(engine.Lock());
  const FoundItem found = FindItem(engine.Database(), {std::to_string(feedId), args[1], args[2]});
  if (!found.item)
    std::fprintf(stderr, "vrel-cli: feed %d has no item with firsttime '%s' and seq '%s'\n", feedId,
                 args[1].c_str(), args[2].c_str());
  return found;
}

// Runs a command that changes the data file and saves it when it did.
int SaveIfChanged(Session& session, bool changed, const char* done, const char* unchanged) {
  if (!changed) {
    std::puts(unchanged);
    return 0;
  }
  if (!session.Save()) return 1;
  std::puts(done);
  return 0;
}

}  // namespace

int RunListCommand(const Arguments& args, const GlobalOptions& options) {
  if (!args.empty()) return Usage("list");
  Session session(options);
  const std::string list = RenderFeedList(session.Engine());
  if (list.empty()) std::fputs("no feeds (add one with vrel-cli add ADDRESS)\n", stderr);
  else PrintMarkup(list, options);
  return 0;
}

int RunStatusCommand(const Arguments& args, const GlobalOptions& options) {
  if (!args.empty()) return Usage("status");
  Session session(options);
  const std::string line = session.Engine().StatusLine();
  PrintMarkup(line.empty() ? "Ready" : line, options);
  return 0;
}

int RunShowCommand(const Arguments& args, const GlobalOptions& options) {
  const char* usage = "show FEEDID [--brief] [--new]";
  if (args.empty()) return Usage(usage);
  bool brief = false, newOnly = false;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--brief") brief = true;
    else if (args[i] == "--new") newOnly = true;
    else return Usage(usage);
  }
  Session session(options);
  const int feedId = FeedOrComplain(session, args[0]);
  if (feedId == 0) return 1;
  const char* type = brief ? (newOnly ? "BriefNewOnly" : "Brief") : (newOnly ? "NewOnly" : "Summary");
  const std::string view = Render(session, MakeRequest(std::to_string(feedId), type));
  if (view.empty()) std::fputs("no new items\n", stderr);
  else PrintMarkup(view, options);
  return 0;
}

int RunNewCommand(const Arguments& args, const GlobalOptions& options) {
  const char* usage = "new [--folder NAME]";
  if (!args.empty() && (args.size() != 2 || args[0] != "--folder")) return Usage(usage);
  Session session(options);
  std::string view;
  if (args.empty()) {
    view = Render(session, MakeRequest({}, "ShowNew"));
  } else {
    const std::string folder = NormalFolderName(args[1]);
    if (FeedsInFolder(session.Engine(), folder).empty()) {
      std::fprintf(stderr, "vrel-cli: no feed is in the folder '%s' (see vrel-cli list)\n", args[1].c_str());
      return 1;
    }
    view = Render(session, FolderNewRequest(folder));
  }
  if (view.empty()) std::fputs("no new items\n", stderr);
  else PrintMarkup(view, options);
  return 0;
}

int RunItemCommand(const Arguments& args, const GlobalOptions& options) {
  if (args.size() != 3) return Usage("item FEEDID FIRSTTIME SEQ");
  Session session(options);
  const int feedId = FeedOrComplain(session, args[0]);
  if (feedId == 0) return 1;
  const FoundItem found = ItemOrComplain(session, feedId, args);
  if (!found.item) return 1;
  PrintMarkup(Render(session, ItemDetailsRequest(std::to_string(feedId), args[1], args[2], found.link)), options);
  return 0;
}

int RunSearchCommand(const Arguments& args, const GlobalOptions& options) {
  if (args.size() != 1) return Usage("search TEXT");
  Session session(options);
  PrintMarkup(Render(session, SearchRequest(args[0])), options);
  return 0;
}

int RunMessagesCommand(const Arguments& args, const GlobalOptions& options) {
  if (!args.empty()) return Usage("messages");
  Session session(options);
  const std::string view = Render(session, MakeRequest({}, "Errors"));
  if (view.empty()) std::fputs("no status messages\n", stderr);
  else PrintMarkup(view, options);
  return 0;
}

int RunReadCommand(const Arguments& args, const GlobalOptions& options) {
  if (args.size() != 1) return Usage("read FEEDID|all");
  Session session(options);
  if (args[0] == "all") return SaveIfChanged(session, MarkAllAsRead(session.Engine()) > 0, "marked as read", "nothing new");
  const int feedId = FeedOrComplain(session, args[0]);
  if (feedId == 0) return 1;
  return SaveIfChanged(session, MarkAsRead(session.Engine(), feedId), "marked as read", "nothing new");
}

int RunDeleteCommand(const Arguments& args, const GlobalOptions& options) {
  if (args.size() != 1) return Usage("delete FEEDID");
  Session session(options);
  const int feedId = FeedOrComplain(session, args[0]);
  if (feedId == 0) return 1;
  return SaveIfChanged(session, DeleteFeed(session.Engine(), feedId), "deleted", "not deleted");
}

int RunSetCommand(const Arguments& args, const GlobalOptions& options) {
  const char* usage = "set FEEDID [--title T] [--period P] [--scrape LIST] [--folder NAME]";
  if (args.empty() || args.size() % 2 == 0) return Usage(usage);
  FeedSettings settings;
  std::string scrapeList;
  for (size_t i = 1; i < args.size(); i += 2) {
    if (args[i] == "--title") settings.title = args[i + 1];
    else if (args[i] == "--period") settings.schedule = args[i + 1];
    else if (args[i] == "--scrape") settings.scrapeChanged = true, scrapeList = args[i + 1];
    else if (args[i] == "--folder") settings.folder = args[i + 1];
    else return Usage(usage);
  }
  std::string period = settings.schedule;
  int64_t seconds = 0;
  if (!settings.schedule.empty() && !ReadDuration(period, seconds)) {
    std::fprintf(stderr, "vrel-cli: '%s' is not a period such as \"30 minutes\", \"2 hours\" or \"1 day\"\n",
                 settings.schedule.c_str());
    return 1;
  }
  Session session(options);
  NewsEngine& engine = session.Engine();
  const int feedId = FeedOrComplain(session, args[0]);
  if (feedId == 0) return 1;
  if (settings.scrapeChanged) {
    // The stored download of a feed document must not give way to scrape items.
    if (!HasScrapeSettings(engine, feedId)) {
      std::fprintf(stderr, "vrel-cli: feed %d is not a web page feed and has no scrape settings\n", feedId);
      return 1;
    }
    settings.items = ScrapeItemsFromList(CurrentScrapeItems(engine, feedId), scrapeList);
  }
  return SaveIfChanged(session, ApplyFeedSettings(engine, feedId, settings), "changed", "nothing to change");
}

int RunOpenCommand(const Arguments& args, const GlobalOptions& options) {
  if (args.size() != 3) return Usage("open FEEDID FIRSTTIME SEQ");
  Session session(options);
  NewsEngine& engine = session.Engine();
  const int feedId = FeedOrComplain(session, args[0]);
  if (feedId == 0) return 1;
  const FoundItem found = ItemOrComplain(session, feedId, args);
  if (!found.item) return 1;
  XmlDoc link;
  link.SetDocumentText(ItemLink(found.link, std::to_string(feedId), args[1], args[2]) + "</A>");
  link.SetPositions(0, 0, 0);
  link.FindElement(nullptr);
  BrowserLauncher launcher;
  LinkHandler handler(engine, launcher);
  handler.OnLinkClicked(link);
  const bool opened = handler.OpenNextLink();
  if (!session.Save()) return 1;
  if (!opened) {
    PrintLatestStatusMessage(engine, stderr);
    return 1;
  }
  PrintLine(stdout, "opened " + TerminalText(found.link));
  return 0;
}

}  // namespace vrel::cli
