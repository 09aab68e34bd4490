#include "feeds/add_feed.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "feeds/markup_text.h"
#include "feeds/news_engine.h"
#include "feeds/status_texts.h"
#include "feeds/time_stamp.h"
#include "net/download.h"

namespace vrel {

namespace {

constexpr std::string_view kScrapePrefix = "scrape(";

// "scrape(LIST)ADDRESS" into request; false when no ")" ends the list.
bool ReadScrapeRequest(std::string_view text, DownloadRequest& request) {
  std::string list;
  for (size_t from = kScrapePrefix.size();;) {
    const size_t close = text.find(')', from);
    if (close == std::string_view::npos) return false;
    list.append(text.substr(from, close - from));
    from = close + 1;
    if (text[close - 1] == '\\') {
      list.back() = ')';  // the backslash only kept the ")" in the list
      continue;
    }
    request.scrapeList = std::move(list);
    request.address = text.substr(from);
    request.webPage = true;
    return true;
  }
}

bool IsHostChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

// A host name or address at the start of text, as "example.org" or
// "127.0.0.1" before a port or path.
bool StartsWithHost(std::string_view text) {
  const std::string_view host = text.substr(0, text.find_first_of("/:?#"));
  return !host.empty() && host[0] != '-' && host[0] != '.' && std::all_of(host.begin(), host.end(), IsHostChar);
}

// An address typed without a scheme ("example.org/feed.xml") that names no
// file is a web address: https://, with http:// when https is refused.
void TakeAsWebAddress(DownloadRequest& request) {
  const std::string& address = request.address;
  if (AddressToUrl(address) == address || !StartsWithHost(address)) return;
  std::error_code error;
  if (std::filesystem::exists(address, error)) return;
  request.address = "https://" + address;
  request.httpFallback = true;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// ~/.local/bin; empty when the user has no home folder.
std::string ProgramFolder() {
  const char* home = std::getenv("HOME");
  std::string folder = home ? home : "";
  if (folder.empty()) {
    const passwd* user = getpwuid(getuid());
    if (user && user->pw_dir) folder = user->pw_dir;
  }
  return folder.empty() ? folder : folder + "/.local/bin";
}

std::string RunningProgram() {
  std::error_code error;
  const std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : path.string();
}

// Copies beside the target and renames it into place: the target is never
// half-written, and a screen saver running from it keeps its own file. A
// failure gives the system's message.
Outcome CopyExecutable(const std::string& from, const std::string& to) {
  namespace fs = std::filesystem;
  const std::string partial = to + ".part";
  std::error_code error;
  fs::create_directories(fs::path(to).parent_path(), error);
  if (!error) fs::copy_file(from, partial, fs::copy_options::overwrite_existing, error);
  if (!error) {
    fs::permissions(partial,
                    fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
                        fs::perms::others_exec,
                    error);
  }
  if (!error) fs::rename(partial, to, error);
  if (!error) return Outcome::Success();
  std::error_code ignored;
  fs::remove(partial, ignored);
  return Outcome::Failure(error.message());
}

// Why the copy cannot be made, or the copy's own outcome.
Outcome CopyProgramTo(const std::string& folder, const std::string& program, const std::string& target) {
  if (folder.empty()) return Outcome::Failure("unable to determine the ~/.local/bin folder location");
  if (program.empty())
    return Outcome::Failure("the tray program vrel, which runs the screen saver, was not found beside " +
                            RunningProgram());
  return CopyExecutable(program, target);
}

}  // namespace

AddInput ReadAddText(std::string_view text) {
  AddInput input;
  if (text.size() >= 9 && text.starts_with(kScrapePrefix) && ReadScrapeRequest(text, input.request)) {
    TakeAsWebAddress(input.request);
    return input;
  }
  if (EqualsIgnoringAsciiCase(text, "COPYSCR")) {
    input.installScreenSaver = true;
  } else {
    input.request.address = text;
    input.request.discoverFeed = true;
    TakeAsWebAddress(input.request);
  }
  return input;
}

std::string FindTrayProgram(const std::string& runningProgram) {
  namespace fs = std::filesystem;
  const fs::path running(runningProgram);
  if (running.filename() == kTrayProgramName) return runningProgram;
  // Installed side by side, or in the build tree as src/cli and src/app.
  for (const fs::path& candidate : {running.parent_path() / kTrayProgramName,
                                    running.parent_path().parent_path() / "app" / kTrayProgramName}) {
    std::error_code error;
    if (fs::is_regular_file(candidate, error) && access(candidate.c_str(), X_OK) == 0)
      return candidate.lexically_normal().string();
  }
  return {};
}

Outcome AddFeedInput(NewsEngine& engine, std::string_view text) {
  AddInput input = ReadAddText(text);
  if (input.installScreenSaver) return InstallScreenSaver(engine);
  return QueueAddRequest(engine, std::move(input.request));
}

Outcome QueueAddRequest(NewsEngine& engine, DownloadRequest request) {
  if (request.address.empty()) return Outcome::Failure("no address to download");
  {
    std::lock_guard lock(engine.Lock());
    if (engine.Database().FindFeedByUri(request.address)) {
      const std::string title = engine.Database().Document().GetAttribute("title");
      engine.SetStatusLine(AlreadyListedLine(title));
      return Outcome::Success("Already in the list: " + title);
    }
  }
  request.fromAddBox = true;
  engine.DownloadScheduler().Queue(std::move(request));
  return Outcome::Success();
}

Outcome InstallScreenSaver(NewsEngine& engine, const std::string& program) {
  const std::string folder = ProgramFolder();
  const std::string target = folder + "/" + kScreenSaverFileName;
  const Outcome copied = CopyProgramTo(folder, program, target);
  std::string message;
  if (copied) {
    message = "Copied " + program + " to " + target +
              "\r\nTo list it in XScreenSaver, add this line to the programs: list in ~/.xscreensaver:\r\n"
              "\"brackenfold News\" \"" + target + "\" -root";
  } else if (!folder.empty() && !program.empty()) {
    message = "Attempted to copy " + program + " to " + target + "\r\n" + copied.Message();
  } else {
    message = copied.Message();
  }
  engine.SetStatusLine(copied ? "<A type=\"Errors\">Copied</A> to " + MarkupAttribute(target)
                              : "<A type=\"Errors\">Copy error</A> " + MarkupAttribute(copied.Message()));
  engine.AddStatusMessage("COPYSCR\r\n" + FormatUserDateTime(engine.CurrentTime()) + "\r\n" + MarkupAttribute(message));
  return copied ? Outcome::Success(std::move(message)) : Outcome::Failure(std::move(message));
}

Outcome InstallScreenSaver(NewsEngine& engine) { return InstallScreenSaver(engine, FindTrayProgram(RunningProgram())); }

}  // namespace vrel
