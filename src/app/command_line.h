// How the program was asked to start: the screen saver switches of the
// command line, and XScreenSaver's way of naming the window to draw in.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vrel::app {

struct StartRequest {
  // 'S' screen saver, 'C' configure, 'P' preview; 0 without a switch; any
  // other character that followed a switch counts as a normal start.
  char mode = 0;
  // The preview's parent window, 0 unless mode is 'P'.
  long long previewHandle = 0;
};

// Reads the text after the program name: the first '/' or '-' and the
// character after it decide the mode; "p" needs at least two more
// characters, and the handle is the number starting two after the switch.
StartRequest ParseCommandLine(const std::string& text);

// The arguments after the program name as one text, separated by blanks.
std::string JoinArguments(const std::vector<std::string>& arguments);

// XScreenSaver starts its display programs with "-window-id ID" or with
// "-root" (drawing into XSCREENSAVER_WINDOW when set, else the root window,
// given as 0). The window to draw in, or nothing for an ordinary start.
std::optional<unsigned long> XScreenSaverWindow(const std::vector<std::string>& arguments,
                                                const char* xscreensaverWindowVariable);

}  // namespace vrel::app
