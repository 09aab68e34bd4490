#include <gtest/gtest.h>

#include <algorithm>

#include "recording_canvas.h"
#include "saver/anim_scene.h"

namespace vrel::saver {
namespace {

using test::RecordingCanvas;

struct Scene : ::testing::Test {
  Scene() { scene.SetUp({0, 0, 800, 600}); }

  // Steps until the scene is empty; returns how many steps drew text.
  int RunOut() {
    int steps = 0;
    while (scene.ItemCount() > 0 && steps < 10000) {
      scene.Step();
      ++steps;
    }
    return steps;
  }

  RecordingCanvas canvas;
  AnimScene scene{canvas, 1};
};

TEST_F(Scene, ItemOfEightyStepsIsDrawnEightyTimesAndEndsOnItsTarget) {
  scene.AddItem("move").PlaceAt(100, 50).TargetRelative(80, 0).SetSteps(80);
  std::vector<int> xs;
  for (int i = 0; i < 80; ++i) {
    EXPECT_EQ(scene.Step(), 1);
    ASSERT_EQ(canvas.texts.size(), size_t(i + 1));
    xs.push_back(canvas.texts.back().at.x);
  }
  EXPECT_EQ(xs.front(), 100);
  EXPECT_EQ(xs[1], 101);  // 80 / 79 pixels a step, truncated
  EXPECT_EQ(xs.back(), 180);
  EXPECT_TRUE(std::is_sorted(xs.begin(), xs.end()));
  EXPECT_EQ(canvas.texts.back().at.y, 50);

  // The 81st step draws nothing, still counts the item, and removes it.
  EXPECT_EQ(scene.Step(), 1);
  EXPECT_EQ(canvas.texts.size(), 80u);
  EXPECT_EQ(scene.ItemCount(), 0);
  EXPECT_EQ(scene.Step(), 0);
}

TEST_F(Scene, FadingOutReachesBlackOnTheLastDrawingWhateverTheColour) {
  for (const Colour colour : {Colour{255, 255, 255}, Colour{190, 7, 33}, Colour{1, 2, 3}}) {
    canvas.ForgetDrawing();
    scene.AddItem("fade").SetColour(colour).FadeOut().SetSteps(7);
    RunOut();
    ASSERT_EQ(canvas.texts.size(), 7u);
    EXPECT_EQ(canvas.texts.back().colour, (Colour{0, 0, 0}));
    for (size_t i = 1; i < canvas.texts.size(); ++i) EXPECT_LE(canvas.texts[i].colour.red, canvas.texts[i - 1].colour.red);
  }
}

TEST_F(Scene, FadingInApproachesTheTargetColourAndStationaryItemsStayPut) {
  AnimItem& item = scene.AddItem("in").SetColour({200, 100, 50}).PlaceAt(5, 6).FadeIn().SetSteps(4);
  EXPECT_EQ(item.CurrentColour(), (Colour{200, 100, 50}));
  RunOut();
  ASSERT_EQ(canvas.texts.size(), 4u);
  for (const auto& drawn : canvas.texts) {
    EXPECT_EQ(drawn.colour, (Colour{200, 100, 50}));
    EXPECT_EQ(drawn.at, (Point{5, 6}));
  }
}

TEST_F(Scene, WaitingItemsStartAfterTheLastStepOfWhatTheyWaitFor) {
  AnimItem& first = scene.AddItem("first").SetSteps(3);
  AnimItem& second = scene.AddItem("second").SetSteps(2).WaitFor(first);
  AnimItem& companion = scene.AddItem("companion").SetSteps(5).StartWith(second);
  AnimItem& independent = scene.AddItem("independent").SetSteps(1).StartWith(first);
  EXPECT_TRUE(second.Waiting());
  EXPECT_TRUE(companion.Waiting());
  EXPECT_FALSE(independent.Waiting());

  std::vector<std::vector<std::string>> drawnPerStep;
  for (int i = 0; i < 12; ++i) {
    canvas.ForgetDrawing();
    scene.Step();
    std::vector<std::string> names;
    for (const auto& drawn : canvas.texts) names.push_back(drawn.text);
    drawnPerStep.push_back(names);
  }
  using Names = std::vector<std::string>;
  EXPECT_EQ(drawnPerStep[0], (Names{"first", "independent"}));
  EXPECT_EQ(drawnPerStep[2], (Names{"first"}));
  EXPECT_EQ(drawnPerStep[3], (Names{}));  // first's last step: it releases second
  EXPECT_EQ(drawnPerStep[4], (Names{"second", "companion"}));
  EXPECT_EQ(drawnPerStep[5], (Names{"second", "companion"}));
  EXPECT_EQ(drawnPerStep[8], (Names{"companion"}));
  EXPECT_EQ(drawnPerStep[9], (Names{}));
  EXPECT_EQ(scene.ItemCount(), 0);
}

TEST_F(Scene, FollowerLaterInTheListStillStartsOnTheNextStep) {
  AnimItem& leader = scene.AddItem("leader").SetSteps(1);
  scene.AddItem("later").SetSteps(1).WaitFor(leader);
  scene.Step();
  canvas.ForgetDrawing();
  scene.Step();  // leader's last step
  EXPECT_TRUE(canvas.texts.empty());
  scene.Step();
  ASSERT_EQ(canvas.texts.size(), 1u);
  EXPECT_EQ(canvas.texts[0].text, "later");
}

TEST_F(Scene, CloneContinuesWhereTheOriginalStopsInItsTargetColour) {
  AnimItem& original = scene.AddItem("go").SetTextFont("18,B").SetColour({10, 20, 30}).Centre();
  original.PlaceAt(100, 100).TargetRelative(30, 40).SetSteps(3).FadeOut();
  AnimItem& clone = scene.CloneItem(original).SetSteps(2);
  EXPECT_TRUE(clone.Waiting());
  EXPECT_EQ(clone.StartPoint(), (Point{130, 140}));
  EXPECT_EQ(clone.TargetPoint(), (Point{130, 140}));
  EXPECT_EQ(clone.CurrentColour(), (Colour{10, 20, 30}));
  RunOut();
  const auto drawn = canvas.TextsOf("go");
  ASSERT_EQ(drawn.size(), 5u);
  EXPECT_EQ(drawn[3].colour, (Colour{10, 20, 30}));  // the clone does not inherit the fade
  EXPECT_EQ(drawn[3].font, drawn[0].font);
  EXPECT_EQ(drawn[3].at.x, 130 - 2 * RecordingCanvas::kCharWidth / 2);  // still centred
}

TEST_F(Scene, RectanglesFollowAlignmentAndOnlyChangedOnesAreShownTwice) {
  AnimItem& centred = scene.AddItem("abcd").Centre().PlaceAt(100, 10).SetSteps(2);
  AnimItem& right = scene.AddItem("ab").RightAlign().PlaceAt(100, 30).SetSteps(2);
  AnimItem& left = scene.AddItem("a").StartAt(100, 50).TargetRelative(10, 0).SetSteps(2);
  scene.Step();
  EXPECT_EQ(centred.CoveredRect(), (Rect{84, 10, 118, 31}));
  EXPECT_EQ(right.CoveredRect(), (Rect{83, 30, 100, 51}));
  EXPECT_EQ(left.CoveredRect(), (Rect{100, 50, 109, 71}));
  EXPECT_EQ(canvas.texts[1].at, (Point{83, 30}));

  canvas.ForgetDrawing();
  scene.Step();
  // Each item's old rectangle is erased; only the moved one shows two.
  EXPECT_EQ(canvas.erased, (std::vector<Rect>{{84, 10, 118, 31}, {83, 30, 100, 51}, {100, 50, 109, 71}}));
  EXPECT_EQ(canvas.shown, (std::vector<Rect>{{84, 10, 118, 31}, {83, 30, 100, 51}, {110, 50, 119, 71}, {100, 50, 109, 71}}));
}

TEST_F(Scene, ClearErasesEverythingFromTheScreenAndEmptiesTheScene) {
  scene.AddItem("one").PlaceAt(0, 0).SetSteps(50);
  scene.AddItem("two").PlaceAt(0, 100).SetSteps(50);
  scene.Step();
  canvas.ForgetDrawing();
  scene.Clear();
  EXPECT_EQ(scene.ItemCount(), 0);
  EXPECT_EQ(canvas.erased.size(), 2u);
  EXPECT_EQ(canvas.shown, canvas.erased);
  EXPECT_EQ(scene.Step(), 0);
  // Recycled records start from the defaults again.
  AnimItem& reused = scene.AddItem("fresh");
  EXPECT_EQ(reused.Steps(), AnimItem::kDefaultSteps);
  EXPECT_EQ(reused.CurrentColour(), AnimItem::kDefaultColour);
  EXPECT_FALSE(reused.Waiting());
}

TEST_F(Scene, FontsAreMadeOncePerDescriptionAndTheDefaultIsMade) {
  ASSERT_EQ(canvas.fonts.size(), 1u);
  EXPECT_EQ(canvas.fonts[0].face, "MS Sans Serif");
  EXPECT_EQ(canvas.fonts[0].height, 15);
  const int bold = scene.Font("18,B");
  EXPECT_EQ(scene.Font("18,B"), bold);
  EXPECT_NE(scene.Font("18,b"), bold);  // compared with case
  EXPECT_EQ(canvas.fonts.size(), 3u);
}

TEST_F(Scene, PictureItemsShowTheirCellOfTheSheet) {
  // 24-pixel cells on a 384-pixel sheet: 16 columns, so cell 17 is row 1, column 1.
  scene.AddItem("").SetPicture(140, 17, 24).PlaceAt(300, 200).SetSteps(1);
  scene.AddItem("").SetPicture(140, 3, 24).Centre().PlaceAt(300, 200).SetSteps(1);
  RunOut();
  EXPECT_EQ(canvas.pictureLoads, std::vector<int>{140});
  ASSERT_EQ(canvas.cells.size(), 2u);
  EXPECT_EQ(canvas.cells[0].source, (Rect{24, 24, 48, 48}));
  EXPECT_EQ(canvas.cells[0].at, (Point{300, 200}));
  EXPECT_EQ(canvas.cells[1].source, (Rect{72, 0, 96, 24}));
  EXPECT_EQ(canvas.cells[1].at, (Point{288, 200}));
  EXPECT_TRUE(canvas.texts.empty());
}

TEST_F(Scene, RandomPointsKeepTheMarginWhenTheSceneIsLargeEnough) {
  for (int i = 0; i < 500; ++i) {
    const Point p = scene.RandomPoint(100, 40);
    EXPECT_GE(p.x, 100);
    EXPECT_LT(p.x, 700);
    EXPECT_GE(p.y, 100);
    EXPECT_LT(p.y, 500);
  }
  scene.SetUp({10, 20, 110, 70});  // half width 50, half height 25: margins 10 and 0
  for (int i = 0; i < 500; ++i) {
    const Point p = scene.RandomPoint(100, 40);
    EXPECT_GE(p.x, 20);
    EXPECT_LT(p.x, 100);
    EXPECT_GE(p.y, 20);
    EXPECT_LT(p.y, 70);
  }
  EXPECT_EQ(scene.CentreX(), 60);
  EXPECT_EQ(scene.CentreY(), 45);
}

}  // namespace
}  // namespace vrel::saver
