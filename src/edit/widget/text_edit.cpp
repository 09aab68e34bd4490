#include "edit/widget/text_edit.h"

#include <QAccessible>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>
#include <string_view>

#include "edit/edit_session.h"
#include "edit/utf8_units.h"
#include "edit/widget/text_edit_accessible.h"
#include "markup/widget/accessible_text_events.h"
#include "markup/widget/qt_text_measurer.h"
#include "xml/xml_encoding.h"

namespace vrel::edit {
namespace {

constexpr int kDragRepeatMs = 50;
constexpr int kCaretWidth = 2;
constexpr int kSingleLineCharacters = 24;
constexpr int kMultiLineCharacters = 40;
constexpr int kMultiLineLines = 6;

std::string ToUtf8(const QString& text) {
  return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size())));
}

QString FromUtf8(std::string_view text) {
  const std::u16string units = Utf8ToUtf16(text);
  return QString(reinterpret_cast<const QChar*>(units.data()), static_cast<qsizetype>(units.size()));
}

QString FromUtf16(const std::u16string& text) {
  return QString::fromRawData(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

QColor ToQColor(markup::Color color) { return QColor(color.red, color.green, color.blue); }

}  // namespace

struct TextEdit::Impl {
  explicit Impl(bool multi_line) : measurer(markup::MarkupBaseFont()), session(measurer, multi_line) {}

  markup::QtTextMeasurer measurer;
  EditSession session;
  QColor text_color, background_color;  // invalid: the palette's
  bool dragging = false;
  QPoint drag_point;
  QTimer drag_timer;
};

TextEdit::TextEdit(Form form, QWidget* parent)
    : QAbstractScrollArea(parent), form_(form), impl_(std::make_unique<Impl>(form == Form::kMultiLine)) {
  InstallTextEditAccessibility();
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_InputMethodEnabled);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  if (form == Form::kSingleLine) {
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  } else {
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  }
  viewport()->setCursor(Qt::IBeamCursor);
  viewport()->setAutoFillBackground(false);
  impl_->drag_timer.setInterval(kDragRepeatMs);
  // While the pointer rests above or below the box, the view keeps scrolling.
  connect(&impl_->drag_timer, &QTimer::timeout, this, [this] {
    const int y = impl_->drag_point.y();
    if (y < 0 || y >= viewport()->height()) DragStep();
  });
  connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, &TextEdit::OnScrollAction);
  impl_->session.on_text_about_to_change = [this] { emit textAboutToChange(); };
  impl_->session.on_text_changed = [this] {
    if (QAccessible::isActive()) ReportTextEdited(*this, impl_->session.Model().LastChange());
    emit textChanged();
  };
  impl_->session.on_selection_changed = [this](int start, int end) {
    if (QAccessible::isActive()) ReportSelectionMoved(*this);
    emit selectionChanged(start, end);
  };
}

TextEdit::~TextEdit() = default;

// ---- text and selection

void TextEdit::SetText(const std::string& utf8) {
  const QString before = QAccessible::isActive() ? ToQString() : QString();
  impl_->session.SetText(utf8);
  Refresh();
  if (QAccessible::isActive()) markup::ReportTextReplaced(this, before, ToQString());
  emit textChanged();
}

void TextEdit::SetQString(const QString& text) { SetText(ToUtf8(text)); }
const std::string& TextEdit::Text() const { return impl_->session.Text(); }
QString TextEdit::ToQString() const { return FromUtf8(Text()); }

void TextEdit::SelectAll() {
  impl_->session.SelectAll();
  Refresh();
}

void TextEdit::SetSelection(int anchor, int caret) {
  impl_->session.SetSelection(anchor, caret);
  Refresh();
}

int TextEdit::Anchor() const { return impl_->session.State().anchor; }
int TextEdit::Caret() const { return impl_->session.State().caret; }
int TextEdit::SelectionStart() const { return impl_->session.State().SelectionStart(); }
int TextEdit::SelectionEnd() const { return impl_->session.State().SelectionEnd(); }
std::string TextEdit::SelectedText() const { return impl_->session.SelectedText(); }

void TextEdit::ReplaceSelection(const std::string& utf8) {
  SyncClientSize();
  impl_->session.Insert(utf8);
  Refresh();
}

void TextEdit::SetReadOnly(bool readOnly) {
  impl_->session.SetReadOnly(readOnly);
  setAttribute(Qt::WA_InputMethodEnabled, !readOnly);
}

