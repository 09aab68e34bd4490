#include "edit/text_model.h"

#include <gtest/gtest.h>

namespace vrel::edit {
namespace {

void TypeKey(TextModel& model, char key) {
  const int caret = model.State().caret;
  model.Replace(caret, caret, std::string(1, key), ChangeKind::kNew);
  model.State().anchor = model.State().caret = caret + 1;
}

TEST(TextModel, EachTypedKeyIsOneUndoStep) {
  TextModel model;
  for (char key : std::string("abc")) TypeKey(model, key);
  ASSERT_EQ(model.Text(), "abc");
  EXPECT_TRUE(model.Undo());
  EXPECT_EQ(model.Text(), "ab");
  EXPECT_TRUE(model.Undo());
  EXPECT_TRUE(model.Undo());
  EXPECT_EQ(model.Text(), "");
  EXPECT_FALSE(model.Undo());
  EXPECT_TRUE(model.Redo());
  EXPECT_TRUE(model.Redo());
  EXPECT_EQ(model.Text(), "ab");
  EXPECT_EQ(model.State().caret, 2);
}

TEST(TextModel, ANewEditAfterUndoDropsTheRedoPart) {
  TextModel model;
  for (char key : std::string("abc")) TypeKey(model, key);
  model.Undo();
  model.Undo();
  EXPECT_TRUE(model.CanRedo());
  TypeKey(model, 'X');
  EXPECT_EQ(model.Text(), "aX");
  EXPECT_FALSE(model.CanRedo());
  EXPECT_EQ(model.History().size(), 2u);
  EXPECT_EQ(model.History().back().number, 4);  // numbers keep counting
}

TEST(TextModel, LastChangeTellsWhatWasRemovedAndInsertedWhere) {
  TextModel model;
  model.SetText("one two");
  model.Replace(4, 7, "three", ChangeKind::kNew);
  EXPECT_EQ(model.LastChange().start, 4);
  EXPECT_EQ(model.LastChange().removed, "two");
  EXPECT_EQ(model.LastChange().inserted_length, 5);
  model.Undo();
  EXPECT_EQ(model.LastChange().removed, "three");
  EXPECT_EQ(model.LastChange().inserted_length, 3);
}

TEST(TextModel, UndoRestoresSelectionScrollAndCaretLineEnd) {
  TextModel model;
  model.SetText("one two three");
  ViewState& state = model.State();
  state = {4, 7, 3, true};
  model.Replace(4, 7, "2", ChangeKind::kNew);
  state = {5, 5, 0, false};
  ASSERT_EQ(model.Text(), "one 2 three");
  model.Undo();
  EXPECT_EQ(model.Text(), "one two three");
  EXPECT_EQ(model.State().anchor, 4);
  EXPECT_EQ(model.State().caret, 7);
  EXPECT_EQ(model.State().first_visible, 3);
  EXPECT_TRUE(model.State().caret_at_line_end);
  model.Redo();
  EXPECT_EQ(model.Text(), "one 2 three");
  EXPECT_EQ(model.State().caret, 5);  // the state from just before the undo
}

TEST(TextModel, ReplaceClampsOffsetsAndTracksTheEarliestChange) {
  TextModel model;
  model.SetText("hello");
  model.ForgetEarliestChange();
  model.Replace(3, 99, "p!", ChangeKind::kNew);
  EXPECT_EQ(model.Text(), "help!");
  EXPECT_EQ(model.EarliestChange(), 3);
  model.Replace(-5, 1, "y", ChangeKind::kNew);
  EXPECT_EQ(model.Text(), "yelp!");
  EXPECT_EQ(model.EarliestChange(), 0);
  model.Undo();
  model.Undo();
  EXPECT_EQ(model.Text(), "hello");
}

TEST(TextModel, SettingTheTextEmptiesTheHistoryAndCallsNoHook) {
  TextModel model;
  int calls = 0;
  model.before_change = [&] { ++calls; };
  TypeKey(model, 'a');
  EXPECT_EQ(calls, 1);
  model.SetText("fresh");
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(model.CanUndo());
  EXPECT_EQ(model.State().caret, 0);
}

}  // namespace
}  // namespace vrel::edit
