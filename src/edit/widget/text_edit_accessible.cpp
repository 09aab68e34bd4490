#include "edit/widget/text_edit_accessible.h"

#include <QAccessibleWidget>

#include "edit/text_model.h"
#include "edit/utf8_units.h"
#include "edit/widget/text_edit.h"
#include "markup/widget/accessible_text_events.h"

namespace vrel::edit {
namespace {

// The box as an editable text. Screen readers count UTF-16 units, the box
// bytes of UTF-8; every offset is turned from the one into the other.
class TextEditAccessible : public QAccessibleWidget,
                           public QAccessibleTextInterface,
                           public QAccessibleEditableTextInterface {
 public:
  explicit TextEditAccessible(TextEdit* box) : QAccessibleWidget(box, QAccessible::EditableText) {}

  TextEdit* Box() const { return static_cast<TextEdit*>(widget()); }

  QString text(QAccessible::Text t) const override {
    return t == QAccessible::Value ? Box()->ToQString() : QAccessibleWidget::text(t);
  }
  void setText(QAccessible::Text t, const QString& text) override {
    if (t == QAccessible::Value) replaceText(0, characterCount(), text);
  }
  QAccessible::State state() const override {
    QAccessible::State state = QAccessibleWidget::state();
    state.editable = !Box()->IsReadOnly();
    state.readOnly = Box()->IsReadOnly();
    state.multiLine = Box()->IsMultiLine();
    state.selectableText = true;
    return state;
  }
  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
    if (type == QAccessible::EditableTextInterface) return static_cast<QAccessibleEditableTextInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
  }

  // The text interface.
  void selection(int selectionIndex, int* startOffset, int* endOffset) const override {
    *startOffset = *endOffset = 0;
    if (selectionIndex != 0 || Box()->SelectionStart() == Box()->SelectionEnd()) return;
    *startOffset = Units(Box()->SelectionStart());
    *endOffset = Units(Box()->SelectionEnd());
  }
  int selectionCount() const override { return Box()->SelectionStart() == Box()->SelectionEnd() ? 0 : 1; }
  void addSelection(int startOffset, int endOffset) override { setSelection(0, startOffset, endOffset); }
  void removeSelection(int) override { Box()->SetSelection(Box()->Caret(), Box()->Caret()); }
  void setSelection(int, int startOffset, int endOffset) override {
    Box()->SetSelection(Bytes(startOffset), Bytes(endOffset));
  }
  int cursorPosition() const override { return Units(Box()->Caret()); }
  void setCursorPosition(int position) override { Box()->SetSelection(Bytes(position), Bytes(position)); }
  QString text(int startOffset, int endOffset) const override {
    return Box()->ToQString().mid(startOffset, endOffset - startOffset);
  }
  int characterCount() const override { return Units(static_cast<int>(Box()->Text().size())); }
  QRect characterRect(int offset) const override {
    const QRect place = Box()->CharacterRect(Bytes(offset));
    return place.isEmpty() ? QRect() : QRect(Box()->viewport()->mapToGlobal(place.topLeft()), place.size());
  }
  int offsetAtPoint(const QPoint& point) const override {
    return Units(Box()->OffsetAt(Box()->viewport()->mapFromGlobal(point)));
  }
  void scrollToSubstring(int startIndex, int) override { setCursorPosition(startIndex); }
  QString attributes(int offset, int* startOffset, int* endOffset) const override {
    *startOffset = *endOffset = offset;
    return {};
  }
  using QAccessibleWidget::text;

  // The editable text interface: each change is one step of the undo history.
  void deleteText(int startOffset, int endOffset) override { replaceText(startOffset, endOffset, {}); }
  void insertText(int offset, const QString& text) override { replaceText(offset, offset, text); }
  void replaceText(int startOffset, int endOffset, const QString& text) override {
    Box()->SetSelection(Bytes(startOffset), Bytes(endOffset));
    Box()->ReplaceSelection(text.toStdString());
  }

 private:
  int Units(int byteOffset) const { return Utf16OffsetOf(Box()->Text(), byteOffset); }
  int Bytes(int utf16Offset) const { return ByteOffsetOf(Box()->Text(), utf16Offset); }
};

QAccessibleInterface* CreateAccessible(const QString& className, QObject* object) {
  if (className != QLatin1String(TextEdit::staticMetaObject.className())) return nullptr;
  return new TextEditAccessible(static_cast<TextEdit*>(object));
}

}  // namespace

void InstallTextEditAccessibility() {
  static const bool installed = [] {
    QAccessible::installFactory(&CreateAccessible);
    return true;
  }();
  (void)installed;
}

void ReportTextEdited(TextEdit& box, const TextChange& change) {
  const std::string& text = box.Text();
  markup::ReportTextChange(&box, Utf16OffsetOf(text, change.start), QString::fromUtf8(change.removed),
                           QString::fromUtf8(std::string_view(text).substr(change.start, change.inserted_length)));
}

void ReportSelectionMoved(TextEdit& box) {
  const std::string& text = box.Text();
  const int caret = Utf16OffsetOf(text, box.Caret());
  if (box.SelectionStart() == box.SelectionEnd()) {
    QAccessibleTextCursorEvent moved(&box, caret);
    QAccessible::updateAccessibility(&moved);
    return;
  }
  QAccessibleTextSelectionEvent selected(&box, Utf16OffsetOf(text, box.SelectionStart()),
                                         Utf16OffsetOf(text, box.SelectionEnd()));
  selected.setCursorPosition(caret);
  QAccessible::updateAccessibility(&selected);
}

}  // namespace vrel::edit
