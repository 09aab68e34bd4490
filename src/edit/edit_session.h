#pragma once

// One text box's behaviour without a window: editing, undo and redo, caret
// movement by characters, words, lines and pages, mouse selection, scrolling
// and keeping the caret in view. The widget turns events into these calls
// and paints what Draw() returns.

#include <functional>
#include <string>
#include <string_view>

#include "edit/colouring.h"
#include "edit/edit_layout.h"
#include "edit/text_model.h"
#include "markup/layout/text_measurer.h"

namespace vrel::edit {

enum class Move { kLeft, kRight, kUp, kDown, kHome, kEnd, kPageUp, kPageDown };

struct ScrollBarValues {
  int maximum = 0;  // largest position; the thumb covers [position, position + page)
  int page = 0;
  int position = 0;
};

class EditSession {
 public:
  // A multi-line box wraps words; a single-line box scrolls sideways instead.
  EditSession(markup::TextMeasurer& measurer, bool multi_line);

  // Called before and after every change of the text, and after every change
  // of caret or selection with the selection's start and end.
  std::function<void()> on_text_about_to_change;
  std::function<void()> on_text_changed;
  std::function<void(int, int)> on_selection_changed;

  void SetText(std::string text);
  const std::string& Text() const { return model_.Text(); }
  const ViewState& State() const { return model_.State(); }
  std::string SelectedText() const;
  const TextModel& Model() const { return model_; }

  void SetReadOnly(bool read_only) { read_only_ = read_only; }
  bool ReadOnly() const { return read_only_; }
  void SetColouring(bool on);
  bool Colouring() const { return colouring_; }
  void SetClientSize(int width, int height);
  void SetGutter(int pixels);
  const LayoutGeometry& Geometry() const { return geometry_; }

  // Edits; each one is a step of the undo history. All refuse a read-only box.
  // Inserts typed characters: control characters other than tab are dropped.
  void Type(std::string_view utf8);
  // Enter in a multi-line box: a CR LF line break.
  void TypeLineBreak();
  // Pasted or programmatic text, line breaks included.
  void Insert(std::string_view utf8);
  void Backspace();
  void DeleteForward();
  bool Undo();
  bool Redo();
  bool CanUndo() const { return !read_only_ && model_.CanUndo(); }
  bool CanRedo() const { return !read_only_ && model_.CanRedo(); }

  void SetSelection(int anchor, int caret);
  void SelectAll();
  // Escape: true when there was a selection to collapse.
  bool CollapseSelection();
  // extend keeps the anchor (Shift); jump moves by words, or with Home and
  // End to the ends of the text (Ctrl).
  void MoveCaret(Move move, bool extend, bool jump);
  // Any key other than Up and Down ends the column that they keep.
  void ForgetGoalColumn() { goal_x_ = -1; }

  void PressAt(int x, int y, bool extend);
  // Drag with the button held: outside the client area the view scrolls a line.
  void DragTo(int x, int y);
  void SelectWordAt(int x, int y);
  // Right button: the caret moves there unless the point is in the selection.
  void RightClickAt(int x, int y);
  // One wheel notch of 120 moves three lines.
  void Wheel(int delta);

  // Scrolling moves the view, not the caret.
  void ScrollLines(int lines);
  void ScrollPages(int pages);
  void ScrollToTop();
  void ScrollToBottom();
  // Thumb position on the 0 to 10,000 scale of the vertical bar.
  void ScrollToThumb(int position);
  ScrollBarValues VerticalBar();
  // Single-line boxes only: pixels scrolled to the left.
  int HorizontalScroll() const { return geometry_.horizontal_scroll; }

  // The layout of the current view, made again when something changed.
  const ViewLines& View();
  LineBreaker Breaker() const;
  DrawList Draw();
  // Where the caret is drawn; height 0 when it is out of view.
  CaretPlace Caret();
  // Where a caret at offset would be drawn.
  CaretPlace PlaceOf(int offset, bool at_line_end = false);
  HitResult HitAt(int x, int y);

 private:
  void Replace(int start, int end, std::string_view replacement);
  void ReplaceSelection(std::string_view replacement);
  HitResult HitInView(int x, int y);
  void PlaceCaret(int offset, bool at_line_end, bool extend);
  void AfterMove(const ViewState& before);
  void NotifySelection();
  void Invalidate() { view_valid_ = false; }
  void SetFirstVisible(int offset);
  void EnsureCaretVisible();
  void EnsureCaretVisibleHorizontally(const CaretPlace& caret);
  int LastFullyVisible();
  int CaretLine();
  int MoveByCharacter(bool right, bool jump) const;
  void MoveByLine(bool down, bool extend);
  void MoveByPage(bool down, bool extend);

  markup::TextMeasurer& measurer_;
  TextModel model_;
  ColourCheckpoints colours_;
  LineStartCache line_starts_;
  LayoutGeometry geometry_;
  ViewLines view_;
  bool view_valid_ = false;
  bool multi_line_;
  bool read_only_ = false;
  bool colouring_ = true;
  int goal_x_ = -1;
};

}  // namespace vrel::edit
