#include "edit/edit_layout.h"

#include <algorithm>

#include "edit/utf8_units.h"
#include "xml/xml_encoding.h"

namespace vrel::edit {
namespace {

constexpr int kWidthCheckEvery = 30;
constexpr int kCacheLineSpacing = 60;
constexpr int kCacheByteSpacing = 200;
// A change can move the wrap point just before it: a line's end is decided
// by a width check at most 30 characters (of up to 6 bytes) further on.
constexpr int kCacheSafety = 256;
constexpr int kEmptyLineBar = 2;

int Size(std::string_view text) { return static_cast<int>(text.size()); }

// Start of the layout: about a page of hard lines above first_visible, but
// never before floor, a line start known from the cache.
int FindAnchor(std::string_view text, int first_visible, int page_lines, int floor) {
  int breaks = 0;
  int pos = first_visible;
  for (; pos > floor; --pos) {
    if (text[pos - 1] != '\n') continue;
    // After the LF of an LF CR pair the CR still belongs to the break.
    const bool inside_pair = pos < Size(text) && text[pos] == '\r' && !(pos >= 2 && text[pos - 2] == '\r');
    if (!inside_pair && ++breaks > page_lines) break;
  }
  return pos;
}

std::vector<int> UnitBoundaries(std::string_view text, int start, int end) {
  std::vector<int> boundaries{start};
  for (int pos = start; pos < end;) boundaries.push_back(pos = std::min(end, NextUnit(text, pos)));
  return boundaries;
}

}  // namespace

int LayoutGeometry::TextWidth() const {
  return std::max(kMinTextWidth, client_width - gutter - 2 * horizontal_margin);
}

int NextTabStop(int x) { return (std::max(0, x) / kTabStop + 1) * kTabStop; }

LineBreaker::LineBreaker(std::string_view text, markup::TextMeasurer& measurer, const LayoutGeometry& geometry)
    : text_(text),
      measurer_(measurer),
      line_height_(std::max(1, measurer.Height(markup::FontStyle{}))),
      width_(geometry.TextWidth()),
      wrap_(geometry.word_wrap) {}

int LineBreaker::Width(int from, int to) const {
  if (from >= to) return 0;
  const std::string_view bytes = text_.substr(from, to - from);
  scratch_.clear();
  for (char byte : bytes) {
    if (static_cast<unsigned char>(byte) >= 0x80) {
      scratch_ = Utf8ToUtf16(bytes);
      break;
    }
    scratch_ += static_cast<char16_t>(byte);
  }
  return measurer_.Width(scratch_, markup::FontStyle{});
}

int LineBreaker::XAt(const LaidLine& line, int offset) const {
  int x = 0;
  int segment = line.start;
  for (;;) {
    const std::size_t tab = text_.substr(segment, offset - segment).find('\t');
    if (tab == std::string_view::npos) return x + Width(segment, offset);
    x = NextTabStop(x + Width(segment, segment + static_cast<int>(tab)));
    segment += static_cast<int>(tab) + 1;
  }
}

// The last character boundary after start at which [start, limit) still fits,
// but at least one character.
int LineBreaker::FitInto(int start, int limit) const {
  const std::vector<int> boundaries = UnitBoundaries(text_, start, limit);
  const auto fitting = std::partition_point(boundaries.begin() + 1, boundaries.end(),
                                            [&](int end) { return Width(start, end) <= width_; });
  return fitting == boundaries.begin() + 1 ? boundaries[1] : *(fitting - 1);
}

LaidLine LineBreaker::BreakLine(int start) const {
  const int size = Size(text_);
  LaidLine line{start, start, start, 0, 0, false};
  // A line ends at a break character or the end of the text, or at a wrap point.
  auto finish = [&](int end) {
    line.end = end;
    const bool hard = end >= size || IsLineBreak(text_[end]);
    line.next = hard ? NextUnit(text_, end) : end;
    line.wrapped = !hard;
  };
  int pos = start, count = 0;
  int checked = start, checked_x = 0;  // last width check, which fitted
  int blank_break = -1;                // after the last blank that fitted
  auto fits = [&](int to) {
    const int x = checked_x + Width(checked, to);
    if (x > width_) return false;
    checked = to;
    checked_x = x;
    return true;
  };
  auto wrap_before = [&](int limit) {
    if (blank_break > start) return finish(blank_break);
    int end = FitInto(start, limit);
    if (end < size && text_[end] == ' ') ++end;  // a blank at the break stays on the line
    finish(end);
  };
  for (;;) {
    if (pos >= size || IsLineBreak(text_[pos])) {
      if (wrap_ && !fits(pos)) wrap_before(pos);
      else finish(pos);
      break;
    }
    if (count == kMaxLineCharacters) {
      finish(pos);
      break;
    }
    if (text_[pos] == ' ' && wrap_) {
      if (!fits(pos)) {
        wrap_before(pos);
        break;
      }
      blank_break = pos + 1;
    } else if (text_[pos] == '\t') {
      const int x = checked_x + Width(checked, pos);
      if (wrap_ && x > width_) {
        wrap_before(pos);
        break;
      }
      const int stop = NextTabStop(x);
      if (wrap_ && stop > width_ && pos != start) {
        finish(pos);
        break;
      }
      checked = blank_break = pos + 1;
      checked_x = stop;
    }
    pos = NextUnit(text_, pos);
    ++count;
    if (wrap_ && count % kWidthCheckEvery == 0 && !fits(pos)) {
      wrap_before(pos);
      break;
    }
  }
  if (!wrap_) line.width = XAt(line, line.end);
  return line;
}

void LineStartCache::UseGeometry(int text_width, bool word_wrap) {
  if (text_width == text_width_ && word_wrap == word_wrap_) return;
  entries_.clear();
  view_page_above_ = view_first_visible_ = -1;
  text_width_ = text_width;
  word_wrap_ = word_wrap;
}

void LineStartCache::Invalidate(int changed_offset) {
  const auto first_stale = std::upper_bound(entries_.begin(), entries_.end(), changed_offset - kCacheSafety);
  entries_.erase(first_stale, entries_.end());
  if (view_page_above_ > changed_offset - kCacheSafety) view_page_above_ = view_first_visible_ = -1;
}

void LineStartCache::NoteView(int page_above, int first_visible) {
  view_page_above_ = page_above;
  view_first_visible_ = first_visible;
}

int LineStartCache::AnchorBefore(int offset) const {
  // Entries lie at least a page of lines apart, so the second one back leaves
  // a page above the view.
  const auto after = std::upper_bound(entries_.begin(), entries_.end(), offset);
  const auto count = after - entries_.begin();
  const int entry = count >= 2 ? *(after - 2) : 0;
  const bool view_holds = view_first_visible_ >= 0 && view_first_visible_ <= offset;
  return view_holds ? std::max(entry, view_page_above_) : entry;
}

bool LineStartCache::Note(int line_start, int lines_since_previous_note) {
  if (lines_since_previous_note < kCacheLineSpacing) return false;
  const auto after = std::upper_bound(entries_.begin(), entries_.end(), line_start);
  const bool near_previous = after != entries_.begin() && line_start - *(after - 1) <= kCacheByteSpacing;
  const bool near_next = after != entries_.end() && *after - line_start <= kCacheByteSpacing;
  if (!near_previous && !near_next) entries_.insert(after, line_start);
  return true;
}

int ViewLines::LineOf(int offset, bool at_line_end) const {
  for (int index = 0; index < static_cast<int>(lines.size()); ++index) {
    const LaidLine& line = lines[index];
    if (offset < line.start) return -1;
    const bool before_break = line.wrapped ? offset < line.end : offset < line.next;
    if (before_break || (offset == line.end && (at_line_end || !line.wrapped))) return index;
  }
  return -1;
}

ViewLines LayOutView(std::string_view text, markup::TextMeasurer& measurer, const LayoutGeometry& geometry,
                     int first_visible, LineStartCache& cache, int extra_height) {
  const LineBreaker breaker(text, measurer, geometry);
  cache.UseGeometry(geometry.TextWidth(), geometry.word_wrap);
  ViewLines view;
  view.line_height = breaker.LineHeight();
  view.text_left = geometry.TextLeft();
  view.page_lines = std::max(1, (geometry.client_height - 2 * geometry.vertical_margin) / view.line_height);
  const int size = Size(text);
  first_visible = std::clamp(first_visible, 0, size);
  const int bottom = geometry.client_height + extra_height;

  int first = -1;
  int since_note = 0;
  for (int start = FindAnchor(text, first_visible, view.page_lines, cache.AnchorBefore(first_visible));;) {
    const LaidLine line = breaker.BreakLine(start);
    if (cache.Note(line.start, since_note++)) since_note = 1;
    view.lines.push_back(line);
    const int index = static_cast<int>(view.lines.size()) - 1;
    if (first < 0 && (first_visible < line.next || line.end == size)) first = index;
    const bool past_bottom = first >= 0 && geometry.vertical_margin + (index + 1 - first) * view.line_height >= bottom;
    if (line.end == size || past_bottom) break;
    start = line.next;
  }
  const int dropped = std::max(0, first - view.page_lines);
  view.lines.erase(view.lines.begin(), view.lines.begin() + dropped);
  view.first_visible = first - dropped;
  for (int index = 0; index < static_cast<int>(view.lines.size()); ++index) {
    LaidLine& line = view.lines[index];
    line.top = geometry.vertical_margin + (index - view.first_visible) * view.line_height;
    if (!geometry.word_wrap) view.widest = std::max(view.widest, line.width);
    if (index >= view.first_visible && line.top < geometry.client_height) view.last_visible = index;
  }
  view.last_visible = std::max(view.last_visible, view.first_visible);
  cache.NoteView(view.lines.front().start, view.First().start);
  return view;
}

CaretPlace LocateCaret(const ViewLines& view, const LineBreaker& breaker, int caret,
                       bool caret_at_line_end) {
  CaretPlace place;
  place.line = view.LineOf(caret, caret_at_line_end);
  if (place.line < 0) return place;
  const LaidLine& line = view.lines[place.line];
  place.x = view.text_left + breaker.XAt(line, std::min(caret, line.end));
  place.y = line.top;
  place.height = view.line_height;
  return place;
}

HitResult HitTest(std::string_view text, const ViewLines& view, const LineBreaker& breaker, int x, int y) {
  auto below = std::partition_point(view.lines.begin(), view.lines.end(), [&](const LaidLine& line) { return line.top <= y; });
  const LaidLine& line = below == view.lines.begin() ? view.lines.front() : *(below - 1);
  const int pixel = x - view.text_left;
  if (pixel <= 0) return {line.start, false};
  const std::vector<int> boundaries = UnitBoundaries(text, line.start, line.end);
  // The first character whose middle lies right of the point.
  auto middle_right = [&](int start_index) {
    const int left = breaker.XAt(line, boundaries[start_index]);
    const int right = breaker.XAt(line, boundaries[start_index + 1]);
    return (left + right) / 2 > pixel;
  };
  int low = 0, high = static_cast<int>(boundaries.size()) - 1;  // answer in [low, high]
  while (low < high) {
    const int middle = (low + high) / 2;
    if (middle_right(middle)) high = middle;
    else low = middle + 1;
  }
  const int offset = boundaries[low];
  return {offset, offset > line.start};
}

namespace {

// Gathers one line's characters into runs of one colour and selection state.
class LineRunBuilder {
 public:
  LineRunBuilder(std::string_view text, const LineBreaker& breaker, const LaidLine& line, int text_left, DrawList& list)
      : text_(text), breaker_(breaker), line_(line), left_(text_left), list_(list), segment_(line.start), run_start_(line.start) {}

