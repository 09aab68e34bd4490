#include "edit/edit_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "fixed_width_measurer.h"

namespace vrel::edit {
namespace {

using testing::FixedWidthMeasurer;
constexpr int kW = FixedWidthMeasurer::kCharWidth;
constexpr int kH = FixedWidthMeasurer::kLineHeight;

// A box chars characters wide and lines lines tall (margins of 2).
struct Box {
  FixedWidthMeasurer measurer;
  EditSession session;
  std::vector<std::pair<int, int>> selections;
  int changes = 0;

  Box(bool multi_line, int chars, int lines, std::string text = {}) : session(measurer, multi_line) {
    session.SetClientSize(chars * kW + 4, lines * kH + 4);
    session.SetText(std::move(text));
    session.on_selection_changed = [this](int start, int end) { selections.emplace_back(start, end); };
    session.on_text_about_to_change = [this] { ++changes; };
  }
  int Caret() const { return session.State().caret; }
  int Anchor() const { return session.State().anchor; }
  int FirstVisible() { return session.View().First().start; }
};

std::string NumberedLines(int count) {
  std::string text;
  for (int line = 0; line < count; ++line) text += "line " + std::to_string(100 + line) + "\r\n";
  return text;  // ten bytes a line
}

TEST(EditSession, BackspaceRemovesWholeLineBreaksAndCharacters) {
  Box box(true, 20, 5, "ab\r\n\xE2\x82\xAC");
  box.session.SetSelection(7, 7);
  box.session.Backspace();
  EXPECT_EQ(box.session.Text(), "ab\r\n");
  box.session.Backspace();
  EXPECT_EQ(box.session.Text(), "ab");
  box.session.SetSelection(0, 1);
  box.session.DeleteForward();
  EXPECT_EQ(box.session.Text(), "b");
  EXPECT_EQ(box.changes, 3);
}

TEST(EditSession, TypingReplacesTheSelectionAndDropsControlCharacters) {
  Box box(true, 20, 5, "hello world");
  box.session.SetSelection(6, 11);
  box.session.Type("th\x01" "ere\t!");
  EXPECT_EQ(box.session.Text(), "hello there\t!");
  EXPECT_EQ(box.Caret(), 13);
  EXPECT_EQ(box.Anchor(), 13);
  EXPECT_EQ(box.selections.back(), std::make_pair(13, 13));
  box.session.TypeLineBreak();
  EXPECT_EQ(box.session.Text(), "hello there\t!\r\n");
  box.session.Insert("a\r\nb");  // pasted text keeps its breaks
  EXPECT_EQ(box.session.Text(), "hello there\t!\r\na\r\nb");
}

TEST(EditSession, ReadOnlyRefusesEveryChangeButStillSelects) {
  Box box(true, 20, 5, "fixed");
  box.session.Type("x");
  box.session.SetReadOnly(true);
  box.session.SelectAll();
  box.session.Type("y");
  box.session.Backspace();
  box.session.DeleteForward();
  box.session.Insert("z");
  EXPECT_FALSE(box.session.Undo());
  EXPECT_EQ(box.session.Text(), "xfixed");
  EXPECT_EQ(box.session.SelectedText(), "xfixed");
}

TEST(EditSession, UndoBringsBackTheTextSelectionAndScroll) {
  Box box(true, 20, 5, NumberedLines(30));
  box.session.SetSelection(0, 4);
  box.session.Type("LINE");
  box.session.MoveCaret(Move::kEnd, false, true);  // Ctrl+End scrolls down
  ASSERT_GT(box.FirstVisible(), 0);
  box.session.Type("tail");
  box.selections.clear();
  EXPECT_TRUE(box.session.Undo());
  EXPECT_TRUE(box.session.Undo());
  EXPECT_EQ(box.session.Text(), NumberedLines(30));
  EXPECT_EQ(box.Anchor(), 0);
  EXPECT_EQ(box.Caret(), 4);
  EXPECT_EQ(box.FirstVisible(), 0);
  EXPECT_EQ(box.selections.size(), 2u);  // undo tells the owner
  EXPECT_TRUE(box.session.Redo());
  EXPECT_EQ(box.session.Text().substr(0, 4), "LINE");
}

TEST(EditSession, LeftAndRightCollapseASelectionTowardsTheirSide) {
  Box box(false, 20, 1, "abcdef");
  box.session.SetSelection(5, 2);
  box.session.MoveCaret(Move::kLeft, false, false);
  EXPECT_EQ(std::make_pair(box.Anchor(), box.Caret()), std::make_pair(2, 2));
  box.session.SetSelection(2, 5);
  box.session.MoveCaret(Move::kRight, false, false);
  EXPECT_EQ(std::make_pair(box.Anchor(), box.Caret()), std::make_pair(5, 5));
  box.session.MoveCaret(Move::kLeft, true, false);
  box.session.MoveCaret(Move::kLeft, true, false);
  EXPECT_EQ(box.session.SelectedText(), "de");
  EXPECT_TRUE(box.session.CollapseSelection());
  EXPECT_FALSE(box.session.CollapseSelection());
}

TEST(EditSession, UpAndDownKeepTheGoalColumn) {
  Box box(true, 20, 5, "abcdef\r\nab\r\nabcdef");
  box.session.SetSelection(5, 5);
  box.session.MoveCaret(Move::kDown, false, false);
  EXPECT_EQ(box.Caret(), 10);  // the short line's end
  box.session.MoveCaret(Move::kDown, false, false);
  EXPECT_EQ(box.Caret(), 17);  // back in the goal column
  box.session.MoveCaret(Move::kUp, true, false);
  box.session.MoveCaret(Move::kUp, true, false);
  EXPECT_EQ(box.Caret(), 5);
  EXPECT_EQ(box.Anchor(), 17);
}

TEST(EditSession, HomeAndEndGoToTheVisualLineOrWithCtrlTheText) {
  Box box(true, 10, 5, "aaaa bbbb cccc dddd");
  box.session.SetSelection(12, 12);
  box.session.MoveCaret(Move::kHome, false, false);
  EXPECT_EQ(box.Caret(), 10);
  box.session.MoveCaret(Move::kEnd, false, false);
  EXPECT_EQ(box.Caret(), 19);
  box.session.SetSelection(2, 2);
  box.session.MoveCaret(Move::kEnd, false, false);
  EXPECT_EQ(box.Caret(), 10);
  EXPECT_EQ(box.session.Caret().y, 2);  // shown at the end of the first line
  box.session.MoveCaret(Move::kHome, true, true);
  EXPECT_EQ(box.Caret(), 0);
  EXPECT_EQ(box.Anchor(), 10);
}

TEST(EditSession, TheCaretIsKeptInView) {
  Box box(true, 20, 5, NumberedLines(30));
  for (int line = 0; line < 5; ++line) box.session.MoveCaret(Move::kDown, false, false);
  EXPECT_EQ(box.Caret(), 50);
  EXPECT_EQ(box.FirstVisible(), 10);  // one line down
  box.session.MoveCaret(Move::kEnd, false, true);
  const CaretPlace caret = box.session.Caret();
  EXPECT_GT(caret.height, 0);
  EXPECT_LE(caret.y + kH, 5 * kH + 4);
  box.session.MoveCaret(Move::kHome, false, true);
  EXPECT_EQ(box.FirstVisible(), 0);
  box.session.Wheel(-360);  // the caret's line goes out of view
  EXPECT_EQ(box.FirstVisible(), 70);  // as far as the lines laid out below the view
  box.session.MoveCaret(Move::kDown, false, false);
  EXPECT_EQ(box.Caret(), 10);  // from the caret, not from the view's top
  EXPECT_LE(box.FirstVisible(), 10);
}

TEST(EditSession, PageKeysMoveTheViewAndThenToTheEnds) {
  Box box(true, 20, 5, NumberedLines(12));
  box.session.SetSelection(13, 13);
  box.session.MoveCaret(Move::kPageDown, false, false);
  EXPECT_EQ(box.FirstVisible(), 50);
  EXPECT_EQ(box.Caret(), 63);  // same place on the screen
  box.session.MoveCaret(Move::kPageDown, false, false);
  EXPECT_EQ(box.FirstVisible(), 80);  // the last line at the bottom
  box.session.MoveCaret(Move::kPageDown, false, false);
  EXPECT_EQ(box.Caret(), 120);
  box.session.MoveCaret(Move::kPageUp, false, false);
  box.session.MoveCaret(Move::kPageUp, false, false);
  EXPECT_EQ(box.FirstVisible(), 0);
  box.session.MoveCaret(Move::kPageUp, false, false);
  EXPECT_EQ(box.Caret(), 0);
}

TEST(EditSession, WheelAndScrollBar) {
  Box box(true, 20, 5, NumberedLines(40));
  ScrollBarValues bar = box.session.VerticalBar();
  EXPECT_EQ(bar.position, 0);
  EXPECT_EQ(bar.page, 60 * 10000 / 400);  // five lines and the partly shown sixth
  box.session.Wheel(-120);
  EXPECT_EQ(box.FirstVisible(), 30);
  box.session.Wheel(240);
  EXPECT_EQ(box.FirstVisible(), 0);
  box.session.ScrollToThumb(5000);
  EXPECT_EQ(box.FirstVisible(), 200);
  EXPECT_EQ(box.session.VerticalBar().position, 5000);
  box.session.ScrollToThumb(box.session.VerticalBar().maximum);
  EXPECT_EQ(box.FirstVisible(), 360);  // the last page, down to the empty last line
  EXPECT_EQ(box.Caret(), 0);           // scrolling leaves the caret
  Box small(true, 20, 5, "short");
  EXPECT_EQ(small.session.VerticalBar().page, 10000);
}

TEST(EditSession, TheScrollBarScaleHoldsForLongTexts) {
  Box box(true, 20, 5, NumberedLines(30000));
  const long long length = static_cast<long long>(box.session.Text().size());
  ASSERT_GT(length, 300000);  // far past what offset times 10,000 fits in an int
  box.session.ScrollToThumb(7500);
  const int offset = static_cast<int>(length * 3 / 4);
  EXPECT_LE(box.FirstVisible(), offset);
  EXPECT_GT(box.FirstVisible(), offset - 12);  // the start of its line
  EXPECT_NEAR(box.session.VerticalBar().position, 7500, 1);
}

TEST(EditSession, MouseClickDragAndDoubleClick) {
  Box box(true, 20, 5, "x = foo_bar2(y);\r\nnext");
  box.session.PressAt(2 + 5 * kW, 5, false);
  EXPECT_EQ(box.Caret(), 5);
  box.session.DragTo(2 + 2 * kW, 2 + kH + 3);
  EXPECT_EQ(box.session.SelectedText(), "oo_bar2(y);\r\nne");
  box.session.SelectWordAt(2 + 7 * kW, 5);
  EXPECT_EQ(box.session.SelectedText(), "foo_bar2");
  box.session.RightClickAt(2 + 6 * kW, 5);  // inside the selection: kept
  EXPECT_EQ(box.session.SelectedText(), "foo_bar2");
  box.session.RightClickAt(2 + 1 * kW, 5);
  EXPECT_EQ(box.session.SelectedText(), "");
  EXPECT_EQ(box.Caret(), 1);
}

TEST(EditSession, DraggingBelowTheBoxScrollsOneLineAtATime) {
  Box box(true, 20, 5, NumberedLines(30));
  box.session.PressAt(2, 5, false);
  box.session.DragTo(2, 5 * kH + 50);
  EXPECT_EQ(box.FirstVisible(), 10);
  box.session.DragTo(2, 5 * kH + 50);
  EXPECT_EQ(box.FirstVisible(), 20);
  box.session.DragTo(2, -10);
  EXPECT_EQ(box.FirstVisible(), 10);
  EXPECT_EQ(box.Anchor(), 0);
  box.session.PressAt(2 + 5 * kW, 1, false);  // in the margin above the first line
  EXPECT_EQ(box.FirstVisible(), 10);
  EXPECT_EQ(box.Caret(), 15);
}

TEST(EditSession, ASingleLineBoxScrollsSidewaysToShowTheCaret) {
  Box box(false, 12, 1);
  box.session.Type(std::string(20, 'w'));
  const int width = 12 * kW;
  // A sixth of the width inside, but no further than the line's end allows.
  const int range = 20 * kW + 4 + 19;
  EXPECT_EQ(box.session.HorizontalScroll(), std::min(20 * kW - width + width / 6, range - (width + 4)));
  const CaretPlace caret = box.session.Caret();
  EXPECT_GE(caret.x, 2);
  EXPECT_LE(caret.x, 2 + width);
  box.session.MoveCaret(Move::kHome, false, false);
  EXPECT_EQ(box.session.HorizontalScroll(), 0);
}

}  // namespace
}  // namespace vrel::edit
