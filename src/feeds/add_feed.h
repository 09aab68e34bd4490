// The Add box: what the user types there is the address of an XML feed, a
// scrape request "scrape(LIST)ADDRESS" for a web page (a ")" inside LIST is
// written "\)"), or the command "COPYSCR", which installs the tray program
// as the screen saver. An address without a scheme that names no file is
// taken as https://, falling back to http:// when the https connection is
// refused.
#pragma once

#include <string>
#include <string_view>

#include "feeds/outcome.h"
#include "feeds/scheduler.h"

namespace vrel {

class NewsEngine;

struct AddInput {
  bool installScreenSaver = false;
  DownloadRequest request;  // its address is empty when there is nothing to download
};

AddInput ReadAddText(std::string_view text);

// Acts on the text of the Add box: queues its download with the engine's
// scheduler, or installs the screen saver. Fails when the text names no
// address, or the screen saver could not be installed.
Outcome AddFeedInput(NewsEngine& engine, std::string_view text);

// Queues the download of an address from the Add box, unless the list has
// that feed already, which the status line then says ("Already in the
// list: TITLE"). Fails when the request has no address.
Outcome QueueAddRequest(NewsEngine& engine, DownloadRequest request);

// "brackenfold News Reader.scr" in ~/.local/bin.
inline constexpr const char* kScreenSaverFileName = "brackenfold News Reader.scr";

inline constexpr const char* kTrayProgramName = "vrel";

// The tray program, which is the screen saver: the running program when it
// is vrel, else the vrel beside it (installed side by side with vrel-cli, or
// in the build tree); empty when there is none.
std::string FindTrayProgram(const std::string& runningProgram);

// Copies program (the tray program) to ~/.local/bin/brackenfold News
// Reader.scr, executable, and reports the outcome in the status line and
// StatusMessages; the outcome's message is the status message's text. An
// empty program is refused with a message saying that vrel was not found.
Outcome InstallScreenSaver(NewsEngine& engine, const std::string& program);
// The same with the tray program found beside the running one.
Outcome InstallScreenSaver(NewsEngine& engine);

}  // namespace vrel
