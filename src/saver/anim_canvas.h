// What the animation scene draws on: a back buffer holding the background, a
// frame buffer where the items are composed, and the screen. The window
// implements it with Qt; the tests record the calls.
#pragma once

#include <string>

#include "saver/anim_geometry.h"
#include "saver/font_description.h"

namespace vrel::saver {

struct TextSize {
  int width = 0, height = 0;
};

class AnimCanvas {
 public:
  virtual ~AnimCanvas() = default;

  // Makes both buffers for the scene rectangle, filled with the background.
  virtual void SetUp(const Rect& scene) = 0;

  // Fonts and picture sheets are made once and named by the returned id.
  virtual int CreateFont(const FontDescription& description) = 0;
  // -1 when the sheet does not exist; width receives the sheet's width.
  virtual int LoadPicture(int resource, int& width) = 0;

  virtual TextSize MeasureText(int font, const std::string& text) = 0;
  // Into the frame buffer; at is the text's top left corner.
  virtual void DrawText(int font, const std::string& text, Point at, Colour colour) = 0;
  virtual void DrawCell(int picture, const Rect& source, Point at) = 0;

  // Back buffer to frame buffer: erases whatever was composed there.
  virtual void Erase(const Rect& rect) = 0;
  // Frame buffer to the screen.
  virtual void Show(const Rect& rect) = 0;
};

}  // namespace vrel::saver
