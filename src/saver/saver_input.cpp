#include "saver/saver_input.h"

#include <cstdlib>

namespace vrel::saver {

SaverInput::Verdict SaverInput::OnKey(char32_t key) {
  switch (key) {
    case 'g':
    case 'G':
      get_ = true;
      return Verdict::kClose;
    case 'p':
    case 'P':
      screens_.TogglePause();
      return Verdict::kStay;
    case 's':
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
