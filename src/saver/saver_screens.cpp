#include "saver/saver_screens.h"

#include <array>

#include "saver/emoticons.h"

namespace vrel::saver {
namespace {

constexpr const char* kKeyHelp = "G get, S skip, P pause";
constexpr const char* kLineFont = "12,MS Sans Serif";
constexpr const char* kDigitFont = "36,Verdana";
constexpr std::array kTileSizes{6, 8, 12, 16, 24};

struct PromotionRow {
  const char* font;
  Colour colour;
  const char* text;
};

constexpr std::array kPromotionRows{
    PromotionRow{"18,B", {230, 230, 230}, "Your news feeds, one screen at a time"},
    PromotionRow{"18,Courier New,B", {120, 200, 255}, "RSS, RSS 1.0, Atom and plain XML feeds"},
    PromotionRow{"14,MS Sans Serif", {255, 153, 0}, "Every feed downloaded on its own schedule"},
    PromotionRow{"12,MS Sans Serif", {100, 255, 100}, "A note pops up when a feed brings news"},
    PromotionRow{"36,A,Verdana", {190, 0, 0}, "brackenfold News Reader"},
    PromotionRow{"15,A,MS Sans Serif", {191, 191, 191}, "Press G to read the feed you just saw"},
};

}  // namespace

struct PathParameters {
  int largeRadius = 0;
  int smallRadius = 0;
  int extension = 0;
};

std::string DescribeScreen(const SaverScreens& screens) {
  std::string text = screens.Title().empty() ? SaverScreens::kName : screens.Title();
  text += std::string(". ") + kKeyHelp;
  if (screens.Paused()) text += " (paused)";
  return text;
}

SaverScreens::SaverScreens(AnimScene& scene, DigestSource digests)
    : scene_(scene), digests_(std::move(digests)), step_(scene.Random().Below(5)) {}

void SaverScreens::Tick() {
  if (paused_) return;
  if (skip_) {
    scene_.Clear();
    skip_ = false;
  }
  if (scene_.Step() > 2) return;
  StartNextScreen();
}

void SaverScreens::StartNextScreen() {
  AnimItem& decoration = AddPictureDecoration();
  AddDigitShower(decoration);
  if (step_ != kClosingStep) {
    // A source that finds nothing may leave the document alone: the last
    // screen's feed must not come back then.
    feeds_.SetDocumentText("<DIGEST/>");
    digests_(feeds_, feedId_);
    if (ReadDigest(feeds_, feed_)) {
      title_ = feed_.title;
      feedId_ = feed_.feedId;
    } else {
      step_ = kClosingStep;
    }
  }
  if (step_ == kClosingStep) {
    AddClosingScreen(decoration);
  } else {
    switch (step_ % 4) {
      case 0: AddFallingTitles(); break;
      case 1: AddFallingTitlesWithFaces(); break;
      case 2: AddBracketedTitles(); break;
      default: AddGatheringLines(); break;
    }
  }
  step_ = step_ == kClosingStep ? 0 : step_ + 1;
}

Point SaverScreens::PathPoint(int kind, Point place, Point corner, const PathParameters& path) {
  AnimRandom& random = scene_.Random();
  switch (kind) {
    case 0: {
      const int direction = random.Below(4);
      return OffsetByDirection(place, direction, random.Below(200));
    }
    case 1: return Jitter(place, path.largeRadius, random);
    case 2: return Jitter(place, path.smallRadius, random);
    default: return Extend(place, corner, path.extension);
  }
}

AnimItem& SaverScreens::AddPictureDecoration() {
  AnimRandom& random = scene_.Random();
  const int picture = random.Below(kPictureCount);
  const int flyIn = random.Below(4);
  const int flyOut = random.Below(4);
  PathParameters path;
  path.largeRadius = 200 + random.Below(300);
  path.smallRadius = 20 + random.Below(100);
  path.extension = random.Below(10);
  const int tile = kTileSizes[size_t(random.Below(int(kTileSizes.size())))];
  const int tilesPerSide = kPictureSize / tile;
  const int sheetColumns = kPictureCount * tilesPerSide;

  const Point centre = scene_.RandomPoint(100, 40);
  const Point corner{centre.x - 50, centre.y - 50};
  AnimItem* last = nullptr;
  for (int row = 0; row < tilesPerSide; ++row) {
    for (int column = 0; column < tilesPerSide; ++column) {
      const Point place{corner.x + column * tile, corner.y + row * tile};
      const Point start = PathPoint(flyIn, place, corner, path);
      const int cell = row * sheetColumns + picture * tilesPerSide + column;
      AnimItem& tileItem = scene_.AddItem("").SetPicture(kPictureSheet, cell, tile).StartAt(start.x, start.y).Target(place.x, place.y);
      AnimItem& hold = scene_.CloneItem(tileItem).SetSteps(120);
      const Point away = PathPoint(flyOut, place, corner, path);
      last = &scene_.CloneItem(hold).Target(away.x, away.y).SetSteps(50);
    }
  }
  return *last;
}

void SaverScreens::AddDigitShower(AnimItem& after) {
  AnimRandom& random = scene_.Random();
  const Rect& scene = scene_.SceneRect();
  const int count = 6 + random.Below(scene.Height() / 50);
  const int motion = random.Below(20);
  for (int i = 0; i < count; ++i) {
    const Point start = scene_.RandomPoint(0, 40);
    AnimItem& digit = scene_.AddItem(random.Below(2) ? "1" : "0").SetTextFont(kDigitFont).FadeOut().SetSteps(300);
    digit.PlaceAt(start.x, start.y).WaitFor(after);
    // 15 to 19: each digit takes one of the two long kinds.
    const int kind = motion < 15 ? motion : (random.Below(2) ? 7 : 12);
    const bool firstWay = random.Below(2) == 0;
    if (kind <= 2) {
      const Point end = scene_.RandomPoint(0, 40);
      digit.Target(end.x, end.y);
    } else if (kind <= 4) {
      digit.Target(start.x, firstWay ? scene.top - 40 : scene.bottom);
    } else if (kind <= 6) {
      digit.Target(firstWay ? scene.left - 40 : scene.right, start.y);
    } else if (kind <= 11) {
      digit.TargetRelative(firstWay ? -scene.Width() : scene.Width(), 0);
    } else {
      digit.TargetRelative(0, firstWay ? -scene.Height() : scene.Height());
    }
  }
}

// The feed title flashes red at a random place while each item title falls
// from the centre with its other lines.
void SaverScreens::AddFallingTitles() {
  AnimItem* previousTitle = nullptr;
  for (const DigestItem& entry : feed_.items) {
    const Point at = scene_.RandomPoint(90, 40);
    AnimItem& feedTitle = scene_.AddItem(feed_.title).SetTextFont("18,B").FadeOut();
    feedTitle.SetColour({190, 0, 0}).Centre().PlaceAt(at.x, at.y).SetSteps(80);
    previousTitle = &AddFallingTitle(entry, feedTitle, previousTitle);
  }
}

// The same fall with the feed title drifting down in pale blue, and an
// emoticon beside each item that flies off.
void SaverScreens::AddFallingTitlesWithFaces() {
  AnimRandom& random = scene_.Random();
  const Point reference{random.Below(scene_.CentreX() / 2), random.Below(scene_.SceneRect().Height() - 40)};
  AnimItem* previousTitle = nullptr;
  for (const DigestItem& entry : feed_.items) {
    const Point at = scene_.RandomPoint(50, 40);
    AnimItem& feedTitle = scene_.AddItem(feed_.title).SetTextFont("18,B").FadeOut();
    feedTitle.SetColour({190, 190, 255}).RightAlign().PlaceAt(at.x, at.y).TargetRelative(0, 50).SetSteps(300);
    AnimItem& title = AddFallingTitle(entry, feedTitle, previousTitle);
    const Emoticons& emoticons = EmoticonTable();
    AnimItem& face = scene_.AddItem(std::string(emoticons[size_t(random.Below(int(emoticons.size())))]));
    face.SetTextFont("14,B,Courier New").PlaceAt(reference.x + 80, reference.y + 35).SetSteps(100).StartWith(title);
    const int awayX = reference.x + 30 + random.Below(100);
    const int awayY = reference.y - 15 + random.Below(100);
    scene_.CloneItem(face).Target(awayX, awayY).FadeOut().SetSteps(30);
    previousTitle = &title;
  }
}

// An item title falling from the centre, its time and other line with it;
// it and the feed title wait for the previous item's title.
AnimItem& SaverScreens::AddFallingTitle(const DigestItem& entry, AnimItem& feedTitle, AnimItem* previousTitle) {
  const int cx = scene_.CentreX();
  const int cy = scene_.CentreY();
  AnimItem& title = scene_.AddItem(entry.Line(0)).SetTextFont("24,Courier New,B").Centre();
  title.StartAt(cx, cy - 70).TargetRelative(100, 100).SetSteps(100);
  if (previousTitle) {
    feedTitle.WaitFor(*previousTitle);
    title.WaitFor(*previousTitle);
  }
  scene_.CloneItem(title).TargetRelative(-20, 60).FadeOut().SetSteps(60);
  // The time and the other line move with the title, then drift apart.
  auto addLine = [&](const std::string& text, Colour colour, int aboveCentre, Point drift) {
    if (text.empty()) return;
    AnimItem& line = scene_.AddItem(text).SetTextFont(kLineFont).SetColour(colour).Centre();
    line.StartAt(cx, cy - aboveCentre).TargetRelative(100, 100).SetSteps(100).StartWith(title);
    scene_.CloneItem(line).TargetRelative(drift.x, drift.y).FadeOut().SetSteps(60);
  };
  addLine(entry.Line(1), {100, 255, 100}, 40, {20, 60});
  addLine(entry.Line(2), AnimItem::kDefaultColour, 20, {0, 130});
  return title;
}

namespace {

// Pause, 50 pixels right, pause, 100 pixels right while fading out.
void AddStages(AnimScene& scene, AnimItem& first) {
  AnimItem& pause = scene.CloneItem(first).SetSteps(30);
  AnimItem& shortMove = scene.CloneItem(pause).TargetRelative(50, 0).SetSteps(30);
  AnimItem& secondPause = scene.CloneItem(shortMove).SetSteps(30);
  scene.CloneItem(secondPause).TargetRelative(100, 0).SetSteps(30).FadeOut();
}

}  // namespace

// Each item title flies to a random place beside a red bracket and under the
// feed title, its lines flying in below it; then they step off to the right.
void SaverScreens::AddBracketedTitles() {
  AnimRandom& random = scene_.Random();
  AnimItem* previousTitle = nullptr;
  for (const DigestItem& entry : feed_.items) {
    const Point reference = scene_.RandomPoint(150, 40);
    const Point from = scene_.RandomPoint(0, 40);
    AnimItem& title = scene_.AddItem(entry.Line(0)).SetTextFont("24,Courier New,B");
    title.StartAt(from.x, from.y).Target(reference.x, reference.y).SetSteps(40);
    if (previousTitle) title.WaitFor(*previousTitle);
    AddStages(scene_, title);

    AnimItem& feedTitle = scene_.AddItem(feed_.title).SetTextFont("16,B").SetColour({255, 0, 0});
    feedTitle.PlaceAt(reference.x, reference.y - 24).SetSteps(160).FadeOut().StartWith(title);
    const bool far = random.Below(2) == 0;
    AnimItem& bracket = scene_.AddItem("]").SetTextFont("16,B").SetColour({255, 0, 0}).RightAlign();
    bracket.StartAt(reference.x - 4, reference.y).TargetRelative(far ? -50 : -25, 0).SetSteps(far ? 30 : 15).StartWith(title);
    scene_.CloneItem(bracket).SetSteps(100).FadeOut();

    int lineY = reference.y + 28;
    for (size_t i = 1; i < entry.lines.size(); ++i) {
      if (entry.lines[i].empty()) continue;
      const Point lineFrom = scene_.RandomPoint(0, 40);
      AnimItem& line = scene_.AddItem(entry.lines[i]).SetTextFont(kLineFont);
      line.StartAt(lineFrom.x, lineFrom.y).Target(reference.x, lineY).SetSteps(40).StartWith(title);
      AddStages(scene_, line);
      lineY += 18;
    }
    previousTitle = &title;
  }
}

// The feed title shows while the item's lines fly together from random
// places, each in its own look, and scatter again.
void SaverScreens::AddGatheringLines() {
  struct LineLook {
    const char* font;
    Colour colour;
  };
  constexpr std::array kLooks{LineLook{"18,Courier New,B", AnimItem::kDefaultColour},
                              LineLook{"14,MS Sans Serif", {255, 153, 0}},
                              LineLook{kLineFont, AnimItem::kDefaultColour}};
  AnimItem* previousTitle = nullptr;
  for (const DigestItem& entry : feed_.items) {
    const Point titleAt = scene_.RandomPoint(90, 40);
    AnimItem& feedTitle = scene_.AddItem(feed_.title).SetTextFont("18,B").Centre();
    feedTitle.PlaceAt(titleAt.x, titleAt.y).FadeOut().SetSteps(120);
    if (previousTitle) feedTitle.WaitFor(*previousTitle);

    const Point reference = scene_.RandomPoint(120, 40);
    AnimItem* title = nullptr;
    for (size_t i = 0; i < entry.lines.size() && i < kLooks.size(); ++i) {
      if (entry.lines[i].empty()) continue;
      const Point from = scene_.RandomPoint(40, 40);
      AnimItem& line = scene_.AddItem(entry.lines[i]).SetTextFont(kLooks[i].font).SetColour(kLooks[i].colour).Centre();
      line.StartAt(from.x, from.y).Target(reference.x, reference.y + 20 * int(i)).SetSteps(40);
      if (title) {
        line.StartWith(*title);
      } else {
        if (previousTitle) line.WaitFor(*previousTitle);
        title = &line;
      }
      AnimItem& hold = scene_.CloneItem(line).SetSteps(120);
      const Point away = scene_.RandomPoint(40, 40);
      scene_.CloneItem(hold).Target(away.x, away.y).SetSteps(60).FadeOut();
    }
    if (title) previousTitle = title;
  }
}

void SaverScreens::AddClosingScreen(AnimItem& after) {
  const Point p = scene_.RandomPoint(150, 40);
  AnimItem& name = scene_.AddItem(kName).SetTextFont("24,B,A").SetColour({0, 0, 255});
  name.Centre().PlaceAt(p.x, p.y).SetSteps(70).WaitFor(after);
  scene_.CloneItem(name).TargetRelative(0, -50).FadeOut().SetSteps(50);
  AnimItem& keys = scene_.AddItem(kKeyHelp).SetTextFont("16,B,Courier New").SetColour({0, 0, 130});
  keys.Centre().PlaceAt(p.x, p.y + 20).SetSteps(70).WaitFor(after);
  scene_.CloneItem(keys).TargetRelative(0, 50).FadeOut().SetSteps(50);

  // The rows follow one another, each fading while the next appears.
  AnimItem* previous = &name;
  for (const PromotionRow& row : kPromotionRows) {
    const Point at = scene_.RandomPoint(100, 40);
    AnimItem& item = scene_.AddItem(row.text).SetTextFont(row.font).SetColour(row.colour).Centre();
    item.PlaceAt(at.x, at.y).SetSteps(50).WaitFor(*previous);
    scene_.CloneItem(item).FadeOut().SetSteps(40);
    previous = &item;
  }
}

}  // namespace vrel::saver
