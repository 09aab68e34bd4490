#include "edit/colouring.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace vrel::edit {
namespace {

// One digit per byte: the colour index the byte is drawn in.
std::string ColourDigits(std::string_view text) {
  std::string digits;
  ColourState state = 0;
  for (int offset = 0; offset < static_cast<int>(text.size()); ++offset) {
    state = StepColour(state, text, offset);
    digits += static_cast<char>('0' + ColourIndexOf(state));
  }
  return digits;
}

ColourState StateFromStart(std::string_view text, int offset) {
  ColourState state = 0;
  for (int position = 0; position < offset; ++position) state = StepColour(state, text, position);
  return state;
}

TEST(Colouring, TagsAttributesAndValues) {
  EXPECT_EQ(ColourDigits("<a href='x'>text</a>"), "23333332212211112232");
  EXPECT_EQ(ColourDigits("<p id=\"v\"/>"), "23333221222");
  EXPECT_EQ(ColourDigits("<b x=y>"), "2333212");
}

TEST(Colouring, TextThatStartsWithALetterStaysPlain) {
  EXPECT_EQ(ColourDigits("hello <b>x</b>"), std::string(14, '1'));
  EXPECT_EQ(ColourDigits("  <a>"), "11232");  // leading blanks still allow mark-up
}

TEST(Colouring, CommentsCDataAndInstructions) {
  EXPECT_EQ(ColourDigits("<!-- hi -->x"), "222244442221");
  EXPECT_EQ(ColourDigits("<![CDATA[ab]]>"), "22222222266222");
  EXPECT_EQ(ColourDigits("<?xml version=\"1.0\"?>"), "225555555555522111222");
}

TEST(Colouring, DoctypeDeclarations) {
  EXPECT_EQ(ColourDigits("<!DOCTYPE x [<!ENTITY e 'v'>]>"), "222222222222222222222777212222");
}

// Checkpoints must give the states a run from the start gives, also after
// edits near them: a match looks ahead, so a change a few bytes after a
// checkpoint can change the state stored there.
TEST(Colouring, CheckpointsAgreeWithARunFromTheStartAfterEdits) {
  std::mt19937 random(7);
  const std::string pieces[] = {"<item a='1'>", "text ", "</item>\r\n", "<!-- c -->", "<![CDATA[x]]>", "<?p q=\"r\"?>", "-", "]"};
  std::string text;
  while (text.size() < 6000) text += pieces[random() % std::size(pieces)];
  ColourCheckpoints checkpoints;
  for (int round = 0; round < 40; ++round) {
    for (int probe = 0; probe < 20; ++probe) {
      const int offset = static_cast<int>(random() % (text.size() + 1));
      ASSERT_EQ(checkpoints.StateAt(text, offset), StateFromStart(text, offset)) << "round " << round << " offset " << offset;
    }
    // Edit right after a checkpoint, where the look-ahead matters most.
    const int at = static_cast<int>(random() % (text.size() / kCheckpointSpacing)) * kCheckpointSpacing + static_cast<int>(random() % 8);
    text.insert(at, pieces[random() % std::size(pieces)]);
    checkpoints.Invalidate(at);
  }
  EXPECT_GT(checkpoints.ValidCount(), 1);
}

TEST(Colouring, ACheckpointInsideALookAheadMatchIsDroppedByALaterChange) {
  // "[CDATA[" starts two bytes before the checkpoint at 512 and ends after it.
  std::string text = std::string(kCheckpointSpacing - 4, ' ') + "<![CDATA[xxxx]]>";
  ColourCheckpoints checkpoints;
  constexpr int kInsideSection = kCheckpointSpacing + 8;
  EXPECT_EQ(StateNumber(checkpoints.StateAt(text, kInsideSection)), 29);
  text[kCheckpointSpacing + 2] = 'X';  // no CDATA section any more
  checkpoints.Invalidate(kCheckpointSpacing + 2);
  EXPECT_EQ(checkpoints.StateAt(text, kInsideSection), StateFromStart(text, kInsideSection));
  EXPECT_EQ(StateNumber(checkpoints.StateAt(text, kInsideSection)), 12);
}

}  // namespace
}  // namespace vrel::edit
