#pragma once

// XML colouring of the edited text: a small state machine run over the bytes,
// with its state saved every 512 bytes so that drawing a page far down a long
// text resumes near it instead of at the start.

#include <cstdint>
#include <string_view>
#include <vector>

#include "markup/layout/text_measurer.h"

namespace vrel::edit {

// Low byte: state number; next byte: characters still to skip after a
// multi-character match; next byte: the state before that match.
using ColourState = std::uint32_t;

constexpr int kColourCount = 8;
constexpr int kCheckpointSpacing = 512;

// Colour of a table index; index 1 (plain text) is drawn in the text colour.
markup::Color TableColour(int index);
constexpr int kPlainColour = 1;

int StateNumber(ColourState state);
// Colour index of the characters the state was reached on.
int ColourIndexOf(ColourState state);
// The state after the byte at offset, entered in state.
ColourState StepColour(ColourState state, std::string_view text, int offset);

class ColourCheckpoints {
 public:
  // The state before the byte at offset, computed from the nearest valid
  // checkpoint at or before it; checkpoints passed on the way are recorded.
  ColourState StateAt(std::string_view text, int offset);
  // Forgets the checkpoints that a change at offset may alter. A match looks
  // a few bytes ahead, so the states just before the change go too.
  void Invalidate(int changed_offset);
  int ValidCount() const { return static_cast<int>(states_.size()); }

 private:
  std::vector<ColourState> states_{0};  // states_[i]: the state before byte i * 512
};

}  // namespace vrel::edit
