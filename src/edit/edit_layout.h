#pragma once

// Line layout of the edited text: line breaking with and without word wrap,
// tab stops, the lines around the view, the caret position, the hit test and
// the runs to draw. Text is measured through the mark-up control's measurer.

#include <string>
#include <string_view>
#include <vector>

#include "edit/colouring.h"
#include "edit/text_model.h"
#include "markup/layout/text_measurer.h"

namespace vrel::edit {

constexpr int kMaxLineCharacters = 500;
constexpr int kTabStop = 36;
constexpr int kMinTextWidth = 20;

struct LayoutGeometry {
  int client_width = 0;
  int client_height = 0;
  int horizontal_margin = 2;
  int vertical_margin = 2;
  int gutter = 0;
  int horizontal_scroll = 0;
  bool word_wrap = true;

  int TextLeft() const { return gutter + horizontal_margin - horizontal_scroll; }
  int TextWidth() const;
  bool operator==(const LayoutGeometry&) const = default;
};

// One visual line. [start, end) is shown; [end, next) is its line break.
struct LaidLine {
  int start = 0;
  int end = 0;
  int next = 0;
  int top = 0;
  int width = 0;  // measured without word wrap only
  // Ends at a wrap point: the next line starts at end, so an offset there
  // may belong to either line.
  bool wrapped = false;
};

// Measures and breaks lines of one text at one width.
class LineBreaker {
 public:
  LineBreaker(std::string_view text, markup::TextMeasurer& measurer, const LayoutGeometry& geometry);

  LaidLine BreakLine(int start) const;
  // Pixels from the line's left edge to offset, tabs included.
  int XAt(const LaidLine& line, int offset) const;
  // Width of [from, to), which holds no tab.
  int Width(int from, int to) const;
  int LineHeight() const { return line_height_; }

 private:
  int FitInto(int start, int limit) const;

  std::string_view text_;
  markup::TextMeasurer& measurer_;
  mutable std::u16string scratch_;  // the measured text in UTF-16, kept to save allocations
  int line_height_;
  int width_;
  bool wrap_;
};

int NextTabStop(int x);

// Line starts remembered far apart, so that a view deep inside one long
// wrapped paragraph need not be laid out from the paragraph's start.
class LineStartCache {
 public:
  // Entries hold only for one geometry; another one empties the cache.
  void UseGeometry(int text_width, bool word_wrap);
  void Invalidate(int changed_offset);
  // A known line start at or before offset with about a page of lines between.
  int AnchorBefore(int offset) const;
  // Offered every laid-out line; true when the count of lines starts again.
  bool Note(int line_start, int lines_since_previous_note);
  // The last view: its first visible line and the line a page above it, where
  // the next layout can start while the view stays or moves down.
  void NoteView(int page_above, int first_visible);
  const std::vector<int>& Entries() const { return entries_; }

 private:
  std::vector<int> entries_;
  int view_page_above_ = -1;
  int view_first_visible_ = -1;
  int text_width_ = -1;
  bool word_wrap_ = false;
};

// The lines from about a page above the view to its bottom.
struct ViewLines {
  std::vector<LaidLine> lines;
  int first_visible = 0;  // index into lines
  int last_visible = 0;   // index of the last line that shows any part
  int line_height = 1;
  int text_left = 0;
  int widest = 0;  // without word wrap: widest laid-out line
  int page_lines = 1;

  const LaidLine& First() const { return lines[first_visible]; }
  // Index of the line that holds offset, or -1; at a wrap point the hint picks.
  int LineOf(int offset, bool at_line_end) const;
};

// Lays out from a line start at or before first_visible (pulled into the text)
// down to the bottom of the client area plus extra_height.
ViewLines LayOutView(std::string_view text, markup::TextMeasurer& measurer, const LayoutGeometry& geometry,
                     int first_visible, LineStartCache& cache, int extra_height = 0);

struct CaretPlace {
  int x = 0, y = 0, height = 0;  // height 0: not on a laid-out line
  int line = -1;
};
CaretPlace LocateCaret(const ViewLines& view, const LineBreaker& breaker, int caret,
                       bool caret_at_line_end);

struct HitResult {
  int offset = 0;
  bool at_line_end = false;
};
HitResult HitTest(std::string_view text, const ViewLines& view, const LineBreaker& breaker, int x, int y);

// Draw lists: what a paint puts on the screen, in client coordinates.
struct DrawRun {
  int x = 0, y = 0, width = 0;
  std::u16string text;
  int colour = kPlainColour;
  bool selected = false;
};
struct DrawBox {
  int x = 0, y = 0, width = 0, height = 0;
};
struct DrawList {
  std::vector<DrawRun> runs;
  std::vector<DrawBox> highlights;  // selected tabs and empty selected lines
  int line_height = 1;
};

// colours is null when colouring is off.
DrawList BuildDrawList(std::string_view text, const ViewLines& view, const LineBreaker& breaker,
                       const ViewState& state, ColourCheckpoints* colours);

}  // namespace vrel::edit
