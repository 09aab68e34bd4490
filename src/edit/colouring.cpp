#include "edit/colouring.h"

#include <algorithm>
#include <array>

namespace vrel::edit {
namespace {

// Patterns: "*" any character, "+" any non-blank, " " any blank; anything
// else is matched literally.
struct Transition {
  std::string_view pattern;
  std::uint8_t target;
};

struct StateRule {
  std::uint8_t colour;
  std::array<Transition, 4> transitions;  // unused entries have empty patterns
};

constexpr std::string_view kQuote = "\"";
constexpr int kLongestPattern = 7;  // "[CDATA["

constexpr StateRule kRules[] = {
    /* 0 start of text */ {1, {{{"<", 1}, {"+", 43}}}},
    /* 1 after "<" */ {2, {{{"/", 2}, {"!", 12}, {"?", 14}, {"+", 3}}}},
    /* 2 end tag */ {2, {{{">", 11}, {"*", 4}}}},
    /* 3 tag name */ {3, {{{" ", 5}, {"/", 10}, {">", 11}}}},
    /* 4 end tag name */ {3, {{{">", 11}}}},
    /* 5 inside a start tag */ {3, {{{">", 11}, {"/", 10}, {"+", 6}}}},
    /* 6 attribute name */ {3, {{{"=", 7}, {">", 11}}}},
    /* 7 after "=" */ {2, {{{kQuote, 8}, {"'", 9}, {">", 11}, {"*", 49}}}},
    /* 8 opening double quote */ {2, {{{kQuote, 19}, {"*", 17}}}},
    /* 9 opening single quote */ {2, {{{"'", 19}, {"*", 18}}}},
    /* 10 "/" of "/>" */ {2, {{{">", 11}}}},
    /* 11 ">" closing a tag */ {2, {{{"<", 1}, {"*", 42}}}},
    /* 12 after "<!" */ {2, {{{"--", 13}, {"[CDATA[", 28}, {">", 11}, {"DOCTYPE", 33}}}},
    /* 13 comment opening */ {2, {{{"-->", 32}, {"*", 31}}}},
    /* 14 after "<?" */ {2, {{{"?>", 16}, {"*", 15}}}},
    /* 15 instruction target */ {5, {{{" ", 20}, {"?>", 16}}}},
    /* 16 "?>" */ {2, {{{"<", 1}, {"*", 42}}}},
    /* 17 double-quoted value */ {1, {{{kQuote, 19}}}},
    /* 18 single-quoted value */ {1, {{{"'", 19}}}},
    /* 19 closing quote */ {2, {{{"/", 10}, {">", 11}, {"*", 5}}}},
    /* 20 inside an instruction */ {5, {{{"?>", 16}, {"+", 21}}}},
    /* 21 instruction attribute name */ {5, {{{"=", 22}, {"?>", 16}}}},
    /* 22 instruction "=" */ {2, {{{kQuote, 23}, {"'", 24}, {"?>", 16}, {"*", 50}}}},
    /* 23 opening double quote */ {2, {{{kQuote, 27}, {"*", 25}, {"?>", 16}}}},
    /* 24 opening single quote */ {2, {{{"'", 27}, {"*", 26}, {"?>", 16}}}},
    /* 25 double-quoted value */ {1, {{{kQuote, 27}, {"?>", 16}}}},
    /* 26 single-quoted value */ {1, {{{"'", 27}, {"?>", 16}}}},
    /* 27 closing quote */ {2, {{{"?>", 16}, {"*", 20}}}},
    /* 28 CDATA opening */ {2, {{{"]]>", 30}, {"*", 29}}}},
    /* 29 CDATA content */ {6, {{{"]]>", 30}}}},
    /* 30 CDATA closing */ {2, {{{"<", 1}, {"*", 42}}}},
    /* 31 comment content */ {4, {{{"-->", 32}}}},
    /* 32 comment closing */ {2, {{{"<", 1}, {"*", 42}}}},
    /* 33 DOCTYPE */ {2, {{{">", 11}, {"*", 34}}}},
    /* 34 DOCTYPE body */ {2, {{{"<", 35}, {">", 11}}}},
    /* 35 "<" inside DOCTYPE */ {2, {{{"!--", 38}, {"?", 41}, {"!", 41}, {">", 34}}}},
    /* 36 declaration body */ {7, {{{">", 34}, {kQuote, 44}, {"'", 45}}}},
    /* 37 unused */ {2, {}},
    /* 38 comment opening in DOCTYPE */ {2, {{{"-->", 40}, {"*", 39}}}},
    /* 39 comment in DOCTYPE */ {4, {{{"-->", 40}}}},
    /* 40 comment closing in DOCTYPE */ {2, {{{"<", 35}, {"*", 34}}}},
    /* 41 declaration keyword */ {2, {{{">", 34}, {" ", 36}}}},
    /* 42 text between tags */ {1, {{{"<", 1}}}},
    /* 43 plain text */ {1, {}},
    /* 44 opening double quote in declaration */ {2, {{{kQuote, 48}, {"*", 46}}}},
    /* 45 opening single quote in declaration */ {2, {{{"'", 48}, {"*", 47}}}},
    /* 46 double-quoted literal */ {1, {{{kQuote, 48}}}},
    /* 47 single-quoted literal */ {1, {{{"'", 48}}}},
    /* 48 closing quote in declaration */ {2, {{{">", 34}, {"*", 36}}}},
    /* 49 unquoted value */ {1, {{{">", 11}, {" ", 5}}}},
    /* 50 unquoted instruction value */ {1, {{{"?>", 16}, {" ", 20}}}},
};
constexpr int kStateCount = static_cast<int>(std::size(kRules));

constexpr markup::Color kTable[kColourCount] = {
    {0, 0, 0}, {0, 0, 0}, {0, 0, 255}, {190, 50, 50}, {140, 140, 140}, {0, 64, 128}, {128, 64, 0}, {255, 128, 64},
};

bool IsBlank(char byte) { return byte == ' ' || byte == '\t' || byte == '\r' || byte == '\n'; }

bool Matches(std::string_view pattern, std::string_view text, int offset) {
  const char byte = text[offset];
  if (pattern == "*") return true;
  if (pattern == "+") return !IsBlank(byte);
  if (pattern == " ") return IsBlank(byte);
  return text.substr(offset).starts_with(pattern);
}

ColourState Pack(int number, int skip, int before) {
  return static_cast<ColourState>(number) | static_cast<ColourState>(skip) << 8 | static_cast<ColourState>(before) << 16;
}

}  // namespace

markup::Color TableColour(int index) { return kTable[std::clamp(index, 0, kColourCount - 1)]; }

int StateNumber(ColourState state) { return std::min<int>(state & 0xFF, kStateCount - 1); }

int ColourIndexOf(ColourState state) { return kRules[StateNumber(state)].colour; }

ColourState StepColour(ColourState state, std::string_view text, int offset) {
  const int number = StateNumber(state);
  const int skip = (state >> 8) & 0xFF;
  if (skip > 0) return Pack(number, skip - 1, (state >> 16) & 0xFF);
  for (const Transition& transition : kRules[number].transitions) {
    if (transition.pattern.empty()) break;
    if (Matches(transition.pattern, text, offset))
      return Pack(transition.target, static_cast<int>(transition.pattern.size()) - 1, number);
  }
  return Pack(number, 0, (state >> 16) & 0xFF);
}

ColourState ColourCheckpoints::StateAt(std::string_view text, int offset) {
  offset = std::clamp(offset, 0, static_cast<int>(text.size()));
  const int nearest = std::min(offset / kCheckpointSpacing, ValidCount() - 1);
  ColourState state = states_[nearest];
  for (int position = nearest * kCheckpointSpacing; position < offset; ++position) {
    state = StepColour(state, text, position);
    if ((position + 1) % kCheckpointSpacing == 0 && (position + 1) / kCheckpointSpacing == ValidCount())
      states_.push_back(state);
  }
  return state;
}

void ColourCheckpoints::Invalidate(int changed_offset) {
  // The state before byte p depends on the bytes up to p + kLongestPattern - 2.
  const int last_valid = std::max(0, changed_offset - kLongestPattern + 1) / kCheckpointSpacing;
  if (last_valid + 1 < ValidCount()) states_.resize(last_valid + 1);
}

}  // namespace vrel::edit
