// NewsApp: the start-up of the desktop program. It decides the mode from
// the command line, keeps to one instance per user, hands a later start's
// request to the first instance, and otherwise runs the main dialog until
// the user exits.
#pragma once

#include <string>
#include <vector>

#include "app/command_line.h"

namespace vrel::app {

class NewsApp {
 public:
  // arguments: the command line after the program name. Needs a running
  // QApplication; returns the process exit code.
  int Run(const std::vector<std::string>& arguments);

 private:
  int RunSecondInstance(const StartRequest& request);
  int RunFirstInstance(const StartRequest& request);
  int RunXScreenSaverHack(unsigned long window);
};

}  // namespace vrel::app
