#pragma once

// The edited text with its selection and its undo and redo history. Replace
// is the only way an edit changes the text; every change records its inverse.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vrel::edit {

// Where the user is: selection, view position and, at a wrap point, whether
// the caret belongs to the end of the earlier line.
struct ViewState {
  int anchor = 0;
  int caret = 0;
  int first_visible = 0;
  bool caret_at_line_end = false;

  int SelectionStart() const { return anchor < caret ? anchor : caret; }
  int SelectionEnd() const { return anchor < caret ? caret : anchor; }
  bool HasSelection() const { return anchor != caret; }
};

enum class ChangeKind { kNew = 1, kUndo = 2, kRedo = 3 };

// Undoing a record puts removed back over [start, end) and restores before.
struct UndoRecord {
  int start = 0;
  int end = 0;
  std::string removed;
  ViewState before;
  int number = 0;
};

constexpr int kNoChange = -1;

// Where the last Replace changed the text: removed stood at start, and
// inserted_length bytes stand there now.
struct TextChange {
  int start = 0;
  std::string removed;
  int inserted_length = 0;
};

class TextModel {
 public:
  const std::string& Text() const { return text_; }
  int Length() const { return static_cast<int>(text_.size()); }
  ViewState& State() { return state_; }
  const ViewState& State() const { return state_; }

  // Stores a new text without undo; the history goes, the caret goes to 0.
  void SetText(std::string text);
  // Replaces [start, end) by replacement; offsets outside the text are
  // pulled into it. The selection is left to the caller.
  void Replace(int start, int end, std::string_view replacement, ChangeKind kind);
  // Undo and redo restore the selection and view from before the change.
  bool Undo();
  bool Redo();
  bool CanUndo() const { return undo_index_ > 0; }
  bool CanRedo() const { return undo_index_ < static_cast<int>(history_.size()); }
  const std::vector<UndoRecord>& History() const { return history_; }
  int ChangeCount() const { return change_counter_; }
  // For screen readers, which are told what changed where.
  const TextChange& LastChange() const { return last_change_; }

  // Lowest offset changed since the layout last took note, or kNoChange.
  int EarliestChange() const { return earliest_change_; }
  void ForgetEarliestChange() { earliest_change_ = kNoChange; }

  // Called before and after every change of the text.
  std::function<void()> before_change;
  std::function<void()> after_change;

 private:
  void NoteChangeAt(int offset);

  std::string text_;
  ViewState state_;
  std::vector<UndoRecord> history_;
  int undo_index_ = 0;
  int change_counter_ = 0;
  int earliest_change_ = kNoChange;
  TextChange last_change_;
};

}  // namespace vrel::edit
