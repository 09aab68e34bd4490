// A canvas that measures every character 8 pixels wide and 10 high and
// records what the scene draws, erases and shows.
#pragma once

#include <string>
#include <vector>

#include "saver/anim_canvas.h"

namespace vrel::saver::test {

class RecordingCanvas : public AnimCanvas {
 public:
  static constexpr int kCharWidth = 8;
  static constexpr int kHeight = 10;
  static constexpr int kSheetWidth = 384;

  struct DrawnText {
    int font;
    std::string text;
    Point at;
    Colour colour;
  };
  struct DrawnCell {
    Rect source;
    Point at;
  };

  void SetUp(const Rect& scene) override { setUps.push_back(scene); }
  int CreateFont(const FontDescription& description) override {
    fonts.push_back(description);
    return int(fonts.size()) - 1;
  }
  int LoadPicture(int resource, int& width) override {
    pictureLoads.push_back(resource);
    width = kSheetWidth;
    return 0;
  }
  TextSize MeasureText(int, const std::string& text) override { return {int(text.size()) * kCharWidth, kHeight}; }
  void DrawText(int font, const std::string& text, Point at, Colour colour) override {
    texts.push_back({font, text, at, colour});
  }
  void DrawCell(int, const Rect& source, Point at) override { cells.push_back({source, at}); }
  void Erase(const Rect& rect) override { erased.push_back(rect); }
  void Show(const Rect& rect) override { shown.push_back(rect); }

  void ForgetDrawing() {
    texts.clear();
    cells.clear();
    erased.clear();
    shown.clear();
  }
  std::vector<DrawnText> TextsOf(const std::string& text) const {
    std::vector<DrawnText> found;
    for (const DrawnText& drawn : texts)
      if (drawn.text == text) found.push_back(drawn);
    return found;
  }

  std::vector<Rect> setUps;
  std::vector<FontDescription> fonts;
  std::vector<int> pictureLoads;
  std::vector<DrawnText> texts;
  std::vector<DrawnCell> cells;
  std::vector<Rect> erased, shown;
};

}  // namespace vrel::saver::test
