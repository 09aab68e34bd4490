// A scene of short-lived items, each a line of text or a cell of a picture
// sheet, that move in a straight line, fade, wait for one another and vanish
// when their steps run out. Only the rectangles the items cover are redrawn.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "saver/anim_canvas.h"
#include "saver/anim_geometry.h"

namespace vrel::saver {

class AnimScene;

class AnimItem {
 public:
  enum Flags : int { kFadeIn = 1, kFadeOut = 2, kRightAlign = 8, kCentre = 16 };
  static constexpr Colour kDefaultColour{191, 191, 191};
  static constexpr int kDefaultSteps = 20;

  // The setters chain.
  AnimItem& SetTextFont(std::string_view description);
  AnimItem& SetPicture(int resource, int cell, int cellSize);
  AnimItem& SetColour(Colour colour);
  AnimItem& PlaceAt(int x, int y);  // start and target
  AnimItem& StartAt(int x, int y);
  AnimItem& Target(int x, int y);
  AnimItem& TargetRelative(int dx, int dy);  // from the start
  AnimItem& SetSteps(int steps);
  AnimItem& FadeIn();
  AnimItem& FadeOut();
  AnimItem& RightAlign();
  AnimItem& Centre();
  // This item starts on the step after other's last one.
  AnimItem& WaitFor(AnimItem& other);
  // This item waits exactly when other does and is released with it; call
  // it after other's own WaitFor.
  AnimItem& StartWith(AnimItem& other);

  Colour CurrentColour() const { return colour_; }
  Point StartPoint() const { return start_; }
  Point TargetPoint() const { return target_; }
  int Steps() const { return steps_; }
  bool Waiting() const { return waiting_; }
  const Rect& CoveredRect() const { return rect_; }

 private:
  friend class AnimScene;

  void Reset(AnimScene& scene, std::string text);
  void Release();
  bool IsPicture() const { return cellSize_ >= 0; }
  Point AdvancePosition();
  void AdvanceColour();
  void Draw(AnimCanvas& canvas, int defaultFont);
  void Cover(const Rect& rect);

  AnimScene* scene_ = nullptr;
  std::string text_;
  Colour colour_ = kDefaultColour;
  Colour targetColour_ = kDefaultColour;
  Point start_, target_, drawnPos_;
  double posX_ = 0, posY_ = 0;
  bool moved_ = false;  // drawn at the previous step
  int steps_ = kDefaultSteps;
  int flags_ = 0;
  int font_ = -1;
  int picture_ = -1, pictureWidth_ = 0, cell_ = 0, cellSize_ = -1;
  bool waiting_ = false;
  std::vector<AnimItem*> followers_, companions_;
  Rect rect_, oldRect_;
};

class AnimScene {
 public:
  static constexpr const char* kDefaultFontDescription = "15,MS Sans Serif";

  explicit AnimScene(AnimCanvas& canvas, uint32_t seed);
  AnimScene(const AnimScene&) = delete;
  AnimScene& operator=(const AnimScene&) = delete;

  void SetUp(const Rect& rect);
  const Rect& SceneRect() const { return rect_; }

  AnimItem& AddItem(std::string text);
  // Same text, font, alignment and picture, placed at item's target in its
  // target colour, waiting for item to end.
  AnimItem& CloneItem(AnimItem& item);

  // Advances and draws every live item; returns how many items there were
  // before the finished ones went (waiting ones included).
  int Step();
  // Erases every item from the screen and drops them all.
  void Clear();

  int Font(std::string_view description);
  // Sets width to the sheet's width; -1 when there is no such sheet.
  int Picture(int resource, int& width);

  AnimRandom& Random() { return random_; }
  // A point keeping margin pixels from the edges while the scene is larger
  // than halfSize on each side of its centre, fewer when it is not.
  Point RandomPoint(int margin, int halfSize);
  int CentreX() const { return rect_.left + rect_.Width() / 2; }
  int CentreY() const { return rect_.top + rect_.Height() / 2; }
  int ItemCount() const { return static_cast<int>(items_.size()); }

 private:
  static constexpr int kPoolBlock = 10;

  AnimItem* TakeFromPool();
  void ShowRects(const AnimItem& item);
  int RandomCoordinate(int low, int extent, int margin, int halfSize);

  AnimCanvas& canvas_;
  AnimRandom random_;
  Rect rect_;
  int defaultFont_ = -1;
  std::map<std::string, int, std::less<>> fonts_;
  struct Sheet {
    int id = -1, width = 0;
  };
  std::map<int, Sheet> pictures_;
  std::vector<AnimItem*> items_;
  std::vector<std::unique_ptr<AnimItem[]>> poolBlocks_;
  std::vector<AnimItem*> freeItems_;
};

}  // namespace vrel::saver
