#include "app/command_line.h"

#include <cerrno>
#include <cstdlib>

namespace vrel::app {

namespace {

// X11 window ids come in decimal or, from xwininfo and friends, in hex.
std::optional<unsigned long> ParseWindowId(const std::string& text) {
  if (text.empty()) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const unsigned long id = std::strtoul(text.c_str(), &end, 0);
  if (errno != 0 || *end != '\0' || text[0] == '-') return std::nullopt;
  return id;
}

}  // namespace

StartRequest ParseCommandLine(const std::string& text) {
  StartRequest request;
  const size_t at = text.find_first_of("/-");
  if (at == std::string::npos || at + 1 >= text.size()) return request;
  request.mode = text[at + 1];
  if ((request.mode == 'p' || request.mode == 'P') && at + 3 < text.size()) {
    request.mode = 'P';
    // strtoll skips leading blanks like the usual conversion, and stops at
    // the largest value instead of overflowing on absurd input.
    request.previewHandle = std::strtoll(text.c_str() + at + 2, nullptr, 10);
  } else if (request.mode == 's') {
    request.mode = 'S';
  } else if (request.mode == 'c') {
    request.mode = 'C';
  }
  return request;
}

std::string JoinArguments(const std::vector<std::string>& arguments) {
  std::string text;
  for (const std::string& argument : arguments) {
    if (!text.empty()) text += ' ';
    text += argument;
  }
  return text;
}

std::optional<unsigned long> XScreenSaverWindow(const std::vector<std::string>& arguments,
                                                const char* xscreensaverWindowVariable) {
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if ((argument == "-window-id" || argument == "--window-id") && i + 1 < arguments.size())
      return ParseWindowId(arguments[i + 1]).value_or(0);
    if (argument == "-root" || argument == "--root") {
      if (xscreensaverWindowVariable && *xscreensaverWindowVariable)
        return ParseWindowId(xscreensaverWindowVariable).value_or(0);
      return 0UL;
    }
  }
  return std::nullopt;
}

}  // namespace vrel::app
