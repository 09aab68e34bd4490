#include "edit/edit_session.h"

#include <algorithm>
#include <utility>

#include "edit/utf8_units.h"

namespace vrel::edit {
namespace {

constexpr int kThumbScale = 10000;
constexpr int kWheelUnitsPerLine = 40;
constexpr int kScrollRangeSlack = 19;
constexpr int kFarRight = 1 << 28;
// Lines laid out below the view, so that Down and Page Down find their target.
constexpr int kLinesBelowView = 2;

std::string WithoutControlCharacters(std::string_view utf8) {
  std::string kept;
  for (char byte : utf8)
    if (static_cast<unsigned char>(byte) >= 0x20 || byte == '\t') kept += byte;
  return kept;
}

}  // namespace

EditSession::EditSession(markup::TextMeasurer& measurer, bool multi_line)
    : measurer_(measurer), multi_line_(multi_line) {
  geometry_.word_wrap = multi_line;
  model_.before_change = [this] {
    if (on_text_about_to_change) on_text_about_to_change();
  };
  model_.after_change = [this] {
    if (on_text_changed) on_text_changed();
  };
}

void EditSession::SetText(std::string text) {
  model_.SetText(std::move(text));
  geometry_.horizontal_scroll = 0;
  goal_x_ = -1;
  Invalidate();
}

std::string EditSession::SelectedText() const {
  const ViewState& state = model_.State();
  return Text().substr(state.SelectionStart(), state.SelectionEnd() - state.SelectionStart());
}

void EditSession::SetColouring(bool on) { colouring_ = on; }

void EditSession::SetClientSize(int width, int height) {
  if (width == geometry_.client_width && height == geometry_.client_height) return;
  geometry_.client_width = width;
  geometry_.client_height = height;
  Invalidate();
}

void EditSession::SetGutter(int pixels) {
  geometry_.gutter = std::max(0, pixels);
  Invalidate();
}

// ---- editing

void EditSession::Replace(int start, int end, std::string_view replacement) {
  model_.Replace(start, end, replacement, ChangeKind::kNew);
  Invalidate();
}

void EditSession::ReplaceSelection(std::string_view replacement) {
  if (read_only_) return;
  const ViewState before = model_.State();
  if (!before.HasSelection() && replacement.empty()) return;
  Replace(before.SelectionStart(), before.SelectionEnd(), replacement);
  ViewState& state = model_.State();
  state.anchor = state.caret = before.SelectionStart() + static_cast<int>(replacement.size());
  state.caret_at_line_end = false;
  goal_x_ = -1;
  EnsureCaretVisible();
  NotifySelection();
}

void EditSession::Type(std::string_view utf8) {
  const std::string typed = WithoutControlCharacters(utf8);
  if (!typed.empty()) ReplaceSelection(typed);
}

void EditSession::TypeLineBreak() { ReplaceSelection("\r\n"); }

void EditSession::Insert(std::string_view utf8) { ReplaceSelection(utf8); }

void EditSession::Backspace() {
  if (read_only_) return;
  ViewState& state = model_.State();
  if (!state.HasSelection()) state.anchor = PreviousUnit(Text(), state.caret);
  ReplaceSelection({});
}

void EditSession::DeleteForward() {
  if (read_only_) return;
  ViewState& state = model_.State();
  if (!state.HasSelection()) state.anchor = NextUnit(Text(), state.caret);
  ReplaceSelection({});
}

bool EditSession::Undo() {
  if (!CanUndo()) return false;
  model_.Undo();
  Invalidate();
  NotifySelection();
  return true;
}

bool EditSession::Redo() {
  if (!CanRedo()) return false;
  model_.Redo();
  Invalidate();
  NotifySelection();
  return true;
}

// ---- selection and caret

void EditSession::SetSelection(int anchor, int caret) {
  const ViewState before = model_.State();
  ViewState& state = model_.State();
  state.anchor = std::clamp(anchor, 0, model_.Length());
  state.caret = std::clamp(caret, 0, model_.Length());
  state.caret_at_line_end = false;
  AfterMove(before);
}

void EditSession::SelectAll() { SetSelection(0, model_.Length()); }

bool EditSession::CollapseSelection() {
  if (!model_.State().HasSelection()) return false;
  SetSelection(model_.State().caret, model_.State().caret);
  return true;
}

void EditSession::PlaceCaret(int offset, bool at_line_end, bool extend) {
  ViewState& state = model_.State();
  state.caret = std::clamp(offset, 0, model_.Length());
  state.caret_at_line_end = at_line_end;
  if (!extend) state.anchor = state.caret;
}

void EditSession::NotifySelection() {
  if (on_selection_changed) on_selection_changed(model_.State().SelectionStart(), model_.State().SelectionEnd());
}

void EditSession::AfterMove(const ViewState& before) {
  EnsureCaretVisible();
  const ViewState& state = model_.State();
  if (state.anchor != before.anchor || state.caret != before.caret) NotifySelection();
}

int EditSession::MoveByCharacter(bool right, bool jump) const {
  const int caret = model_.State().caret;
  if (jump) return right ? NextWordStart(Text(), caret) : PreviousWordStart(Text(), caret);
  return right ? NextUnit(Text(), caret) : PreviousUnit(Text(), caret);
}

void EditSession::MoveCaret(Move move, bool extend, bool jump) {
  const ViewState before = model_.State();
  if (move != Move::kUp && move != Move::kDown) goal_x_ = -1;
  // Moves by lines and pages start from where the caret is shown.
  if (move != Move::kLeft && move != Move::kRight) EnsureCaretVisible();
  switch (move) {
    case Move::kLeft:
    case Move::kRight: {
      const bool right = move == Move::kRight;
      // Without Shift, the first press towards the selection's far end only
      // drops the selection.
      const bool collapse = !extend && (right ? before.caret > before.anchor : before.caret < before.anchor);
      PlaceCaret(collapse ? before.caret : MoveByCharacter(right, jump), false, extend);
      break;
    }
    case Move::kUp:
    case Move::kDown:
      MoveByLine(move == Move::kDown, extend);
      break;
    case Move::kHome:
    case Move::kEnd: {
      const bool end = move == Move::kEnd;
      if (jump) {
        PlaceCaret(end ? model_.Length() : 0, false, extend);
        break;
      }
      const CaretPlace caret = Caret();
      const HitResult hit = HitAt(end ? kFarRight : -kFarRight, caret.y);
      PlaceCaret(hit.offset, hit.at_line_end, extend);
      break;
    }
    case Move::kPageUp:
    case Move::kPageDown:
      MoveByPage(move == Move::kPageDown, extend);
      break;
  }
  AfterMove(before);
}

void EditSession::MoveByLine(bool down, bool extend) {
  const CaretPlace caret = Caret();
  if (goal_x_ < 0) goal_x_ = caret.x;
  const int target_y = down ? caret.y + View().line_height + 1 : caret.y - 1;
  const HitResult hit = HitAt(goal_x_, target_y);
  PlaceCaret(hit.offset, hit.at_line_end, extend);
}

void EditSession::MoveByPage(bool down, bool extend) {
  const CaretPlace caret = Caret();
  const ViewLines& view = View();
  const bool shows_end = view.lines.back().end == model_.Length() &&
                         static_cast<int>(view.lines.size()) - 1 <= LastFullyVisible();
  if (down ? shows_end : view.First().start == 0) {
    PlaceCaret(down ? model_.Length() : 0, false, extend);
    return;
  }
  ScrollPages(down ? 1 : -1);
  const HitResult hit = HitAt(caret.x, caret.y);
  PlaceCaret(hit.offset, hit.at_line_end, extend);
}

// ---- mouse

// Points above the first visible line (in the margin) belong to it, not to
// the hidden lines above.
HitResult EditSession::HitInView(int x, int y) { return HitAt(x, std::max(y, View().First().top)); }

void EditSession::PressAt(int x, int y, bool extend) {
  const ViewState before = model_.State();
  goal_x_ = -1;
  const HitResult hit = HitInView(x, y);
  PlaceCaret(hit.offset, hit.at_line_end, extend);
  AfterMove(before);
}

void EditSession::DragTo(int x, int y) {
  const ViewLines& view = View();
  if (y < 0 && view.first_visible > 0) {
    ScrollLines(-1);
  } else if (y >= geometry_.client_height) {
    ScrollLines(1);
  }
  // Within the fully shown lines, so that the caret does not scroll the view again.
  const LaidLine& last_shown = View().lines[LastFullyVisible()];
  x = std::clamp(x, 0, std::max(0, geometry_.client_width - 1));
  y = std::min(y, last_shown.top + View().line_height - 1);
  PressAt(x, y, true);
}

void EditSession::SelectWordAt(int x, int y) {
  const ViewState before = model_.State();
  const HitResult hit = HitInView(x, y);
  const Range word = WordAround(Text(), hit.offset);
  ViewState& state = model_.State();
  state.anchor = word.start;
  state.caret = word.end;
  state.caret_at_line_end = word.end != word.start;
  AfterMove(before);
}

void EditSession::RightClickAt(int x, int y) {
  const HitResult hit = HitInView(x, y);
  const ViewState& state = model_.State();
  const bool inside = state.HasSelection() && hit.offset >= state.SelectionStart() && hit.offset <= state.SelectionEnd();
  if (!inside) PressAt(x, y, false);
}

void EditSession::Wheel(int delta) { ScrollLines(-delta / kWheelUnitsPerLine); }

// ---- scrolling

void EditSession::SetFirstVisible(int offset) {
  if (model_.State().first_visible == offset) return;
  model_.State().first_visible = offset;
  Invalidate();
}

int EditSession::LastFullyVisible() {
  const ViewLines& view = View();
  int last = view.first_visible;
  while (last + 1 < static_cast<int>(view.lines.size()) &&
         view.lines[last + 1].top + view.line_height <= geometry_.client_height)
    ++last;
  return last;
}

void EditSession::ScrollLines(int lines) {
  const ViewLines& view = View();
  const int last_line = static_cast<int>(view.lines.size()) - 1;
  int target = view.first_visible + lines;
  if (lines > 0) {
    // Never further than a view whose last line is the text's last.
    const int visible = LastFullyVisible() - view.first_visible + 1;
    const bool text_ends_here = view.lines.back().end == model_.Length();
    const int lowest = text_ends_here ? std::max(view.first_visible, last_line - visible + 1) : last_line;
    target = std::min(target, lowest);
  }
  target = std::clamp(target, 0, last_line);
  SetFirstVisible(view.lines[target].start);
}

void EditSession::ScrollPages(int pages) {
  const int visible = LastFullyVisible() - View().first_visible + 1;
  ScrollLines(pages * visible);
}

void EditSession::ScrollToTop() { SetFirstVisible(0); }

void EditSession::ScrollToBottom() {
  SetFirstVisible(model_.Length());
  const ViewLines& view = View();
  const int last_line = static_cast<int>(view.lines.size()) - 1;
  SetFirstVisible(view.lines[std::max(0, last_line - view.page_lines + 1)].start);
}

void EditSession::ScrollToThumb(int position) {
  const ScrollBarValues bar = VerticalBar();
  if (position >= bar.maximum && bar.maximum > 0) return ScrollToBottom();
  const long long offset = static_cast<long long>(position) * model_.Length() / kThumbScale;
  SetFirstVisible(static_cast<int>(offset));
  SetFirstVisible(View().First().start);
}

ScrollBarValues EditSession::VerticalBar() {
  const ViewLines& view = View();
  const long long length = model_.Length();
  ScrollBarValues bar;
  const int shown_lines = static_cast<int>(view.lines.size()) - view.first_visible;
  if (length == 0 || (view.first_visible == 0 && shown_lines <= 2 && view.lines.back().end == length)) {
    bar.page = kThumbScale;
    return bar;
  }
  auto on_scale = [&](long long offset) { return static_cast<int>(offset * kThumbScale / length); };
  bar.position = on_scale(view.First().start);
  bar.page = std::max(1, on_scale(view.lines[view.last_visible].next) - bar.position);
  bar.maximum = std::max(0, kThumbScale - bar.page);
  bar.position = std::min(bar.position, bar.maximum);
  return bar;
}

// ---- keeping the caret in view

int EditSession::CaretLine() {
  return View().LineOf(model_.State().caret, model_.State().caret_at_line_end);
}

void EditSession::EnsureCaretVisible() {
  const int line = CaretLine();
  const int first = View().first_visible;
  const int last = LastFullyVisible();
  if (line == first - 1 && line >= 0) {
    SetFirstVisible(View().lines[line].start);
  } else if (line == last + 1 && line > first) {
    SetFirstVisible(View().lines[first + 1].start);
  } else if (line < first || line > last) {
    // Far away: lay out again with the caret's line a third down the view.
    SetFirstVisible(model_.State().caret);
    SetFirstVisible(View().First().start);
    const int caret_line = CaretLine();
    if (caret_line >= 0) ScrollLines(std::min(0, caret_line - View().first_visible - View().page_lines / 3));
  }
  if (!multi_line_) EnsureCaretVisibleHorizontally(Caret());
}

void EditSession::EnsureCaretVisibleHorizontally(const CaretPlace& caret) {
  if (caret.height == 0) return;
  const int width = geometry_.TextWidth();
  const int left = geometry_.gutter + geometry_.horizontal_margin;
  const int right = left + width;
  int scroll = geometry_.horizontal_scroll;
  if (caret.x > right) {
    const int outside = caret.x - right;
    scroll += outside > width / 6 ? outside + width / 6 : width / 3;
  } else if (caret.x < left) {
    const int outside = left - caret.x;
    scroll -= outside > width / 6 ? outside + width / 6 : width / 3;
  } else {
    return;
  }
  const int range = View().widest + 2 * geometry_.horizontal_margin + kScrollRangeSlack;
  scroll = std::clamp(scroll, 0, std::max(0, range - geometry_.client_width + geometry_.gutter));
  if (scroll == geometry_.horizontal_scroll) return;
  geometry_.horizontal_scroll = scroll;
  Invalidate();
}

// ---- layout

const ViewLines& EditSession::View() {
  if (const int changed = model_.EarliestChange(); changed != kNoChange) {
    colours_.Invalidate(changed);
    line_starts_.Invalidate(changed);
    model_.ForgetEarliestChange();
    view_valid_ = false;
  }
  if (!view_valid_) {
    const int below = kLinesBelowView * std::max(1, measurer_.Height(markup::FontStyle{}));
    view_ = LayOutView(Text(), measurer_, geometry_, model_.State().first_visible, line_starts_, below);
    model_.State().first_visible = view_.First().start;
    view_valid_ = true;
  }
  return view_;
}

LineBreaker EditSession::Breaker() const { return LineBreaker(Text(), measurer_, geometry_); }

DrawList EditSession::Draw() {
  const ViewLines& view = View();
  return BuildDrawList(Text(), view, Breaker(), model_.State(), colouring_ ? &colours_ : nullptr);
}

CaretPlace EditSession::Caret() { return PlaceOf(model_.State().caret, model_.State().caret_at_line_end); }

CaretPlace EditSession::PlaceOf(int offset, bool at_line_end) {
  const ViewLines& view = View();
  return LocateCaret(view, Breaker(), offset, at_line_end);
}

HitResult EditSession::HitAt(int x, int y) {
  const ViewLines& view = View();
  return HitTest(Text(), view, Breaker(), x, y);
}

}  // namespace vrel::edit
