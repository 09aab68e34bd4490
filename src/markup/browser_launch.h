// Opening an address in the user's browser. Only web and mail addresses are
// handed on, as one argument of a program started without a shell.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vrel {

class NewsEngine;

// Starts a program; replaced in tests so that no browser starts.
class BrowserLauncher {
 public:
  virtual ~BrowserLauncher() = default;
  // arguments[0] is the program, looked up in PATH. False when it could not start.
  virtual bool Launch(const std::vector<std::string>& arguments);
};

// True for http, https, ftp and mailto addresses.
bool IsOpenableAddress(std::string_view address);

// The desktop's registered browser when defaultBrowser is on, else the fixed one.
std::vector<std::string> BrowserCommand(std::string_view address, bool defaultBrowser);

// Opens address with the browser the DefaultBrowser setting chooses. An
// address of any other scheme is refused with a status message.
bool OpenAddress(NewsEngine& engine, const std::string& address, BrowserLauncher& launcher);

}  // namespace vrel
