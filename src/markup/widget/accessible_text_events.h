// How the text of a control changed, told to screen readers in the units
// they count (UTF-16). Both text controls use these.
#pragma once

#include <QString>

class QObject;

namespace vrel::markup {

// removed stood at position; inserted stands there now.
void ReportTextChange(QObject* control, int position, const QString& removed, const QString& inserted);
// A whole new text: only what lies between the parts the two texts share
// at their start and at their end counts as changed.
void ReportTextReplaced(QObject* control, const QString& before, const QString& after);

}  // namespace vrel::markup
