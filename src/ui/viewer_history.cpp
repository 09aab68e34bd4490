#include "ui/viewer_history.h"

namespace vrel::ui {

void ViewerHistory::Record(const std::string& request) {
  if (!Empty() && Current() == request) return;
  ++m_current;
  m_entries.resize(static_cast<size_t>(m_current));
  m_entries.push_back(request);
}

bool ViewerHistory::Back() {
  if (m_current < 1) return false;
  --m_current;
  return true;
}

bool ViewerHistory::Forward() {
  if (static_cast<size_t>(m_current + 1) >= m_entries.size()) return false;
  ++m_current;
  return true;
}

const std::string& ViewerHistory::Current() const {
  static const std::string kNone;
  return Empty() ? kNone : m_entries[static_cast<size_t>(m_current)];
}

}  // namespace vrel::ui
