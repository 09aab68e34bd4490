#include "markup/layout/link_focus.h"

#include <gtest/gtest.h>

#include <string>

namespace vrel::markup {
namespace {

// Every UTF-16 unit is 10 pixels wide; cells are 16 pixels high.
class TenPixelMeasurer : public TextMeasurer {
 public:
  int Width(std::u16string_view text, FontStyle) override { return static_cast<int>(text.size()) * 10; }
  int Height(FontStyle) override { return 16; }
};

MarkupLayout LayOut(std::string_view markup, int width) {
  TenPixelMeasurer measurer;
  return LayOutMarkup(markup, LayoutOptions{width, 0, 0}, measurer);
}

// Three links, the second wrapping over two lines at a width of 100.
const std::string kThreeLinks =
    "<A feedid=\"1\">one</A>\r\n<A feedid=\"2\">two words here</A>\r\n<A feedid=\"3\">three</A>";

TEST(LinkFocusTest, TabAndArrowsWalkTheLinksInReadingOrderAndStopAtTheEnds) {
  LinkFocus focus;
  focus.Update(LayOut(kThreeLinks, 100));
  ASSERT_EQ(focus.Count(), 3);
  EXPECT_EQ(focus.Focused(), kNoLink);
  EXPECT_FALSE(focus.Move(LinkKey::kUp));  // nothing before no link: the key scrolls
  EXPECT_TRUE(focus.Move(LinkKey::kTab));
  EXPECT_EQ(focus.Focused(), 0);
  EXPECT_TRUE(focus.Move(LinkKey::kDown));
  EXPECT_TRUE(focus.Move(LinkKey::kTab));
  EXPECT_EQ(focus.Focused(), 2);
  EXPECT_FALSE(focus.Move(LinkKey::kTab));  // past the last: on to the next control
  EXPECT_EQ(focus.Focused(), 2);
  EXPECT_TRUE(focus.Move(LinkKey::kHome));
  EXPECT_EQ(focus.Focused(), 0);
  EXPECT_FALSE(focus.Move(LinkKey::kBacktab));
  EXPECT_TRUE(focus.Move(LinkKey::kEnd));
  EXPECT_EQ(focus.Focused(), 2);
  EXPECT_TRUE(focus.Move(LinkKey::kUp));
  EXPECT_EQ(focus.Focused(), 1);

  focus.Clear();
  EXPECT_TRUE(focus.Move(LinkKey::kBacktab));  // coming back in from behind
  EXPECT_EQ(focus.Focused(), 2);
}

TEST(LinkFocusTest, TextWithoutLinksOffersNoMove) {
  LinkFocus focus;
  focus.Update(LayOut("plain <B>text</B>", 100));
  EXPECT_EQ(focus.Count(), 0);
  for (LinkKey key : {LinkKey::kTab, LinkKey::kBacktab, LinkKey::kDown, LinkKey::kHome, LinkKey::kEnd})
    EXPECT_FALSE(focus.Move(key));
  EXPECT_EQ(focus.Focused(), kNoLink);
}

TEST(LinkFocusTest, AWrappedLinkIsOneStopWithEveryPiece) {
  const MarkupLayout layout = LayOut(kThreeLinks, 100);
  ASSERT_EQ(layout.links.size(), size_t{4});
  LinkFocus focus;
  focus.Update(layout);
  const LinkSpan span = focus.Span(layout, 1);
  EXPECT_EQ(span.firstPiece, 1);
  EXPECT_EQ(span.endPiece, 3);
  EXPECT_EQ(span.top, 16);
  EXPECT_EQ(span.bottom, 48);
  EXPECT_EQ(focus.LinkOfPiece(layout.HitTest(5, 40)), 1);  // the second line of the wrapped link
  EXPECT_EQ(focus.LinkOfPiece(3), 2);
  EXPECT_EQ(focus.Span(layout, 2).endPiece, 4);
}

TEST(LinkFocusTest, TheFocusedNumberSurvivesANewLayoutWhileTheLinkExists) {
  LinkFocus focus;
  focus.Update(LayOut(kThreeLinks, 100));
  focus.Set(2);
  focus.Update(LayOut(kThreeLinks, 400));
  EXPECT_EQ(focus.Focused(), 2);
  focus.Update(LayOut("<A feedid=\"1\">one</A>", 400));
  EXPECT_EQ(focus.Focused(), 0);
  focus.Update(LayOut("", 400));
  EXPECT_EQ(focus.Focused(), kNoLink);
  focus.Set(5);
  EXPECT_EQ(focus.Focused(), kNoLink);
}

TEST(LinkFocusTest, ScrollingShowsTheLinkOnlyWhenItIsOutOfView) {
  EXPECT_EQ(ScrollToShow(40, 56, 0, 100), 0);      // in view
  EXPECT_EQ(ScrollToShow(140, 156, 0, 100), 56);   // below: its bottom at the view's bottom
  EXPECT_EQ(ScrollToShow(10, 26, 50, 100), 10);    // above: its top at the view's top
  EXPECT_EQ(ScrollToShow(200, 400, 0, 100), 200);  // taller than the view: its top
}

}  // namespace
}  // namespace vrel::markup
