#include <gtest/gtest.h>

#include <set>

#include "saver/anim_geometry.h"
#include "saver/font_description.h"

namespace vrel::saver {
namespace {

TEST(AnimRandom, BelowStaysInRangeAndZeroOrOneGiveZero) {
  AnimRandom random(12345);
  std::set<int> seen;
  for (int i = 0; i < 2000; ++i) {
    EXPECT_EQ(random.Below(1), 0);
    EXPECT_EQ(random.Below(0), 0);
    EXPECT_EQ(random.Below(-7), 0);
    const int value = random.Below(5);
    EXPECT_GE(value, 0);
    EXPECT_LT(value, 5);
    seen.insert(value);
    const int big = random.Below(100000);
    EXPECT_GE(big, 0);
    EXPECT_LT(big, 100000);
  }
  EXPECT_EQ(seen.size(), 5u);
}

TEST(AnimRandom, SameSeedSameSequenceLikeTheCLibrary) {
  AnimRandom a(1), b(1);
  // The first numbers of rand() after srand(1) in the Microsoft C library.
  EXPECT_EQ(a.Next(), 41);
  EXPECT_EQ(a.Next(), 18467);
  EXPECT_EQ(a.Next(), 6334);
  b.Next();
  b.Seed(1);
  EXPECT_EQ(b.Next(), 41);
}

TEST(Geometry, OffsetExtendAndJitter) {
  EXPECT_EQ(OffsetByDirection({10, 20}, 0, 5), (Point{5, 20}));
  EXPECT_EQ(OffsetByDirection({10, 20}, 1, 5), (Point{10, 15}));
  EXPECT_EQ(OffsetByDirection({10, 20}, 2, 5), (Point{15, 20}));
  EXPECT_EQ(OffsetByDirection({10, 20}, 3, 5), (Point{10, 25}));
  EXPECT_EQ(OffsetByDirection({10, 20}, -1, 5), (Point{10, 25}));

  EXPECT_EQ(Extend({12, 14}, {10, 10}, 3), (Point{16, 22}));  // three times as far from P0
  EXPECT_EQ(Extend({12, 14}, {10, 10}, 1), (Point{12, 14}));
  EXPECT_EQ(Extend({12, 14}, {10, 10}, 0), (Point{10, 10}));

  AnimRandom random(7);
  bool movedX = false, independent = false;
  for (int i = 0; i < 200; ++i) {
    const Point p = Jitter({100, 100}, 20, random);
    EXPECT_GE(p.x, 80);
    EXPECT_LT(p.x, 120);
    EXPECT_GE(p.y, 80);
    EXPECT_LT(p.y, 120);
    movedX |= p.x != 100;
    independent |= p.y != p.x;  // each axis draws its own number
  }
  EXPECT_TRUE(movedX);
  EXPECT_TRUE(independent);
}

TEST(FontDescription, SettingsComeBeforeTheFaceName) {
  const FontDescription plain = ParseFontDescription("12,MS Sans Serif");
  EXPECT_EQ(plain.height, 12);
  EXPECT_EQ(plain.face, "MS Sans Serif");
  EXPECT_EQ(plain.weight, 400);
  EXPECT_FALSE(plain.antialiased);

  const FontDescription smooth = ParseFontDescription("36,A,Verdana");
  EXPECT_EQ(smooth.height, 36);
  EXPECT_TRUE(smooth.antialiased);
  EXPECT_EQ(smooth.face, "Verdana");

  // "B" last is a face name, not bold.
  const FontDescription faceB = ParseFontDescription("18,B");
  EXPECT_EQ(faceB.face, "B");
  EXPECT_EQ(faceB.weight, 400);

  // "Courier New" before a comma is a character set setting.
  const FontDescription courier = ParseFontDescription("24,Courier New,B");
  EXPECT_EQ(courier.height, 24);
  EXPECT_EQ(courier.face, "B");
  EXPECT_EQ(courier.charSet, 0);
  EXPECT_EQ(courier.weight, 400);

  EXPECT_EQ(ParseFontDescription("14,B,Courier New").weight, 700);
  EXPECT_EQ(ParseFontDescription("14,B,Courier New").face, "Courier New");
  EXPECT_EQ(ParseFontDescription("B600,Arial").weight, 600);
  EXPECT_EQ(ParseFontDescription("B600").face, "B600");
}

TEST(FontDescription, DefaultsOtherSettingsAndLongNames) {
  const FontDescription none = ParseFontDescription("");
  EXPECT_EQ(none.height, 12);
  EXPECT_EQ(none.face, "");
  EXPECT_EQ(ParseFontDescription("Tahoma"), (FontDescription{12, 400, false, false, false, 0, false, "Tahoma"}));

  const FontDescription all = ParseFontDescription("-20,I,U,S,C:161,Q,,X");
  EXPECT_EQ(all.height, -20);
  EXPECT_TRUE(all.italic);
  EXPECT_TRUE(all.underline);
  EXPECT_TRUE(all.strikeOut);
  EXPECT_EQ(all.charSet, 161);
  EXPECT_EQ(all.face, "X");
  EXPECT_EQ(ParseFontDescription("C1,Y").charSet, 0);  // too short to carry a number

  const FontDescription longName = ParseFontDescription("10," + std::string(40, 'F'));
  EXPECT_EQ(longName.face, std::string(31, 'F'));
}

}  // namespace
}  // namespace vrel::saver