bool TextEdit::IsReadOnly() const { return impl_->session.ReadOnly(); }

QRect TextEdit::CharacterRect(int offset) {
  SyncClientSize();
  EditSession& session = impl_->session;
  const CaretPlace place = session.PlaceOf(offset);
  if (place.height == 0) return {};
  const CaretPlace next = session.PlaceOf(NextUnit(Text(), offset));
  const int width = next.line == place.line && next.x > place.x ? next.x - place.x : 1;
  return QRect(place.x, place.y, width, place.height);
}

int TextEdit::OffsetAt(const QPoint& point) {
  SyncClientSize();
  return impl_->session.HitAt(point.x(), point.y()).offset;
}

void TextEdit::SetColouring(bool on) {
  impl_->session.SetColouring(on);
  viewport()->update();
}

bool TextEdit::Colouring() const { return impl_->session.Colouring(); }

void TextEdit::SetTextColor(const QColor& color) {
  impl_->text_color = color;
  viewport()->update();
}

void TextEdit::SetBackgroundColor(const QColor& color) {
  impl_->background_color = color;
  viewport()->update();
}

void TextEdit::SetGutterWidth(int pixels) {
  impl_->session.SetGutter(pixels);
  Refresh();
}

// ---- commands

void TextEdit::Copy() {
  if (!CanCopy()) return;
  if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setText(FromUtf8(SelectedText()));
}

void TextEdit::Cut() {
  if (!CanCut()) return;
  Copy();
  SyncClientSize();
  impl_->session.DeleteForward();
  Refresh();
}

void TextEdit::Paste() {
  if (IsReadOnly()) return;
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (!clipboard) return;
  const std::string text = ToUtf8(clipboard->text());
  if (text.empty()) return;
  SyncClientSize();
  impl_->session.Insert(text);
  Refresh();
}

void TextEdit::Undo() {
  SyncClientSize();
  if (impl_->session.Undo()) Refresh();
}

void TextEdit::Redo() {
  SyncClientSize();
  if (impl_->session.Redo()) Refresh();
}

bool TextEdit::CanCopy() const { return impl_->session.State().HasSelection(); }
bool TextEdit::CanCut() const { return !IsReadOnly() && CanCopy(); }

bool TextEdit::CanPaste() const {
  const QClipboard* clipboard = QGuiApplication::clipboard();
  const QMimeData* data = clipboard ? clipboard->mimeData() : nullptr;
  return !IsReadOnly() && data && data->hasText();
}

bool TextEdit::CanUndo() const { return impl_->session.CanUndo(); }
bool TextEdit::CanRedo() const { return impl_->session.CanRedo(); }
int TextEdit::ChangeCount() const { return impl_->session.Model().ChangeCount(); }

QSize TextEdit::sizeHint() const {
  const int character = impl_->measurer.Width(u"x", markup::FontStyle{});
  const int line = impl_->measurer.Height(markup::FontStyle{});
  const LayoutGeometry& geometry = impl_->session.Geometry();
  const int frame = 2 * frameWidth();
  if (form_ == Form::kSingleLine)
    return {kSingleLineCharacters * character + frame, line + 2 * geometry.vertical_margin + frame};
  return {kMultiLineCharacters * character + frame, kMultiLineLines * line + 2 * geometry.vertical_margin + frame};
}

QSize TextEdit::minimumSizeHint() const {
  const QSize hint = sizeHint();
  return {std::min(hint.width(), 4 * kMinTextWidth), form_ == Form::kSingleLine ? hint.height() : hint.height() / 2};
}

// ---- view upkeep

void TextEdit::SyncClientSize() { impl_->session.SetClientSize(viewport()->width(), viewport()->height()); }

void TextEdit::Refresh() {
  SyncClientSize();
  UpdateScrollBar();
  updateMicroFocus();
  viewport()->update();
}

void TextEdit::UpdateScrollBar() {
  if (form_ == Form::kSingleLine) return;
  QScrollBar* bar = verticalScrollBar();
  const ScrollBarValues values = impl_->session.VerticalBar();
  // The area shows and hides the bar on its range signal, so signals stay on;
  // only user actions move the view.
  if (!bar->isSliderDown()) {
    bar->setPageStep(values.page);
    bar->setRange(0, values.maximum);
    bar->setValue(values.position);
  }
}

