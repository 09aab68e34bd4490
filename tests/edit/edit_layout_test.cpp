#include "edit/edit_layout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixed_width_measurer.h"

namespace vrel::edit {
namespace {

using testing::FixedWidthMeasurer;
constexpr int kW = FixedWidthMeasurer::kCharWidth;
constexpr int kH = FixedWidthMeasurer::kLineHeight;

// Client areas whose text area is chars characters wide (margins of 2).
LayoutGeometry Geometry(int chars, bool wrap, int lines = 10) {
  LayoutGeometry geometry;
  geometry.client_width = chars * kW + 4;
  geometry.client_height = lines * kH + 4;
  geometry.word_wrap = wrap;
  return geometry;
}

struct Laid {
  FixedWidthMeasurer measurer;
  LineStartCache cache;
  ViewLines view;
  std::string text;
  LayoutGeometry geometry;

  Laid(std::string source, LayoutGeometry geometry_in, int first_visible = 0)
      : text(std::move(source)), geometry(geometry_in) {
    view = LayOutView(text, measurer, geometry, first_visible, cache);
  }
  LineBreaker Breaker() { return LineBreaker(text, measurer, geometry); }
  std::vector<std::string> Lines() const {
    std::vector<std::string> shown;
    for (const LaidLine& line : view.lines) shown.push_back(text.substr(line.start, line.end - line.start));
    return shown;
  }
};

using Lines = std::vector<std::string>;

TEST(EditLayout, LineBreaksEndLinesAndAFinalBreakLeavesAnEmptyLine) {
  Laid laid("ab\r\ncd\ne\rf\n\rg\r\n", Geometry(20, true));
  EXPECT_EQ(laid.Lines(), (Lines{"ab", "cd", "e", "f", "g", ""}));
  EXPECT_EQ(laid.view.lines[0].next, 4);
  EXPECT_EQ(laid.view.lines[3].next, 12);  // LF CR is one break
}

TEST(EditLayout, WordWrapBreaksAfterTheLastBlankThatFits) {
  Laid laid("aaaa bbbb cccc dddd", Geometry(10, true));
  EXPECT_EQ(laid.Lines(), (Lines{"aaaa bbbb ", "cccc dddd"}));
  EXPECT_TRUE(laid.view.lines[0].wrapped);
  EXPECT_FALSE(laid.view.lines[1].wrapped);
}

TEST(EditLayout, AWordWiderThanTheLineBreaksAfterTheLastCharacterThatFits) {
  Laid laid("abcdefghijklmnopqrstuvwxyz", Geometry(10, true));
  EXPECT_EQ(laid.Lines(), (Lines{"abcdefghij", "klmnopqrst", "uvwxyz"}));
  Laid blank_at_break("abcdefghij klm", Geometry(10, true));
  EXPECT_EQ(blank_at_break.Lines(), (Lines{"abcdefghij ", "klm"}));  // the blank stays on the line
}

TEST(EditLayout, WithoutWrapALongLineIsCutAtFiveHundredCharacters) {
  Laid laid(std::string(600, 'x'), Geometry(10, false));
  ASSERT_EQ(laid.view.lines.size(), 2u);
  EXPECT_EQ(laid.view.lines[0].end, 500);
  EXPECT_EQ(laid.view.lines[1].start, 500);
  EXPECT_EQ(laid.view.lines[1].end, 600);
  EXPECT_EQ(laid.view.widest, 500 * kW);
}

TEST(EditLayout, TabsAdvanceToTheNextMultipleOfThirtySixPixels) {
  Laid laid("abcd\tx\t\ty", Geometry(40, true));
  LineBreaker breaker = laid.Breaker();
  const LaidLine& line = laid.view.lines[0];
  EXPECT_EQ(breaker.XAt(line, 4), 40);
  EXPECT_EQ(breaker.XAt(line, 5), 72);
  EXPECT_EQ(breaker.XAt(line, 6), 82);
  EXPECT_EQ(breaker.XAt(line, 8), 144);  // 82 -> 108 -> 144
  EXPECT_EQ(NextTabStop(36), 72);
  EXPECT_EQ(NextTabStop(0), 36);
}

TEST(EditLayout, WithWrapATabPastTheEdgeMovesToTheNextLine) {
  Laid laid("abcdefgh\tx", Geometry(10, true));
  EXPECT_EQ(laid.Lines(), (Lines{"abcdefgh", "\tx"}));
}

TEST(EditLayout, TheCaretAtAWrapPointFollowsItsLineHint) {
  Laid laid("aaaa bbbb cccc dddd", Geometry(10, true));
  LineBreaker breaker = laid.Breaker();
  const CaretPlace at_end = LocateCaret(laid.view, breaker, 10, true);
  EXPECT_EQ(at_end.line, 0);
  EXPECT_EQ(at_end.x, 2 + 10 * kW);
  const CaretPlace at_start = LocateCaret(laid.view, breaker, 10, false);
  EXPECT_EQ(at_start.line, 1);
  EXPECT_EQ(at_start.x, 2);
  EXPECT_EQ(at_start.y, 2 + kH);
  EXPECT_EQ(at_start.height, kH);
}

TEST(EditLayout, HitTestFindsTheNearestCharacterBoundary) {
  Laid laid("abcdef\r\nxy\tz", Geometry(20, true));
  LineBreaker breaker = laid.Breaker();
  auto hit = [&](int x, int y) { return HitTest(laid.text, laid.view, breaker, x, y); };
  EXPECT_EQ(hit(0, 5).offset, 0);
  EXPECT_FALSE(hit(0, 5).at_line_end);
  EXPECT_EQ(hit(2 + 14, 5).offset, 1);  // right of a's middle, left of b's
  EXPECT_TRUE(hit(2 + 14, 5).at_line_end);
  EXPECT_EQ(hit(2 + 16, 5).offset, 2);
  EXPECT_EQ(hit(5000, 5).offset, 6);    // the line's end, before its break
  EXPECT_EQ(hit(2 + 40, 2 + kH).offset, 11);  // the tab spans 20..36: its middle is 28
  EXPECT_EQ(hit(2 + 42, 2 + kH).offset, 12);
  EXPECT_EQ(hit(2 + 27, 2 + kH).offset, 10);
  EXPECT_EQ(hit(2 + 29, 2 + kH).offset, 11);
  EXPECT_EQ(hit(2 + 4, 500).offset, 8);  // below the text: the last line
}

TEST(EditLayout, ViewStartsAtTheLineOfTheFirstVisibleOffsetWithAPageAbove) {
  std::string text;
  for (int line = 0; line < 40; ++line) text += "line " + std::to_string(100 + line) + "\r\n";
  const int line_length = 10;
  Laid laid(text, Geometry(20, true, 5), 20 * line_length + 3);
  EXPECT_EQ(laid.view.First().start, 20 * line_length);
  EXPECT_EQ(laid.view.First().top, 2);
  EXPECT_EQ(laid.view.page_lines, 5);
  EXPECT_EQ(laid.view.first_visible, 5);  // a page of lines above
  EXPECT_EQ(laid.view.lines.front().top, 2 - 5 * kH);
  EXPECT_EQ(laid.view.lines[laid.view.last_visible].start, 25 * line_length);
  EXPECT_LT(laid.view.lines.size(), 14u);  // laid out only down to the view's bottom
}

TEST(EditLayout, AFirstVisibleOffsetPastTheEndShowsTheLastLine) {
  Laid laid("one\r\ntwo", Geometry(20, true), 999);
  EXPECT_EQ(laid.view.First().start, 5);
}

// Deep inside one long wrapped paragraph the view starts from remembered line
// starts; they must be real line starts, also after an edit above the view.
TEST(EditLayout, RememberedLineStartsMatchALayoutFromTheStart) {
  std::string text;
  for (int word = 0; text.size() < 60000; ++word) text += std::string(1 + word * 7 % 11, 'a' + word % 26) + ' ';
  FixedWidthMeasurer measurer;
  LayoutGeometry geometry = Geometry(30, true, 8);
  auto all_starts = [&] {
    std::vector<int> starts;
    LineBreaker breaker(text, measurer, geometry);
    for (int start = 0; start < static_cast<int>(text.size()); start = breaker.BreakLine(start).next) starts.push_back(start);
    return starts;
  };
  LineStartCache cache;
  for (int offset = 0; offset < static_cast<int>(text.size()); offset += 3000) LayOutView(text, measurer, geometry, offset, cache);
  ASSERT_GT(cache.Entries().size(), 5u);
  const std::vector<int> starts = all_starts();
  for (int entry : cache.Entries()) EXPECT_TRUE(std::binary_search(starts.begin(), starts.end(), entry)) << entry;

  text.insert(20000, "zzz ");
  cache.Invalidate(20000);
  const ViewLines view = LayOutView(text, measurer, geometry, 40000, cache);
  const std::vector<int> new_starts = all_starts();
  for (const LaidLine& line : view.lines) EXPECT_TRUE(std::binary_search(new_starts.begin(), new_starts.end(), line.start)) << line.start;
  measurer.calls = 0;
  LayOutView(text, measurer, geometry, 50000, cache);
  EXPECT_LT(measurer.calls, 5000);  // not laid out from the paragraph's start
}

TEST(EditLayout, DrawRunsFollowTheColours) {
  Laid laid("<a href='x'>text</a>", Geometry(40, true));
  ColourCheckpoints colours;
  const DrawList list = BuildDrawList(laid.text, laid.view, laid.Breaker(), ViewState{}, &colours);
  std::vector<std::pair<std::u16string, int>> runs;
  for (const DrawRun& run : list.runs) runs.emplace_back(run.text, run.colour);
  const std::vector<std::pair<std::u16string, int>> expected{
      {u"<", 2}, {u"a href", 3}, {u"='", 2}, {u"x", 1}, {u"'>", 2}, {u"text", 1}, {u"</", 2}, {u"a", 3}, {u">", 2}};
  EXPECT_EQ(runs, expected);
  EXPECT_EQ(list.runs[3].x, 2 + 9 * kW);
  EXPECT_EQ(list.runs[3].width, kW);
  const DrawList plain = BuildDrawList(laid.text, laid.view, laid.Breaker(), ViewState{}, nullptr);
  ASSERT_EQ(plain.runs.size(), 1u);
  EXPECT_EQ(plain.runs[0].colour, kPlainColour);
}

TEST(EditLayout, SelectedEmptyLinesShowABarAndSelectedTabsABox) {
  Laid laid("ab\r\n\r\nc\td", Geometry(40, true));
  ViewState all{0, static_cast<int>(laid.text.size()), 0, false};
  const DrawList list = BuildDrawList(laid.text, laid.view, laid.Breaker(), all, nullptr);
  ASSERT_EQ(list.highlights.size(), 2u);
  EXPECT_EQ(list.highlights[0].x, 2);
  EXPECT_EQ(list.highlights[0].y, 2 + kH);
  EXPECT_EQ(list.highlights[0].width, 2);
  EXPECT_EQ(list.highlights[1].x, 2 + kW);
  EXPECT_EQ(list.highlights[1].width, 36 - kW);
  for (const DrawRun& run : list.runs) EXPECT_TRUE(run.selected);

  ViewState part{1, 2, 0, false};  // "b" only: no bar on the non-empty line
  const DrawList partial = BuildDrawList(laid.text, laid.view, laid.Breaker(), part, nullptr);
  EXPECT_TRUE(partial.highlights.empty());
  ASSERT_GE(partial.runs.size(), 2u);
  EXPECT_EQ(partial.runs[0].text, u"a");
  EXPECT_FALSE(partial.runs[0].selected);
  EXPECT_EQ(partial.runs[1].text, u"b");
  EXPECT_TRUE(partial.runs[1].selected);
}

}  // namespace
}  // namespace vrel::edit
