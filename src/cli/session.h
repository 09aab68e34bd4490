// What the vrel-cli commands that work on the data file share: the engine on
// the data file that --data or the settings' "DataFile" rule chooses, and
// the plain-text form of the engine's mark-up texts.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "cli/commands.h"
#include "feeds/news_engine.h"
#include "feeds/settings_store.h"
#include "net/download.h"

namespace vrel::cli {

class Session {
 public:
  // An explicit --data PATH leaves the configured data file alone. For a
  // command that changes the data file the session holds the file's lock
  // from here until it ends. Problems with the data file found at loading
  // are printed; a file that cannot be used, or that another vrel or
  // vrel-cli kept holding, ends vrel-cli with status 1, as no command can
  // work without it.
  explicit Session(const GlobalOptions& options);

  NewsEngine& Engine() { return engine_; }
  // Saves the data file; false, after printing why, when that failed.
  bool Save();

 private:
  std::string ChooseDataFile(const GlobalOptions& options);
  void LockDataFile(const std::string& path);

  std::unique_ptr<SettingsStore> store_;
  NewsEngine engine_;
};

// While the tray program vrel runs, it keeps the data file in memory and
// saves it at exit; a command that changed the file meanwhile would be
// overwritten or would overwrite the program's work. Such commands are
// refused on that file at once (true, after printing why) when the
// program answers at its socket, with advice; reading commands and other
// data files are left alone. Where the socket is elsewhere (another
// XDG_RUNTIME_DIR) the data file's lock refuses them all the same.
bool RefuseWhileTrayProgramRuns(const std::string& command, const GlobalOptions& options);

// Mark-up as plain text: tags dropped, references decoded, lines ended by
// LF, and whatever a feed put in it that a terminal would obey left out.
std::string PlainText(std::string_view markup);

// Writes the whole text (a NUL included) and a line feed.
void PrintLine(std::FILE* out, std::string_view text);

// Prints each new status line as plain text on standard output.
class StatusLinePrinter : public NewsObserver {
 public:
  void StatusLineChanged(const std::string& text) override;
};

// Prints the newest status message as plain text.
void PrintLatestStatusMessage(const NewsEngine& engine, std::FILE* out);

// Waits for a download to end; the download component's time-outs end
// every download.
const DownloadResult& AwaitDownload(Download& download);

}  // namespace vrel::cli
