#include <gtest/gtest.h>

#include <algorithm>
#include <deque>

#include "recording_canvas.h"
#include "saver/emoticons.h"
#include "saver/saver_input.h"
#include "saver/saver_screens.h"

namespace vrel::saver {
namespace {

using test::RecordingCanvas;

const std::string kClosingTitle = "brackenfold News Reader Screensaver";

std::string FeedDigest(const std::string& feedId) {
  return "<DIGEST><FEED title=\"&lt;B&gt;Tech&lt;/B&gt; &amp; more\" feedid=\"" + feedId +
         "\"><item><title>First &amp; &lt;I&gt;best&lt;/I&gt;</title><time>today</time><other>ann</other></item>"
         "<item><title>Second</title><time>later</time></item></FEED></DIGEST>";
}

struct Screens : ::testing::Test {
  Screens() { scene.SetUp({0, 0, 800, 600}); }

  void Ticks(int count) {
    for (int i = 0; i < count; ++i) screens.Tick();
  }
  // Ends the current screen at the next tick, which starts the next one.
  void NextScreen() {
    screens.Skip();
    screens.Tick();
  }
  bool Drew(const std::string& text) const { return !canvas.TextsOf(text).empty(); }

  RecordingCanvas canvas;
  AnimScene scene{canvas, 42};
  std::deque<std::string> digests;  // handed out in turn; none left: no feed
  std::vector<std::string> askedAfter;
  SaverScreens screens{scene, [this](XmlDoc& digest, const std::string& previousFeedId) {
                         askedAfter.push_back(previousFeedId);
                         if (digests.empty()) return;  // leaves the document as it is, like a failed lookup
                         digest.SetDocumentText(digests.front());
                         digests.pop_front();
                       }};
};

TEST_F(Screens, FirstStepIsDrawnFromZeroToFour) {
  for (uint32_t seed = 0; seed < 40; ++seed) {
    RecordingCanvas otherCanvas;
    AnimScene otherScene(otherCanvas, seed);
    SaverScreens other(otherScene, [](XmlDoc&, const std::string&) {});
    EXPECT_GE(other.RotationStep(), 0);
    EXPECT_LE(other.RotationStep(), 4);
  }
}

TEST_F(Screens, RotationRunsThroughTheClosingScreenBackToStyleZero) {
  digests = {FeedDigest("7"), FeedDigest("9"), FeedDigest("11")};
  screens.SetRotationStep(6);
  screens.Tick();
  EXPECT_EQ(screens.RotationStep(), 7);
  EXPECT_EQ(screens.FeedId(), "7");
  EXPECT_EQ(screens.Title(), "Tech & more");
  NextScreen();
  EXPECT_EQ(screens.RotationStep(), 8);
  EXPECT_EQ(screens.FeedId(), "9");
  NextScreen();  // the closing screen asks for no digest
  EXPECT_EQ(screens.RotationStep(), 0);
  EXPECT_EQ(askedAfter, (std::vector<std::string>{"", "7"}));
  Ticks(200);
  EXPECT_TRUE(Drew(kClosingTitle));
  NextScreen();
  EXPECT_EQ(screens.RotationStep(), 1);
  EXPECT_EQ(screens.FeedId(), "11");
  EXPECT_EQ(askedAfter, (std::vector<std::string>{"", "7", "9"}));
}

TEST_F(Screens, DigestWithoutFeedGivesTheClosingScreenAndKeepsTheLastFeed) {
  digests = {FeedDigest("5")};
  screens.SetRotationStep(2);
  screens.Tick();
  ASSERT_EQ(screens.FeedId(), "5");
  NextScreen();  // nothing more to show: the source leaves the old digest alone
  EXPECT_EQ(screens.RotationStep(), 0);
  EXPECT_EQ(screens.FeedId(), "5");
  canvas.ForgetDrawing();
  Ticks(700);
  const auto title = canvas.TextsOf(kClosingTitle);
  ASSERT_FALSE(title.empty());
  EXPECT_EQ(title.front().colour, (Colour{0, 0, 255}));
  const auto keys = canvas.TextsOf("G get, S skip, P pause");
  ASSERT_FALSE(keys.empty());
  EXPECT_EQ(keys.front().at.y, title.front().at.y + 20);
  EXPECT_FALSE(Drew("Tech & more"));
  EXPECT_TRUE(Drew("Press G to read the feed you just saw"));
}

TEST_F(Screens, ScreenOpensWithThePictureWhileStyleZeroStartsAtOnce) {
  digests = {FeedDigest("3")};
  screens.SetRotationStep(0);
  Ticks(2);
  ASSERT_FALSE(canvas.cells.empty());
  EXPECT_EQ(canvas.pictureLoads, std::vector<int>{SaverScreens::kPictureSheet});
  const int tiles = int(canvas.cells.size());
  EXPECT_TRUE(tiles == 256 || tiles == 144 || tiles == 64 || tiles == 36 || tiles == 16) << tiles;

  const auto title = canvas.TextsOf("First & best");
  ASSERT_EQ(title.size(), 1u);
  const int width = int(std::string("First & best").size()) * RecordingCanvas::kCharWidth;
  EXPECT_EQ(title[0].at, (Point{400 - width / 2, 230}));
  ASSERT_EQ(canvas.TextsOf("Tech & more").size(), 1u);
  // Red 190 already one step into its fade of 80.
  EXPECT_EQ(canvas.TextsOf("Tech & more")[0].colour, (Colour{188, 0, 0}));
  EXPECT_EQ(canvas.TextsOf("today")[0].colour, (Colour{100, 255, 100}));
  EXPECT_EQ(canvas.TextsOf("ann")[0].at.y, 280);
  // The digits wait for the picture; the next item waits for this title.
  EXPECT_FALSE(Drew("0") || Drew("1"));
  EXPECT_FALSE(Drew("Second"));

  Ticks(99);
  EXPECT_FALSE(Drew("Second"));
  Ticks(2);
  EXPECT_TRUE(Drew("Second"));
  Ticks(100);
  EXPECT_TRUE(Drew("0") || Drew("1"));
}

TEST_F(Screens, StyleOneAddsAnEmoticonPerItem) {
  digests = {FeedDigest("3")};
  screens.SetRotationStep(1);
  Ticks(300);
  const Emoticons& table = EmoticonTable();
  const auto faces = std::count_if(canvas.texts.begin(), canvas.texts.end(), [&](const auto& drawn) {
    return std::find(table.begin(), table.end(), drawn.text) != table.end();
  });
  EXPECT_GT(faces, 0);
  EXPECT_EQ(canvas.TextsOf("Tech & more")[0].colour, (Colour{190, 190, 255 - 255 / 300}));
}

TEST_F(Screens, StylesTwoAndThreeShowEveryLine) {
  for (const int style : {2, 3}) {
    digests = {FeedDigest("3")};
    screens.SetRotationStep(style);
    NextScreen();
    canvas.ForgetDrawing();
    Ticks(400);
    for (const char* line : {"Tech & more", "First & best", "today", "ann", "Second", "later"})
      EXPECT_TRUE(Drew(line)) << "style " << style << ": " << line;
  }
}

TEST_F(Screens, PauseFreezesTheSceneUntilPressedAgain) {
  digests = {FeedDigest("3")};
  Ticks(5);
  screens.TogglePause();
  canvas.ForgetDrawing();
  Ticks(50);
  EXPECT_TRUE(canvas.texts.empty());
  EXPECT_TRUE(canvas.erased.empty());
  EXPECT_TRUE(canvas.shown.empty());
  const int step = screens.RotationStep();
  screens.TogglePause();
  Ticks(1);
  EXPECT_FALSE(canvas.shown.empty());
  EXPECT_EQ(screens.RotationStep(), step);
}

TEST_F(Screens, DescriptionNamesTheFeedOnScreenTheKeysAndAPause) {
  EXPECT_EQ(DescribeScreen(screens), kClosingTitle + ". G get, S skip, P pause");
  digests = {FeedDigest("3")};
  screens.SetRotationStep(0);
  Ticks(1);
  screens.TogglePause();
  EXPECT_EQ(DescribeScreen(screens), screens.Title() + ". G get, S skip, P pause (paused)");
  EXPECT_NE(screens.Title(), "");
}

TEST_F(Screens, SkipClearsTheScreenAndStartsTheNext) {
  digests = {FeedDigest("3"), FeedDigest("4")};
  screens.SetRotationStep(0);
  Ticks(5);
  const int items = scene.ItemCount();
  ASSERT_GT(items, 2);
  canvas.ForgetDrawing();
  NextScreen();
  EXPECT_EQ(int(canvas.erased.size()), items);
  EXPECT_EQ(screens.RotationStep(), 2);
  EXPECT_EQ(screens.FeedId(), "4");
}

TEST(SaverInputTest, KeysGetPauseSkipOrClose) {
  RecordingCanvas canvas;
  AnimScene scene(canvas, 1);
  SaverScreens screens(scene, [](XmlDoc&, const std::string&) {});
  SaverInput input(screens);
  EXPECT_EQ(input.OnKey('P'), SaverInput::Verdict::kStay);
  EXPECT_TRUE(screens.Paused());
  EXPECT_EQ(input.OnKey('P'), SaverInput::Verdict::kStay);
  EXPECT_FALSE(screens.Paused());
  EXPECT_EQ(input.OnKey('S'), SaverInput::Verdict::kStay);
  EXPECT_EQ(input.OnKey('X'), SaverInput::Verdict::kClose);
  EXPECT_EQ(input.OnKey(0), SaverInput::Verdict::kClose);
  EXPECT_FALSE(input.Get());
  EXPECT_EQ(input.OnKey('G'), SaverInput::Verdict::kClose);
  EXPECT_TRUE(input.Get());
}

TEST(SaverInputTest, TheKeyCountsNotTheTypedTextSoEveryLayoutHasGPAndS) {
  EXPECT_EQ(KeyLetter('G', 42), U'G');
  EXPECT_EQ(KeyLetter('O', 39), U'O');  // a Latin layout's letter wins over the key's place
  EXPECT_EQ(KeyLetter(0x41F, 42), U'G');  // Cyrillic PE on the G key
  EXPECT_EQ(KeyLetter(0x417, 33), U'P');
  EXPECT_EQ(KeyLetter(0x42B, 39), U'S');
  EXPECT_EQ(KeyLetter(0x419, 24), 0u);  // another key of that layout
  EXPECT_EQ(KeyLetter(0x01000004, 36), 0u);  // Return
}

TEST(SaverInputTest, MouseJitterOfFivePixelsStaysSixCloses) {
  RecordingCanvas canvas;
  AnimScene scene(canvas, 1);
  SaverScreens screens(scene, [](XmlDoc&, const std::string&) {});
  SaverInput input(screens);
  EXPECT_EQ(input.OnMouseMove({500, 300}), SaverInput::Verdict::kStay);
  EXPECT_EQ(input.OnMouseMove({503, 302}), SaverInput::Verdict::kStay);
  EXPECT_EQ(input.OnMouseMove({495, 300}), SaverInput::Verdict::kStay);
  EXPECT_EQ(input.OnMouseMove({500, 295}), SaverInput::Verdict::kStay);
  EXPECT_EQ(input.OnMouseMove({497, 303}), SaverInput::Verdict::kClose);
  EXPECT_EQ(input.OnMouseMove({506, 300}), SaverInput::Verdict::kClose);
}

TEST(SaverDigest, ItemsBecomePlainLines) {
  XmlDoc digest;
  digest.SetDocumentText(FeedDigest("12"));
  DigestFeed feed;
  ASSERT_TRUE(ReadDigest(digest, feed));
  EXPECT_EQ(feed.feedId, "12");
  EXPECT_EQ(feed.title, "Tech & more");
  ASSERT_EQ(feed.items.size(), 2u);
  EXPECT_EQ(feed.items[0].lines, (std::vector<std::string>{"First & best", "today", "ann"}));
  EXPECT_EQ(feed.items[1].Line(0), "Second");
  EXPECT_EQ(feed.items[1].Line(2), "");

  digest.SetDocumentText("<DIGEST/>");
  EXPECT_FALSE(ReadDigest(digest, feed));
  EXPECT_TRUE(feed.items.empty());
}

TEST(SaverDigest, PlainTextCutsTagsButKeepsAnUnclosedBracket) {
  EXPECT_EQ(PlainText("<B>bold</B> and <FONT color=\"1,2,3\">red</FONT>"), "bold and red");
  EXPECT_EQ(PlainText("a < b"), "a < b");
  EXPECT_EQ(PlainText("x <y> z <tail"), "x  z <tail");
  EXPECT_EQ(PlainText("AT&amp;T"), "AT&amp;T");  // already decoded text is left alone
}

TEST(Emoticons, SixtySixRowsWithRepeats) {
  const Emoticons& table = EmoticonTable();
  EXPECT_EQ(table.size(), 66u);
  EXPECT_EQ(table.front(), ":-)");
  EXPECT_EQ(table.back(), "|-{");
  EXPECT_EQ(std::count(table.begin(), table.end(), ";-)"), 3);
  EXPECT_EQ(std::count(table.begin(), table.end(), ">:-<"), 2);
  EXPECT_NE(std::find(table.begin(), table.end(), ":-\\"), table.end());
  EXPECT_NE(std::find(table.begin(), table.end(), ":-\""), table.end());
}

}  // namespace
}  // namespace vrel::saver
