// The XScreenSaver display-program mode: the animation drawn inside an
// existing X11 window that another program owns.
#pragma once

#include <string>

namespace vrel::saver {

// Draws the screen saver inside x11Window until that window goes away,
// following its size. Keys and the mouse are ignored (XScreenSaver ends the
// process itself). The data file is only read, never written. Needs a
// running QApplication; returns the process exit code (0 when the window
// went away, 1 when it could not be found at the start).
int RunSaverInForeignWindow(unsigned long x11Window, const std::string& dataFile);

}  // namespace vrel::saver
