// Mark-up as terminal text: links become their text, references are decoded
// and line ends are plain line feeds. With ANSI styling bold is bold and
// FONT colours become 24-bit colours.
#pragma once

#include <string>
#include <string_view>

namespace vrel {

// The text of the mark-up passes through TerminalText; only the styling
// added here reaches the terminal as escape sequences.
std::string MarkupToTerminal(std::string_view markup, bool ansi);

// Text from a feed as it may go to a terminal or a pipe: ESC and every other
// C0 and C1 control but tab and line feed (and, when kept, carriage return)
// are dropped, so that a feed can neither retitle the window, clear the
// screen nor plant a link.
std::string TerminalText(std::string_view text, bool keepCarriageReturns = false);

}  // namespace vrel
