// Mark-up as terminal text: links become their text, references are decoded
// and line ends are plain line feeds. With ANSI styling bold is bold and
// FONT colours become 24-bit colours.
#pragma once

#include <string>
#include <string_view>

namespace vrel {

std::string MarkupToTerminal(std::string_view markup, bool ansi);

}  // namespace vrel
