// How the full-screen saver answers the keyboard and the mouse: G picks the
// feed on screen and leaves, P pauses, S skips, anything else leaves; the
// mouse leaves once it has really moved, not on a jitter.
#pragma once

#include "saver/anim_geometry.h"
#include "saver/saver_screens.h"

namespace vrel::saver {

// The Latin letter of a pressed key, upper case, whatever modifier is held
// and whatever the keyboard layout: keyCode is the key as the layout gives
// it (Latin letters as their upper-case ASCII codes), and when that is no
// Latin letter, scanCode (the X keycode) says which key it was. 0 for a
// key that is no letter.
char32_t KeyLetter(int keyCode, unsigned scanCode);

class SaverInput {
 public:
  enum class Verdict { kStay, kClose };
  static constexpr int kMouseSlack = 6;  // pixels, horizontal plus vertical

  explicit SaverInput(SaverScreens& screens) : screens_(screens) {}

  // letter: the key's letter as KeyLetter gives it, 0 for any other key.
  Verdict OnKey(char32_t letter);
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