void TextEdit::OnScrollAction(int action) {
  SyncClientSize();
  EditSession& session = impl_->session;
  switch (action) {
    case QAbstractSlider::SliderSingleStepAdd: session.ScrollLines(1); break;
    case QAbstractSlider::SliderSingleStepSub: session.ScrollLines(-1); break;
    case QAbstractSlider::SliderPageStepAdd: session.ScrollPages(1); break;
    case QAbstractSlider::SliderPageStepSub: session.ScrollPages(-1); break;
    case QAbstractSlider::SliderToMinimum: session.ScrollToTop(); break;
    case QAbstractSlider::SliderToMaximum: session.ScrollToBottom(); break;
    case QAbstractSlider::SliderMove: session.ScrollToThumb(verticalScrollBar()->sliderPosition()); break;
    default: return;
  }
  // The bar applies its own step after this signal; put it where the view is.
  if (!verticalScrollBar()->isSliderDown()) verticalScrollBar()->setSliderPosition(session.VerticalBar().position);
  Refresh();
}

void TextEdit::scrollContentsBy(int, int) { viewport()->update(); }

void TextEdit::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  Refresh();
}

// ---- painting

void TextEdit::paintEvent(QPaintEvent*) {
  SyncClientSize();
  EditSession& session = impl_->session;
  QPainter painter(viewport());
  const QPalette& colours = palette();
  const QColor text_colour = impl_->text_color.isValid() ? impl_->text_color : colours.color(QPalette::Text);
  painter.fillRect(viewport()->rect(),
                   impl_->background_color.isValid() ? impl_->background_color : colours.color(QPalette::Base));
  if (const int gutter = session.Geometry().gutter; gutter > 0)
    painter.fillRect(0, 0, gutter, viewport()->height(), colours.color(QPalette::Button));

  const DrawList list = session.Draw();
  const QColor highlight = colours.color(QPalette::Highlight);
  for (const DrawBox& box : list.highlights) painter.fillRect(box.x, box.y, box.width, box.height, highlight);
  painter.setFont(impl_->measurer.Font(markup::FontStyle{}));
  const int ascent = impl_->measurer.Ascent(markup::FontStyle{});
  for (const DrawRun& run : list.runs) {
    if (run.selected) {
      painter.fillRect(run.x, run.y, run.width, list.line_height, highlight);
      painter.setPen(colours.color(QPalette::HighlightedText));
    } else {
      painter.setPen(run.colour <= kPlainColour ? text_colour : ToQColor(TableColour(run.colour)));
    }
    painter.drawText(QPoint(run.x, run.y + ascent), FromUtf16(run.text));
  }
  const CaretPlace caret = session.Caret();
  const ViewLines& view = session.View();
  const bool caret_shown = caret.line >= view.first_visible && caret.line <= view.last_visible;
  if (hasFocus() && caret.height > 0 && caret_shown)
    painter.fillRect(caret.x - 1, caret.y, kCaretWidth, caret.height, text_colour);
}

// ---- keyboard

bool TextEdit::HandleCommandKey(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) Copy();
  // Shift+Delete is also Cut; without a selection it is Delete.
  else if (event->matches(QKeySequence::Cut) && CanCut()) Cut();
  else if (event->matches(QKeySequence::Paste)) Paste();
  else if (event->matches(QKeySequence::Undo)) Undo();
  else if (event->matches(QKeySequence::Redo)) Redo();
  else if (event->matches(QKeySequence::SelectAll)) SelectAll();
  else return false;
  return true;
}

bool TextEdit::HandleMoveKey(QKeyEvent* event) {
  const bool shift = event->modifiers() & Qt::ShiftModifier;
  const bool ctrl = event->modifiers() & Qt::ControlModifier;
  Move move;
  switch (event->key()) {
    case Qt::Key_Left: move = Move::kLeft; break;
    case Qt::Key_Right: move = Move::kRight; break;
    case Qt::Key_Up: move = Move::kUp; break;
    case Qt::Key_Down: move = Move::kDown; break;
    case Qt::Key_Home: move = Move::kHome; break;
    case Qt::Key_End: move = Move::kEnd; break;
    case Qt::Key_PageUp: move = Move::kPageUp; break;
    case Qt::Key_PageDown: move = Move::kPageDown; break;
    default: return false;
  }
  impl_->session.MoveCaret(move, shift, ctrl);
  return true;
}

