#include "markup/widget/accessible_text_events.h"

#include <QAccessible>
#include <algorithm>

namespace vrel::markup {

void ReportTextChange(QObject* control, int position, const QString& removed, const QString& inserted) {
  if (removed.isEmpty() && inserted.isEmpty()) return;
  if (removed.isEmpty()) {
    QAccessibleTextInsertEvent event(control, position, inserted);
    QAccessible::updateAccessibility(&event);
  } else if (inserted.isEmpty()) {
    QAccessibleTextRemoveEvent event(control, position, removed);
    QAccessible::updateAccessibility(&event);
  } else {
    QAccessibleTextUpdateEvent event(control, position, removed, inserted);
    QAccessible::updateAccessibility(&event);
  }
}

void ReportTextReplaced(QObject* control, const QString& before, const QString& after) {
  const qsizetype shorter = std::min(before.size(), after.size());
  qsizetype head = 0;
  while (head < shorter && before[head] == after[head]) ++head;
  qsizetype tail = 0;
  while (tail < shorter - head && before[before.size() - 1 - tail] == after[after.size() - 1 - tail]) ++tail;
  ReportTextChange(control, static_cast<int>(head), before.mid(head, before.size() - head - tail),
                   after.mid(head, after.size() - head - tail));
}

}  // namespace vrel::markup