  void Add(int pos, int colour, bool selected) {
    if (pos == run_start_) {
      colour_ = colour;
      selected_ = selected;
    } else if (colour != colour_ || selected != selected_) {
      Flush(pos);
      colour_ = colour;
      selected_ = selected;
    }
  }

  void AddTab(int pos, bool selected) {
    Flush(pos);
    const int tab_left = segment_x_ + breaker_.Width(segment_, pos);
    const int tab_right = NextTabStop(tab_left);
    if (selected) list_.highlights.push_back({left_ + tab_left, line_.top, tab_right - tab_left, list_.line_height});
    segment_ = run_start_ = pos + 1;
    segment_x_ = tab_right;
  }

  void Flush(int end) {
    if (end <= run_start_) return;
    const int x = segment_x_ + breaker_.Width(segment_, run_start_);
    const int width = segment_x_ + breaker_.Width(segment_, end) - x;
    list_.runs.push_back({left_ + x, line_.top, width, Utf8ToUtf16(text_.substr(run_start_, end - run_start_)), colour_, selected_});
    run_start_ = end;
  }

 private:
  std::string_view text_;
  const LineBreaker& breaker_;
  const LaidLine& line_;
  int left_;
  DrawList& list_;
  int segment_;  // after the last tab, where segment_x_ lies
  int segment_x_ = 0;
  int run_start_;
  int colour_ = kPlainColour;
  bool selected_ = false;
};

}  // namespace

DrawList BuildDrawList(std::string_view text, const ViewLines& view, const LineBreaker& breaker,
                       const ViewState& state, ColourCheckpoints* colours) {
  DrawList list;
  list.line_height = view.line_height;
  const int selection_start = state.SelectionStart(), selection_end = state.SelectionEnd();
  int colour_pos = view.First().start;
  ColourState colour_state = colours ? colours->StateAt(text, colour_pos) : 0;
  for (int index = view.first_visible; index <= view.last_visible && index < static_cast<int>(view.lines.size()); ++index) {
    const LaidLine& line = view.lines[index];
    if (colours)
      for (; colour_pos < line.start; ++colour_pos) colour_state = StepColour(colour_state, text, colour_pos);
    LineRunBuilder builder(text, breaker, line, view.text_left, list);
    for (int pos = line.start; pos < line.end; pos = NextUnit(text, pos)) {
      const bool selected = pos >= selection_start && pos < selection_end;
      int colour = kPlainColour;
      if (colours) {
        colour_state = StepColour(colour_state, text, colour_pos);
        colour = ColourIndexOf(colour_state);
        for (++colour_pos; colour_pos < NextUnit(text, pos); ++colour_pos) colour_state = StepColour(colour_state, text, colour_pos);
      }
      if (text[pos] == '\t') builder.AddTab(pos, selected);
      else builder.Add(pos, colour, selected);
    }
    builder.Flush(line.end);
    const bool empty_with_break = line.start == line.end && line.next > line.end;
    if (empty_with_break && selection_start <= line.end && line.end < selection_end)
      list.highlights.push_back({view.text_left, line.top, kEmptyLineBar, view.line_height});
  }
  return list;
}

}  // namespace vrel::edit