bool TextEdit::HandleEditKey(QKeyEvent* event) {
  EditSession& session = impl_->session;
  switch (event->key()) {
    case Qt::Key_Backspace: session.Backspace(); return true;
    case Qt::Key_Delete: session.DeleteForward(); return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (form_ == Form::kSingleLine) {
        emit enterPressed();
        return false;  // the dialog's default button takes it
      }
      session.TypeLineBreak();
      return true;
    case Qt::Key_Escape:
      if (session.CollapseSelection() || form_ == Form::kMultiLine) return true;
      emit escapePressed();
      return false;
    case Qt::Key_Tab:
      if (form_ == Form::kSingleLine) return false;
      if (event->modifiers() & Qt::ControlModifier) {
        QAbstractScrollArea::focusNextPrevChild(true);
        return true;
      }
      session.Type("\t");
      return true;
    default:
      break;
  }
  const bool command = event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier);
  if (command || event->text().isEmpty()) {
    session.ForgetGoalColumn();
    return false;
  }
  TypeText(event->text());
  return true;
}

void TextEdit::TypeText(const QString& text) { impl_->session.Type(ToUtf8(text)); }

void TextEdit::keyPressEvent(QKeyEvent* event) {
  SyncClientSize();
  const bool handled = HandleCommandKey(event) || HandleMoveKey(event) || HandleEditKey(event);
  if (!handled) {
    event->ignore();  // to the dialog: Enter, Escape, shortcuts
    return;
  }
  event->accept();
  Refresh();
}

// The multi-line box keeps Tab for typing; Ctrl+Tab and Shift+Tab still leave it.
bool TextEdit::focusNextPrevChild(bool next) {
  if (form_ == Form::kMultiLine && !IsReadOnly() && next) return false;
  return QAbstractScrollArea::focusNextPrevChild(next);
}

void TextEdit::inputMethodEvent(QInputMethodEvent* event) {
  SyncClientSize();
  if (!IsReadOnly() && !event->commitString().isEmpty()) {
    TypeText(event->commitString());
    Refresh();
  }
  event->accept();
}

QVariant TextEdit::inputMethodQuery(Qt::InputMethodQuery query) const {
  switch (query) {
    case Qt::ImEnabled: return !IsReadOnly();
    case Qt::ImFont: return impl_->measurer.Font(markup::FontStyle{});
    case Qt::ImCursorRectangle: {
      const CaretPlace caret = impl_->session.Caret();
      return QRect(caret.x, caret.y, kCaretWidth, caret.height).translated(viewport()->pos());
    }
    default: return QAbstractScrollArea::inputMethodQuery(query);
  }
}

// ---- mouse

void TextEdit::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QAbstractScrollArea::mousePressEvent(event);
  setFocus(Qt::MouseFocusReason);
  SyncClientSize();
  const QPoint point = event->position().toPoint();
  impl_->session.PressAt(point.x(), point.y(), event->modifiers() & Qt::ShiftModifier);
  impl_->dragging = true;
  impl_->drag_point = point;
  impl_->drag_timer.start();
  Refresh();
}

void TextEdit::mouseMoveEvent(QMouseEvent* event) {
  if (!impl_->dragging || !(event->buttons() & Qt::LeftButton)) return;
  impl_->drag_point = event->position().toPoint();
  DragStep();
}

void TextEdit::DragStep() {
  if (!impl_->dragging) return;
  const QPoint point = impl_->drag_point;
  SyncClientSize();
  impl_->session.DragTo(point.x(), point.y());
  Refresh();
}

void TextEdit::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QAbstractScrollArea::mouseReleaseEvent(event);
  impl_->dragging = false;
  impl_->drag_timer.stop();
}

void TextEdit::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QAbstractScrollArea::mouseDoubleClickEvent(event);
  SyncClientSize();
  const QPoint point = event->position().toPoint();
  impl_->session.SelectWordAt(point.x(), point.y());
  Refresh();
}

void TextEdit::contextMenuEvent(QContextMenuEvent* event) {
  setFocus(Qt::MouseFocusReason);
  if (event->reason() == QContextMenuEvent::Mouse) {
    SyncClientSize();
    impl_->session.RightClickAt(event->pos().x(), event->pos().y());
    Refresh();
  }
  event->accept();
  emit contextMenuRequested(event->globalPos());
}

void TextEdit::wheelEvent(QWheelEvent* event) {
  if (form_ == Form::kSingleLine) return event->ignore();
  SyncClientSize();
  impl_->session.Wheel(event->angleDelta().y());
  Refresh();
  event->accept();
}

void TextEdit::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  viewport()->update();
}

void TextEdit::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  viewport()->update();
}

}  // namespace vrel::edit
