// What a screen reader learns of a TextEdit through Qt's accessibility (on
// Linux carried on to AT-SPI): its text, caret and selection, and the
// editing a reader may do in it; the changes and caret moves as they happen.
#pragma once

#include <QString>

namespace vrel::edit {

class TextEdit;
struct TextChange;

// Lets Qt make the box's interface; the first box calls it.
void InstallTextEditAccessibility();
// An edit of the text, as the text model recorded it.
void ReportTextEdited(TextEdit& box, const TextChange& change);
// The caret or the selection moved.
void ReportSelectionMoved(TextEdit& box);

}  // namespace vrel::edit
