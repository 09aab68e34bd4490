#pragma once

#include <QAbstractScrollArea>
#include <QColor>
#include <QPoint>
#include <QString>
#include <memory>
#include <string>

namespace vrel::edit {

// The program's own UTF-8 text box: single-line boxes of the dialogs and the
// multi-line, word-wrapped box. Text that begins with '<' is coloured as XML.
// The editing rules live in the Qt-free EditSession; this class maps Qt's
// events, painting and clipboard onto it.
class TextEdit : public QAbstractScrollArea {
  Q_OBJECT

 public:
  enum class Form {
    kSingleLine,  // sunken frame, no wrap, Enter and Escape go to the dialog
    kMultiLine,   // word wrap, Enter inserts a line break
  };

  explicit TextEdit(Form form, QWidget* parent = nullptr);
  ~TextEdit() override;


  // Replaces the whole text without undo; empties the undo history and puts
  // the caret at the start.
  void SetText(const std::string& utf8);
  void SetQString(const QString& text);
  const std::string& Text() const;
  QString ToQString() const;

  // Selection as byte offsets into the UTF-8 text; the caret is the moving end.
  void SelectAll();
  void SetSelection(int anchor, int caret);
  int Anchor() const;
  int Caret() const;
  int SelectionStart() const;
  int SelectionEnd() const;
  std::string SelectedText() const;
  // Replaces the selection as if typed (one undo step).
  void ReplaceSelection(const std::string& utf8);

  // A read-only box still selects and copies but refuses every change.
  void SetReadOnly(bool readOnly);
  bool IsReadOnly() const;
  bool IsMultiLine() const { return form_ == Form::kMultiLine; }

  // For screen readers: where the character at a byte offset is drawn in the
  // viewport (empty when out of view), and the offset under a point.
  QRect CharacterRect(int offset);
  int OffsetAt(const QPoint& point);

  // XML colouring of text that begins with '<'; on by default.
  void SetColouring(bool on);
  bool Colouring() const;

  void SetTextColor(const QColor& color);
  void SetBackgroundColor(const QColor& color);
  void SetGutterWidth(int pixels);

  // Edit commands, as bound to Ctrl+C, X, V, Z and Ctrl+Y / Ctrl+Shift+Z.
  void Copy();
  void Cut();
  void Paste();
  void Undo();
  void Redo();
  bool CanCopy() const;
  bool CanCut() const;
  bool CanPaste() const;
  bool CanUndo() const;
  bool CanRedo() const;
  // Numbers the changes made so far; unchanged text keeps the same count.
  int ChangeCount() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 signals:
  // Before and after every change of the text; textChanged also follows SetText.
  void textAboutToChange();
  void textChanged();
  // After every move of caret or selection; start <= end are byte offsets.
  void selectionChanged(int start, int end);
  // Enter in the single-line form; the key then goes on to the dialog, whose
  // default button takes it.
  void enterPressed();
  // Escape with nothing selected in the single-line form; the key then goes
  // on to the dialog. The multi-line form keeps Escape: it never closes the
  // dialog over the typed text.
  void escapePressed();
  // Right button released over the box; the owner opens its menu there.
  void contextMenuRequested(QPoint global);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  bool focusNextPrevChild(bool next) override;

 private:
  struct Impl;
  // After every action: scroll bar, input method and a repaint.
  void Refresh();
  void UpdateScrollBar();
  void OnScrollAction(int action);
  void SyncClientSize();
  bool HandleCommandKey(QKeyEvent* event);
  bool HandleMoveKey(QKeyEvent* event);
  bool HandleEditKey(QKeyEvent* event);
  void TypeText(const QString& text);
  void DragStep();

  Form form_;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vrel::edit
