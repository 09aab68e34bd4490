#include "markup/markup_terminal.h"

#include <cctype>
#include <cstdio>
#include <vector>

#include "xml/xml_encoding.h"

namespace vrel {
namespace {

struct Tag {
  std::string name;  // upper case; empty for an end tag's name slot
  bool end = false;
  std::string color;  // "r,g,b" of a FONT tag
};

std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

Tag ParseTag(std::string_view inside) {
  Tag tag;
  tag.end = !inside.empty() && inside[0] == '/';
  if (tag.end) inside.remove_prefix(1);
  const size_t nameEnd = tag.end ? inside.size() : inside.find_first_of(" /");
  tag.name = Upper(inside.substr(0, nameEnd));
  const size_t color = inside.find("color=\"");
  if (!tag.end && color != std::string_view::npos) {
    const size_t start = color + 7;
    tag.color = std::string(inside.substr(start, inside.find('"', start) - start));
  }
  return tag;
}

// "r,g,b" as an ANSI 24-bit foreground colour; empty when it does not read.
std::string ColorCode(const std::string& color) {
  int red = 0, green = 0, blue = 0;
  if (std::sscanf(color.c_str(), "%d,%d,%d", &red, &green, &blue) != 3) return {};
  return "\033[38;2;" + std::to_string(red & 255) + ";" + std::to_string(green & 255) + ";" +
         std::to_string(blue & 255) + "m";
}

class AnsiStyles {
 public:
  std::string Apply(const Tag& tag) {
    if (tag.name != "B" && tag.name != "FONT") return {};
    if (!tag.end) {
      stack_.push_back(tag.name == "B" ? "\033[1m" : ColorCode(tag.color));
      return stack_.back();
    }
    if (!stack_.empty()) stack_.pop_back();
    std::string codes = "\033[0m";
    for (const std::string& code : stack_) codes += code;
    return codes;
  }
  std::string Reset() const { return stack_.empty() ? std::string() : "\033[0m"; }

 private:
  std::vector<std::string> stack_;
};

}  // namespace

std::string TerminalText(std::string_view text, bool keepCarriageReturns) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const bool c0 = byte < 0x20 || byte == 0x7F;
    if (c0 && byte != '\t' && byte != '\n' && !(byte == '\r' && keepCarriageReturns)) continue;
    // C1: U+0080 to U+009F, written C2 80 to C2 9F.
    const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0u;
    if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
      ++i;
      continue;
    }
    out += text[i];
  }
  return out;
}

std::string MarkupToTerminal(std::string_view markup, bool ansi) {
  std::string out;
  std::string text;  // pending text, decoded when a tag or the end comes
  AnsiStyles styles;
  size_t i = 0;
  while (i < markup.size()) {
    if (markup[i] != '<') {
      if (markup[i] != '\r') text += markup[i];
      ++i;
      continue;
    }
    out += TerminalText(FromMarkupText(text));
    text.clear();
    size_t end = markup.find('>', i);
    if (end == std::string_view::npos) end = markup.size();
    if (ansi) out += styles.Apply(ParseTag(markup.substr(i + 1, end - i - 1)));
    i = end + 1;
  }
  out += TerminalText(FromMarkupText(text));
  if (ansi) out += styles.Reset();
  return out;
}

}  // namespace vrel
