#include "edit/text_model.h"

#include <algorithm>
#include <utility>

namespace vrel::edit {

void TextModel::SetText(std::string text) {
  text_ = std::move(text);
  history_.clear();
  undo_index_ = 0;
  state_.anchor = state_.caret = 0;
  state_.caret_at_line_end = false;
  NoteChangeAt(0);
}

void TextModel::Replace(int start, int end, std::string_view replacement, ChangeKind kind) {
  start = std::clamp(start, 0, Length());
  end = std::clamp(end, start, Length());
  UndoRecord inverse{start, start + static_cast<int>(replacement.size()),
                     text_.substr(start, end - start), state_, 0};
  switch (kind) {
    case ChangeKind::kNew:
      inverse.number = ++change_counter_;
      history_.resize(undo_index_);
      history_.push_back(std::move(inverse));
      ++undo_index_;
      break;
    case ChangeKind::kUndo:
      --undo_index_;
      inverse.number = history_[undo_index_].number;
      history_[undo_index_] = std::move(inverse);
      break;
    case ChangeKind::kRedo:
      inverse.number = history_[undo_index_].number;
      history_[undo_index_] = std::move(inverse);
      ++undo_index_;
      break;
  }
  last_change_ = {start, text_.substr(start, end - start), static_cast<int>(replacement.size())};
  if (before_change) before_change();
  text_.replace(start, end - start, replacement);
  NoteChangeAt(start);
  if (after_change) after_change();
}

bool TextModel::Undo() {
  if (!CanUndo()) return false;
  const UndoRecord record = history_[undo_index_ - 1];
  Replace(record.start, record.end, record.removed, ChangeKind::kUndo);
  state_ = record.before;
  return true;
}

bool TextModel::Redo() {
  if (!CanRedo()) return false;
  const UndoRecord record = history_[undo_index_];
  Replace(record.start, record.end, record.removed, ChangeKind::kRedo);
  state_ = record.before;
  return true;
}

void TextModel::NoteChangeAt(int offset) {
  if (earliest_change_ == kNoChange || offset < earliest_change_) earliest_change_ = offset;
}

}  // namespace vrel::edit
