#include "edit/utf8_units.h"

#include <gtest/gtest.h>

#include <string>

namespace vrel::edit {
namespace {

TEST(Utf8Units, LineBreakPairsAreOneUnitButEqualBreaksAreNot) {
  EXPECT_EQ(UnitLength("\r\nx", 0), 2);
  EXPECT_EQ(UnitLength("\n\rx", 0), 2);
  EXPECT_EQ(UnitLength("\r\rx", 0), 1);
  EXPECT_EQ(UnitLength("\n\nx", 0), 1);
  EXPECT_EQ(PreviousUnit("ab\r\n", 4), 2);
  EXPECT_EQ(PreviousUnit("ab\n\r", 4), 2);
  EXPECT_EQ(PreviousUnit("ab\r\r", 4), 3);
}

TEST(Utf8Units, MultiByteSequencesAreSteppedWhole) {
  const std::string text = "a\xE2\x82\xAC" "b\xF0\x9F\x98\x80";  // a, euro sign, b, an emoji
  EXPECT_EQ(NextUnit(text, 1), 4);
  EXPECT_EQ(PreviousUnit(text, 4), 1);
  EXPECT_EQ(NextUnit(text, 5), 9);
  EXPECT_EQ(PreviousUnit(text, 9), 5);
}

TEST(Utf8Units, BrokenSequencesNeverStepPastTheTextOrOverTooMuch) {
  const std::string truncated = "a\xE2\x82";  // three-byte lead with one continuation
  EXPECT_EQ(NextUnit(truncated, 1), 3);
  EXPECT_EQ(NextUnit(truncated, 3), 3);
  EXPECT_EQ(PreviousUnit("", 0), 0);
  const std::string stray(8, '\x80');  // continuation bytes only
  EXPECT_EQ(NextUnit(stray, 0), 1);
  EXPECT_EQ(PreviousUnit(stray, 8), 3);  // at most five bytes back
}

TEST(Utf8Units, WordMovementSkipsTheRunThenBlanks) {
  const std::string text = "foo  bar++ baz\r\nqux";
  EXPECT_EQ(NextWordStart(text, 0), 5);
  EXPECT_EQ(NextWordStart(text, 1), 5);
  EXPECT_EQ(NextWordStart(text, 3), 5);  // from blanks: only the blanks
  EXPECT_EQ(NextWordStart(text, 5), 8);
  EXPECT_EQ(NextWordStart(text, 8), 11);
  EXPECT_EQ(NextWordStart(text, 14), 16);  // a line break is a step of its own
  EXPECT_EQ(NextWordStart(text, 19), 19);
  EXPECT_EQ(PreviousWordStart(text, 19), 16);
  EXPECT_EQ(PreviousWordStart(text, 16), 11);  // back over the break, then the word
  EXPECT_EQ(PreviousWordStart(text, 11), 8);
  EXPECT_EQ(PreviousWordStart(text, 7), 5);
  EXPECT_EQ(PreviousWordStart(text, 2), 0);
  EXPECT_EQ(PreviousWordStart(text, 0), 0);
}

TEST(Utf8Units, DoubleClickSelectsTheWholeRunOfItsClass) {
  const std::string text = "x = foo_bar2(y);";
  const Range word = WordAround(text, 7);
  EXPECT_EQ(text.substr(word.start, word.end - word.start), "foo_bar2");
  const Range at_start = WordAround(text, 4);
  EXPECT_EQ(at_start.start, 4);
  EXPECT_EQ(at_start.end, 12);
  const Range punctuation = WordAround(text, 12);
  EXPECT_EQ(text.substr(punctuation.start, punctuation.end - punctuation.start), "(");
}

TEST(Utf8Units, DoubleClickReachesAtMostAHundredBytesEachWay) {
  const std::string text(300, 'w');
  const Range word = WordAround(text, 150);
  EXPECT_EQ(word.start, 50);
  EXPECT_EQ(word.end, 250);
}

TEST(Utf8Units, ScreenReaderOffsetsCountUtf16Units) {
  // "a", e-acute (2 bytes), a face beyond the BMP (4 bytes, 2 units), a bad byte, "z".
  const std::string text = "a\xC3\xA9\xF0\x9F\x98\x80\xFFz";
  EXPECT_EQ(Utf16OffsetOf(text, 0), 0);
  EXPECT_EQ(Utf16OffsetOf(text, 3), 2);
  EXPECT_EQ(Utf16OffsetOf(text, 7), 4);
  EXPECT_EQ(Utf16OffsetOf(text, 8), 5);
  EXPECT_EQ(Utf16OffsetOf(text, 99), 6);
  EXPECT_EQ(ByteOffsetOf(text, 2), 3);
  EXPECT_EQ(ByteOffsetOf(text, 3), 3);  // inside the pair: the character's start
  EXPECT_EQ(ByteOffsetOf(text, 4), 7);
  EXPECT_EQ(ByteOffsetOf(text, 5), 8);
  EXPECT_EQ(ByteOffsetOf(text, 6), 9);
  EXPECT_EQ(ByteOffsetOf(text, -1), 0);
}

}  // namespace
}  // namespace vrel::edit
