// How the full-screen saver answers the keyboard and the mouse: G picks the
// feed on screen and leaves, P pauses, S skips, anything else leaves; the
// mouse leaves once it has really moved, not on a jitter.
#pragma once

#include "saver/anim_geometry.h"
#include "saver/saver_screens.h"

namespace vrel::saver {

class SaverInput {
 public:
  enum class Verdict { kStay, kClose };
  static constexpr int kMouseSlack = 6;  // pixels, horizontal plus vertical

  explicit SaverInput(SaverScreens& screens) : screens_(screens) {}

  // key: the typed character, 0 for a key that types none.
  Verdict OnKey(char32_t key);
  Verdict OnMouseMove(Point position);

  // Whether the user asked for the feed on screen (key G).
  bool Get() const { return get_; }

 private:
  SaverScreens& screens_;
  bool get_ = false;
  bool haveFirstMousePos_ = false;
  Point firstMousePos_;
};

}  // namespace vrel::saver
