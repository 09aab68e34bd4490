#include "markup/layout/markup_layout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>


namespace vrel::markup {
namespace {

// Every UTF-16 unit is 10 pixels wide (12 in bold); cells are 16 pixels high (12 small).
class FixedMeasurer : public TextMeasurer {
 public:
  int Width(std::u16string_view text, FontStyle font) override {
    ++width_calls;
    return static_cast<int>(text.size()) * (font.bold ? 12 : 10);
  }
  int Height(FontStyle font) override { return font.small ? 12 : 16; }
  int width_calls = 0;
};

MarkupLayout LayOut(std::string_view markup, int width, int margin = 0) {
  FixedMeasurer measurer;
  return LayOutMarkup(markup, LayoutOptions{width, margin, margin}, measurer);
}

std::vector<std::u16string> RunTexts(const MarkupLayout& layout) {
  std::vector<std::u16string> texts;
  for (const TextRun& run : layout.runs) texts.push_back(run.text);
  return texts;
}

using Texts = std::vector<std::u16string>;

std::string Utf8Of(std::u16string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    int extra = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    static constexpr unsigned char kLead[] = {0x00, 0xC0, 0xE0, 0xF0};
    out += static_cast<char>(kLead[extra] | (c >> (6 * extra)));
    for (int shift = 6 * (extra - 1); shift >= 0; shift -= 6) out += static_cast<char>(0x80 | ((c >> shift) & 0x3F));
  }
  return out;
}

TEST(MarkupLayoutTest, EmptyTextHasOnlyTheMargins) {
  MarkupLayout layout = LayOut("", 100, 4);
  EXPECT_TRUE(layout.runs.empty());
  EXPECT_TRUE(layout.links.empty());
  EXPECT_EQ(layout.content_height, 8);
}

TEST(MarkupLayoutTest, WrapsAfterTheLastBlankWhichStaysOnTheLine) {
  MarkupLayout layout = LayOut("aaa bbb ccc", 75);
  EXPECT_EQ(RunTexts(layout), (Texts{u"aaa bbb ", u"ccc"}));
  EXPECT_EQ(layout.runs[1].x, 0);
  EXPECT_EQ(layout.runs[1].y, 16);
  EXPECT_EQ(layout.content_height, 32);
}

TEST(MarkupLayoutTest, MarginsNarrowTheLinesAndOffsetTheText) {
  MarkupLayout layout = LayOut("aaa bbb ccc", 85, 5);
  EXPECT_EQ(RunTexts(layout), (Texts{u"aaa bbb ", u"ccc"}));
  EXPECT_EQ(layout.runs[0].x, 5);
  EXPECT_EQ(layout.runs[0].y, 5);
  EXPECT_EQ(layout.content_height, 42);
}

TEST(MarkupLayoutTest, WordLongerThanTheLineBreaksAtTheLastCharacterThatFits) {
  EXPECT_EQ(RunTexts(LayOut("abcdefghij", 45)), (Texts{u"abcd", u"efgh", u"ij"}));
  // Even a line too narrow for one character takes one, so layout ends.
  EXPECT_EQ(RunTexts(LayOut("abc", 3)), (Texts{u"a", u"b", u"c"}));
}

TEST(MarkupLayoutTest, LineEndsAndTabs) {
  MarkupLayout layout = LayOut("a\rb\nc\r\nd\n\ne\tf", 500);
  EXPECT_EQ(RunTexts(layout), (Texts{u"a", u"b", u"c", u"d", u"e f"}));
  EXPECT_EQ(layout.runs[4].y, 5 * 16);  // the empty line keeps the font's height
  EXPECT_EQ(layout.content_height, 6 * 16);
}

TEST(MarkupLayoutTest, TagBehindABreakIsReadAgainOnTheNextLine) {
  MarkupLayout layout = LayOut("aaa <b>bbbbbb</b>", 75);
  ASSERT_EQ(RunTexts(layout), (Texts{u"aaa ", u"bbbbbb"}));
  EXPECT_FALSE(layout.runs[0].font.bold);
  EXPECT_TRUE(layout.runs[1].font.bold);
  EXPECT_EQ(layout.runs[1].width, 72);
}

TEST(MarkupLayoutTest, EndTagClosesOnlyAnExactMatch) {
  MarkupLayout mismatched = LayOut("<B>x</b>y", 500);
  ASSERT_EQ(RunTexts(mismatched), (Texts{u"xy"}));
  EXPECT_TRUE(mismatched.runs[0].font.bold);

  MarkupLayout matched = LayOut("<b>x</b>y", 500);
  ASSERT_EQ(RunTexts(matched), (Texts{u"x", u"y"}));
  EXPECT_TRUE(matched.runs[0].font.bold);
  EXPECT_FALSE(matched.runs[1].font.bold);
}

TEST(MarkupLayoutTest, StylesNestAndSmallRunsShareTheLineBottom) {
  MarkupLayout layout = LayOut("a<i><u>b</u></i><SMALL>c</SMALL><x>d</x>", 500);
  ASSERT_EQ(RunTexts(layout), (Texts{u"a", u"b", u"c", u"d"}));
  EXPECT_TRUE(layout.runs[1].font.italic && layout.runs[1].font.underline);
  EXPECT_TRUE(layout.runs[2].font.small);
  EXPECT_EQ(layout.runs[2].y, 4);
  EXPECT_EQ(layout.runs[2].y + layout.runs[2].height, layout.runs[0].y + layout.runs[0].height);
  EXPECT_EQ(layout.runs[3].font, FontStyle{});  // unknown tags change nothing
}

TEST(MarkupLayoutTest, FontColours) {
  MarkupLayout layout =
      LayOut("<font color=\"10,20,30\">a<FONT color=1,2>b</FONT></font><font  COLOR = 300,-5, 7>c</font>"
             "<font colour=9,9,9>d</font>",
             500);
  ASSERT_EQ(RunTexts(layout), (Texts{u"a", u"b", u"c", u"d"}));
  EXPECT_EQ(layout.runs[0].color, (Color{10, 20, 30}));
  EXPECT_EQ(layout.runs[1].color, (Color{10, 20, 30}));  // two numbers keep the colour
  EXPECT_EQ(layout.runs[2].color, (Color{255, 0, 7}));    // out-of-range parts are clamped
  EXPECT_EQ(layout.runs[3].color, (Color{0, 0, 0}));
}

TEST(MarkupLayoutTest, CharacterReferences) {
  EXPECT_EQ(MarkupToPlainText("&amp;&#169;&#xA9;&Auml;&auml;&apos;&euro;"), "&\u00A9\u00A9\u00C4\u00E4'\u20AC");
  EXPECT_EQ(MarkupToPlainText("&nosuch; &AMP; a & b; &abcdefghijk; &#0; &#xD800; &#x110000; &#12a;"),
            "&nosuch; &AMP; a & b; &abcdefghijk; &#0; &#xD800; &#x110000; &#12a;");
  EXPECT_EQ(MarkupToPlainText("&#x1F600;<b>x</b>\r\ny"), "\U0001F600x\ny");
  // A reference is one character of the line.
  EXPECT_EQ(RunTexts(LayOut("&lt;&gt;", 500)), (Texts{u"<>"}));
}

TEST(MarkupLayoutTest, BadUtf8BytesShowAsReplacementCharacters) {
  EXPECT_EQ(MarkupToPlainText("a\xC3(\xFF\xE2\x82"), "a\uFFFD(\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(MarkupToPlainText("\xC0\xAF"), "\uFFFD\uFFFD");  // overlong
}

TEST(MarkupLayoutTest, LineBufferHoldsFiveHundredUnits) {
  MarkupLayout layout = LayOut(std::string(600, 'x'), 100000);
  ASSERT_EQ(layout.runs.size(), 2u);
  EXPECT_EQ(layout.runs[0].text.size(), 500u);
  EXPECT_EQ(layout.runs[1].text.size(), 100u);

  // A character outside the BMP that would not fit in the buffer starts the next line.
  MarkupLayout emoji = LayOut(std::string(499, 'x') + "\U0001F600y", 100000);
  ASSERT_EQ(emoji.runs.size(), 2u);
  EXPECT_EQ(emoji.runs[0].text.size(), 499u);
  EXPECT_EQ(emoji.runs[1].text, u"\U0001F600y");
}

TEST(MarkupLayoutTest, CharactersOutsideTheBmpAreNeverSplit) {
  EXPECT_EQ(RunTexts(LayOut("\U0001F600\U0001F601\U0001F602", 25)),
            (Texts{u"\U0001F600", u"\U0001F601", u"\U0001F602"}));
  EXPECT_EQ(RunTexts(LayOut("\U0001F600\U0001F601", 5)), (Texts{u"\U0001F600", u"\U0001F601"}));
}

TEST(MarkupLayoutTest, MeasuresOnlyAtBlanksTagsLineEndsAndEveryThirtyCharacters) {
  FixedMeasurer measurer;
  LayOutMarkup(std::string(90, 'x'), LayoutOptions{100000, 0, 0}, measurer);
  EXPECT_EQ(measurer.width_calls, 3 + 1);  // three checks, one run
}

TEST(MarkupLayoutTest, LinkWrappingOverTwoLinesReportsOneMarkup) {
  const std::string link = "<a href=\"u\">one two</a>";
  MarkupLayout layout = LayOut("go " + link + " end", 75);
  ASSERT_EQ(RunTexts(layout), (Texts{u"go ", u"one ", u"two", u" end"}));
  EXPECT_EQ(layout.runs[1].color, (Color{0, 0, 100}));
  EXPECT_TRUE(layout.runs[1].font.underline);
  ASSERT_EQ(layout.links.size(), 2u);
  const LinkPiece& first = layout.links[0];
  EXPECT_EQ((std::vector<int>{first.left, first.top, first.right, first.bottom, first.flags}),
            (std::vector<int>{30, 0, 70, 16, kLinkContinues}));
  const LinkPiece& second = layout.links[1];
  EXPECT_EQ((std::vector<int>{second.left, second.top, second.right, second.bottom, second.flags}),
            (std::vector<int>{0, 16, 30, 32, kLinkContinuation}));
  EXPECT_EQ(first.text, link);
  EXPECT_TRUE(second.text.empty());
  EXPECT_EQ(layout.HitTest(35, 5), 0);
  EXPECT_EQ(layout.HitTest(5, 20), 0);
  EXPECT_EQ(layout.HitTest(25, 5), -1);
  EXPECT_EQ(layout.HitTest(35, 20), -1);
}

TEST(MarkupLayoutTest, LinkWhoseStartTagFallsBehindTheBreakHasOnePiece) {
  MarkupLayout layout = LayOut("aaa bbb <A href=\"u\">cc</A>", 75);
  ASSERT_EQ(layout.links.size(), 1u);
  EXPECT_EQ(layout.links[0].top, 16);
  EXPECT_EQ(layout.links[0].left, 0);
  EXPECT_EQ(layout.links[0].flags, 0);
  EXPECT_EQ(layout.links[0].text, "<A href=\"u\">cc</A>");
  EXPECT_EQ(layout.HitTest(10, 20), 0);
}

TEST(MarkupLayoutTest, ShortATagsAreNoLinksAndUnendedLinksTakeTheRest) {
  EXPECT_TRUE(LayOut("<a>x</a><a href=1>y</a>", 500).links.empty());

  MarkupLayout unended = LayOut("<a href=\"zz\">abc", 500);
  ASSERT_EQ(unended.links.size(), 1u);
  EXPECT_EQ(unended.links[0].text, "<a href=\"zz\">abc");
  EXPECT_EQ(unended.links[0].flags, 0);

  MarkupLayout two = LayOut("<a href=\"1111\">x<a href=\"2222\">y</a>", 500);
  ASSERT_EQ(two.links.size(), 2u);
  EXPECT_EQ(two.links[0].text, "<a href=\"1111\">x");
  EXPECT_EQ(two.links[1].text, "<a href=\"2222\">y</a>");
  EXPECT_EQ(two.HitTest(15, 5), 1);
}

TEST(MarkupLayoutTest, UnclosedTagRunsToTheEndOfTheText) {
  EXPECT_EQ(MarkupToPlainText("ab<b c"), "ab");
  EXPECT_EQ(RunTexts(LayOut("ab<b c", 500)), (Texts{u"ab"}));
}

// Whatever the width, every shown character lands in exactly one run, and
// every link reports mark-up that begins with its start tag.
TEST(MarkupLayoutTest, MixedTextLosesNoCharacterAtAnyWidth) {
  static const char* const kFragments[] = {"word ", "<b>", "</b>", "<B>", "<a href=\"http://x/\">", "</a>", "</A>",
                                           "<small>", "</small>", "&amp;", "& ", "&#x1F600;", "\xF0\x9F\x98\x81",
                                           "\r\n", "\n", "\t", "longlonglonglongword", "<font color=1,2,3>", "</font>",
                                           "<", ">", "\xC3\xA9", "\xFF"};
  std::uint32_t seed = 7;
  for (int document = 0; document < 200; ++document) {
    std::string markup;
    for (int i = 0; i < 40; ++i) {
      seed = seed * 1103515245u + 12345u;
      markup += kFragments[(seed >> 16) % std::size(kFragments)];
    }
    std::string shown = MarkupToPlainText(markup);
    std::erase(shown, '\n');
    for (int width : {1, 7, 33, 95, 400}) {
      MarkupLayout layout = LayOut(markup, width);
      std::u16string runs;
      for (const TextRun& run : layout.runs) runs += run.text;
      ASSERT_EQ(Utf8Of(runs), shown) << markup << " at " << width;
      for (const LinkPiece& piece : layout.links) {
        EXPECT_LE(piece.left, piece.right);
        if (!(piece.flags & kLinkContinuation)) {
          EXPECT_EQ(piece.text.rfind("<a ", 0), 0u) << markup;
        }
      }
    }
  }
}

}  // namespace
}  // namespace vrel::markup
