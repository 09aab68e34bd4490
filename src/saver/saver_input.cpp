#include "saver/saver_input.h"

#include <cstdlib>

namespace vrel::saver {
namespace {

// X keycodes (Linux input codes + 8) of the keys that carry G, P and S on a
// US keyboard: where the layout types no Latin letter, these still are the
// saver's keys.
struct KeyPosition {
  unsigned scanCode;
  char32_t letter;
};
constexpr KeyPosition kSaverKeyPositions[] = {{42, 'G'}, {33, 'P'}, {39, 'S'}};

}  // namespace

char32_t KeyLetter(int keyCode, unsigned scanCode) {
  if (keyCode >= 'A' && keyCode <= 'Z') return static_cast<char32_t>(keyCode);
  for (const KeyPosition& position : kSaverKeyPositions)
    if (position.scanCode == scanCode) return position.letter;
  return 0;
}

SaverInput::Verdict SaverInput::OnKey(char32_t letter) {
  switch (letter) {
    case 'G':
      get_ = true;
      return Verdict::kClose;
    case 'P':
      screens_.TogglePause();
      return Verdict::kStay;
    case 'S':
      screens_.Skip();
      return Verdict::kStay;
    default:
      return Verdict::kClose;
  }
}

SaverInput::Verdict SaverInput::OnMouseMove(Point position) {
  if (!haveFirstMousePos_) {
    firstMousePos_ = position;
    haveFirstMousePos_ = true;
    return Verdict::kStay;
  }
  const int distance = std::abs(position.x - firstMousePos_.x) + std::abs(position.y - firstMousePos_.y);
  return distance >= kMouseSlack ? Verdict::kClose : Verdict::kStay;
}

}  // namespace vrel::saver
