#include "markup/browser_launch.h"

#include <spawn.h>
#include <sys/wait.h>

#include <array>
#include <cctype>
#include <thread>

#include "feeds/news_engine.h"
#include "xml/xml_encoding.h"

extern char** environ;

namespace vrel {

bool BrowserLauncher::Launch(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
  // Reaped in the background so that no finished browser stays a zombie.
  std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
  return true;
}

bool IsOpenableAddress(std::string_view address) {
  const size_t colon = address.find(':');
  if (colon == std::string_view::npos) return false;
  std::string scheme(address.substr(0, colon));
  for (char& c : scheme) c = char(std::tolower(static_cast<unsigned char>(c)));
  constexpr std::array<std::string_view, 4> kSchemes = {"http", "https", "ftp", "mailto"};
  for (const std::string_view allowed : kSchemes)
    if (scheme == allowed) return true;
  return false;
}

std::vector<std::string> BrowserCommand(std::string_view address, bool defaultBrowser) {
  return {defaultBrowser ? "xdg-open" : "x-www-browser", std::string(address)};
}

bool OpenAddress(NewsEngine& engine, const std::string& address, BrowserLauncher& launcher) {
  if (!IsOpenableAddress(address)) {
    engine.AddStatusMessage("Not opened (only http, https, ftp and mailto addresses are): " + ToMarkupText(address));
    return false;
  }
  // A browser that cannot be started is not reported.
  launcher.Launch(BrowserCommand(address, engine.Settings().defaultBrowser != 0));
  return true;
}

}  // namespace vrel
