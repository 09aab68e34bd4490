#include "saver/saver_input.h"

#include <cstdlib>

namespace vrel::saver {

SaverInput::Verdict SaverInput::OnKey(char32_t key) {
  switch (key) {
    case 'g':
    case 'G':
      m_get = true;
      return Verdict::kClose;
    case 'p':
    case 'P':
      m_screens.TogglePause();
      return Verdict::kStay;
    case 's':
    case 'S':
      m_screens.Skip();
      return Verdict::kStay;
    default:
      return Verdict::kClose;
  }
}

SaverInput::Verdict SaverInput::OnMouseMove(Point position) {
  if (!m_haveFirstMousePos) {
    m_firstMousePos = position;
    m_haveFirstMousePos = true;
    return Verdict::kStay;
  }
  const int distance = std::abs(position.x - m_firstMousePos.x) + std::abs(position.y - m_firstMousePos.y);
  return distance >= kMouseSlack ? Verdict::kClose : Verdict::kStay;
}

}  // namespace vrel::saver
