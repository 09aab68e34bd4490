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

  Colour CurrentColour() const { return m_colour; }
  Point StartPoint() const { return m_start; }
  Point TargetPoint() const { return m_target; }
  int Steps() const { return m_steps; }
  bool Waiting() const { return m_waiting; }
  const Rect& CoveredRect() const { return m_rect; }

 private:
  friend class AnimScene;

  void Reset(AnimScene& scene, std::string text);
  void Release();
  bool IsPicture() const { return m_cellSize >= 0; }
  Point AdvancePosition();
  void AdvanceColour();
  void Draw(AnimCanvas& canvas, int defaultFont);
  void Cover(const Rect& rect);

  AnimScene* m_scene = nullptr;
  std::string m_text;
  Colour m_colour = kDefaultColour;
  Colour m_targetColour = kDefaultColour;
  Point m_start, m_target, m_drawnPos;
  double m_posX = 0, m_posY = 0;
  bool m_moved = false;  // drawn at the previous step
  int m_steps = kDefaultSteps;
  int m_flags = 0;
  int m_font = -1;
  int m_picture = -1, m_pictureWidth = 0, m_cell = 0, m_cellSize = -1;
  bool m_waiting = false;
  std::vector<AnimItem*> m_followers, m_companions;
  Rect m_rect, m_oldRect;
};

class AnimScene {
 public:
  static constexpr const char* kDefaultFontDescription = "15,MS Sans Serif";

  explicit AnimScene(AnimCanvas& canvas, uint32_t seed);
  AnimScene(const AnimScene&) = delete;
  AnimScene& operator=(const AnimScene&) = delete;

  void SetUp(const Rect& rect);
  const Rect& SceneRect() const { return m_rect; }

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

  AnimRandom& Random() { return m_random; }
  // A point keeping margin pixels from the edges while the scene is larger
  // than halfSize on each side of its centre, fewer when it is not.
  Point RandomPoint(int margin, int halfSize);
  int CentreX() const { return m_rect.left + m_rect.Width() / 2; }
  int CentreY() const { return m_rect.top + m_rect.Height() / 2; }
  int ItemCount() const { return static_cast<int>(m_items.size()); }

 private:
  static constexpr int kPoolBlock = 10;

  AnimItem* TakeFromPool();
  void ShowRects(const AnimItem& item);
  int RandomCoordinate(int low, int extent, int margin, int halfSize);

  AnimCanvas& m_canvas;
  AnimRandom m_random;
  Rect m_rect;
  int m_defaultFont = -1;
  std::map<std::string, int, std::less<>> m_fonts;
  struct Sheet {
    int id = -1, width = 0;
  };
  std::map<int, Sheet> m_pictures;
  std::vector<AnimItem*> m_items;
  std::vector<std::unique_ptr<AnimItem[]>> m_poolBlocks;
  std::vector<AnimItem*> m_freeItems;
};

}  // namespace vrel::saver
