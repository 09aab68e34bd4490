#include "markup/widget/markup_view.h"

#include <QAccessible>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>

#include "markup/widget/accessible_text_events.h"
#include "markup/widget/markup_view_accessible.h"

namespace vrel::markup {
namespace {

constexpr int kScrollBarLine = 14;
constexpr int kArrowKeyStep = 10;
constexpr int kWheelDivisor = -10;  // one notch of 120 scrolls 12 pixels
constexpr int kPageOverlap = 20;
constexpr int kMinHeightForOverlap = 50;

QString Utf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QRect PieceRect(const LinkPiece& piece) {
  return QRect(QPoint(piece.left, piece.top), QPoint(piece.right - 1, piece.bottom - 1));
}

}  // namespace

MarkupView::MarkupView(QWidget* parent)
    : QAbstractScrollArea(parent), background_(palette().color(QPalette::Button)), measurer_(MarkupBaseFont()) {
  InstallMarkupViewAccessibility();
  setFrameShape(QFrame::NoFrame);
  setFocusPolicy(Qt::ClickFocus);  // a Tab stop once it shows a link
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  viewport()->setMouseTracking(true);
  viewport()->setAutoFillBackground(false);
  verticalScrollBar()->setSingleStep(kScrollBarLine);
  connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &MarkupView::OnScrollBarMoved);
}

void MarkupView::SetBackgroundColor(const QColor& color) {
  background_ = color;
  viewport()->update();
}

void MarkupView::SetMargins(int horizontal, int vertical) {
  horizontalMargin_ = horizontal;
  verticalMargin_ = vertical;
  layoutValid_ = false;
  viewport()->update();
}

void MarkupView::SetTabStop(bool tabStop) {
  tabStop_ = tabStop;
  UpdateFocusPolicy();
}

void MarkupView::SetText(const std::string& markup, bool resetScroll) {
  const QString before = QAccessible::isActive() ? PlainText() : QString();
  markup_ = markup;
  plainTextValid_ = false;
  if (resetScroll) {
    scroll_ = 0;
    focus_.Clear();
  }
  layoutValid_ = false;
  // A view on screen lays out at once, so that its links (and whether Tab
  // stops here) are known before the next paint; a hidden one waits until
  // it is shown at its width.
  if (isVisible()) EnsureLayout();
  if (QAccessible::isActive()) {
    ReportLinksChanged(*this);
    ReportTextReplaced(this, before, PlainText());
  }
  viewport()->update();
}

const QString& MarkupView::PlainText() {
  if (!plainTextValid_) {
    plainText_ = Utf8(MarkupToPlainText(markup_));
    plainTextValid_ = true;
  }
  return plainText_;
}

int MarkupView::ContentHeight() {
  EnsureLayout();
  return layout_.content_height;
}

void MarkupView::EnsureLayout() {
  if (layoutValid_) return;
  LayoutOptions options{viewport()->width(), horizontalMargin_, verticalMargin_};
  layout_ = LayOutMarkup(markup_, options, measurer_);
  layoutValid_ = true;
  pressedLink_ = kNoLink;
  focus_.Update(layout_);
  UpdateFocusPolicy();
}

void MarkupView::UpdateFocusPolicy() {
  setFocusPolicy(tabStop_ && focus_.Count() > 0 ? Qt::StrongFocus : Qt::ClickFocus);
}

int MarkupView::MaxScroll() const { return std::max(0, layout_.content_height - viewport()->height()); }

// A text that got shorter pulls the view down so that no blank space is
// left below its end.
void MarkupView::ShrinkBackScroll() {
  if (scroll_ > 0 && layout_.content_height < scroll_ + viewport()->height()) scroll_ = MaxScroll();
}

// The area shows and hides the bar on its range signal, so the signals stay
// on; only the user's moves of the bar scroll the text.
void MarkupView::UpdateScrollBar() {
  QScrollBar* bar = verticalScrollBar();
  const QScopedValueRollback setting(settingScrollBar_, true);
  bar->setPageStep(viewport()->height());
  bar->setRange(0, MaxScroll());
  bar->setValue(scroll_);
}

void MarkupView::OnScrollBarMoved(int value) {
  if (settingScrollBar_ || value == scroll_) return;
  scroll_ = value;
  viewport()->update();
}

void MarkupView::ScrollBy(int amount) {
  EnsureLayout();
  int position = std::clamp(scroll_ + amount, 0, MaxScroll());
  if (position == scroll_) return;
  scroll_ = position;
  UpdateScrollBar();
  viewport()->repaint();
}

int MarkupView::LinkCount() {
  EnsureLayout();
  return focus_.Count();
}

int MarkupView::LinkAt(const QPoint& point) {
  EnsureLayout();
  return focus_.LinkOfPiece(layout_.HitTest(point.x(), point.y() + scroll_));
}

const std::string& MarkupView::LinkMarkup(int link) {
  return layout_.links[focus_.Span(layout_, link).firstPiece].text;
}

QString MarkupView::LinkName(int link) {
  if (link < 0 || link >= LinkCount()) return {};
  return Utf8(MarkupToPlainText(LinkMarkup(link))).trimmed();
}

QRect MarkupView::LinkRect(int link) {
  if (link < 0 || link >= LinkCount()) return {};
  const LinkSpan span = focus_.Span(layout_, link);
  QRect rect;
  for (int piece = span.firstPiece; piece < span.endPiece; ++piece) rect |= PieceRect(layout_.links[piece]);
  return rect.translated(0, -scroll_);
}

void MarkupView::FocusLink(int link) {
  EnsureLayout();
  focus_.Set(link);
  ShowFocusedLink();
}

void MarkupView::ActivateLink(int link) {
  if (link >= 0 && link < LinkCount()) emit linkClicked(Utf8(LinkMarkup(link)));
}

void MarkupView::OpenLinkMenu(int link) {
  if (link < 0 || link >= LinkCount()) return;
  menuPosition_ = viewport()->mapToGlobal(LinkRect(link).bottomLeft());
  emit linkRightClicked(Utf8(LinkMarkup(link)));
}

bool MarkupView::MoveLinkFocus(LinkKey key) {
  EnsureLayout();
  if (!focus_.Move(key)) return false;
  ShowFocusedLink();
  return true;
}

void MarkupView::ShowFocusedLink() {
  ScrollToFocusedLink();
  viewport()->update();
  if (hasFocus()) ReportLinkFocused(*this, focus_.Focused());
}

void MarkupView::ScrollToFocusedLink() {
  if (focus_.Focused() == kNoLink) return;
  const LinkSpan span = focus_.Span(layout_, focus_.Focused());
  ScrollBy(ScrollToShow(span.top, span.bottom, scroll_, viewport()->height()) - scroll_);
}

void MarkupView::paintEvent(QPaintEvent* event) {
  EnsureLayout();
  ShrinkBackScroll();
  UpdateScrollBar();
  QPainter painter(viewport());
  painter.fillRect(event->rect(), background_);
  DrawRuns(painter, event->rect());
  if (hasFocus()) DrawFocusFrame(painter);
}

// Draws the runs that meet the area; the runs come line by line, and all
// runs of a line end at the line's bottom.
void MarkupView::DrawRuns(QPainter& painter, const QRect& area) {
  int top = area.top() + scroll_;
  int bottom = area.bottom() + scroll_;
  int tallest = measurer_.TallestHeight();
  auto first = std::partition_point(layout_.runs.begin(), layout_.runs.end(),
                                    [top](const TextRun& run) { return run.y + run.height <= top; });
  for (auto run = first; run != layout_.runs.end() && run->y + run->height - tallest <= bottom; ++run) {
    painter.setFont(measurer_.Font(run->font));
    painter.setPen(QColor(run->color.red, run->color.green, run->color.blue));
    QString text = QString::fromRawData(reinterpret_cast<const QChar*>(run->text.data()),
                                        static_cast<qsizetype>(run->text.size()));
    painter.drawText(QPoint(run->x, run->y - scroll_ + measurer_.Ascent(run->font)), text);
  }
}

// Every piece of the focused link gets a frame, so a wrapped link shows
// on each of its lines.
void MarkupView::DrawFocusFrame(QPainter& painter) {
  if (focus_.Focused() == kNoLink) return;
  const LinkSpan span = focus_.Span(layout_, focus_.Focused());
  painter.setPen(palette().color(QPalette::Highlight));
  painter.setBrush(Qt::NoBrush);
  for (int piece = span.firstPiece; piece < span.endPiece; ++piece) {
    const LinkPiece& place = layout_.links[piece];
    if (place.right > place.left) painter.drawRect(PieceRect(place).translated(0, -scroll_));
  }
}

void MarkupView::showEvent(QShowEvent* event) {
  QAbstractScrollArea::showEvent(event);
  EnsureLayout();
}

void MarkupView::resizeEvent(QResizeEvent* event) {
  layoutValid_ = false;
  QAbstractScrollArea::resizeEvent(event);
}

void MarkupView::wheelEvent(QWheelEvent* event) {
  ScrollBy(event->angleDelta().y() / kWheelDivisor);
  event->accept();
}

bool MarkupView::HandleLinkKey(const QKeyEvent& key) {
  const int focused = focus_.Focused();
  switch (key.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
      if (focused == kNoLink) return false;
      ActivateLink(focused);
      return true;
    case Qt::Key_F10:
      if (!(key.modifiers() & Qt::ShiftModifier)) return false;
      [[fallthrough]];
    case Qt::Key_Menu:
      OpenLinkMenu(focused);
      return true;
    case Qt::Key_Down: return MoveLinkFocus(LinkKey::kDown);
    case Qt::Key_Up: return MoveLinkFocus(LinkKey::kUp);
    case Qt::Key_Home: return !(key.modifiers() & Qt::ControlModifier) && MoveLinkFocus(LinkKey::kHome);
    case Qt::Key_End: return !(key.modifiers() & Qt::ControlModifier) && MoveLinkFocus(LinkKey::kEnd);
    default: return false;
  }
}

void MarkupView::keyPressEvent(QKeyEvent* event) {
  EnsureLayout();
  if (HandleLinkKey(*event)) {
    event->accept();
    return;
  }
  int height = viewport()->height();
  int page = height > kMinHeightForOverlap ? height - kPageOverlap : height;
  switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_PageDown: ScrollBy(page); break;
    case Qt::Key_PageUp: ScrollBy(-page); break;
    case Qt::Key_Up: ScrollBy(-kArrowKeyStep); break;
    case Qt::Key_Down: ScrollBy(kArrowKeyStep); break;
    case Qt::Key_Home: ScrollBy(-layout_.content_height); break;
    case Qt::Key_End: ScrollBy(layout_.content_height); break;
    default: QAbstractScrollArea::keyPressEvent(event); return;
  }
  event->accept();
}

// The menu key itself is handled as a key; what comes here from the
// keyboard is a screen reader's or the platform's request for the menu.
void MarkupView::contextMenuEvent(QContextMenuEvent* event) {
  if (event->reason() == QContextMenuEvent::Keyboard) OpenLinkMenu(focus_.Focused());
  event->accept();
}

void MarkupView::mousePressEvent(QMouseEvent* event) {
  // The middle button neither starts nor spoils a click.
  if (event->button() != Qt::LeftButton && event->button() != Qt::RightButton)
    return QAbstractScrollArea::mousePressEvent(event);
  pressedLink_ = LinkAt(event->position().toPoint());
  if (pressedLink_ != kNoLink) FocusLink(pressedLink_);
  event->accept();  // so the release comes here too
}

void MarkupView::mouseReleaseEvent(QMouseEvent* event) {
  const int link = LinkAt(event->position().toPoint());
  const bool sameLink = link != kNoLink && link == pressedLink_;
  if (sameLink && event->button() == Qt::LeftButton) {
    ActivateLink(link);
  } else if (sameLink && event->button() == Qt::RightButton) {
    menuPosition_ = event->globalPosition().toPoint();
    emit linkRightClicked(Utf8(LinkMarkup(link)));
  } else {
    QAbstractScrollArea::mouseReleaseEvent(event);
  }
}

void MarkupView::mouseMoveEvent(QMouseEvent* event) {
  bool overLink = LinkAt(event->position().toPoint()) != kNoLink;
  viewport()->setCursor(overLink ? Qt::PointingHandCursor : Qt::ArrowCursor);
  QAbstractScrollArea::mouseMoveEvent(event);
}

// Tab from the control before comes in at the first link, Shift+Tab from
// the one after at the last. A screen reader hears of the link after it
// heard of the view.
void MarkupView::focusInEvent(QFocusEvent* event) {
  emit focusEntered();
  QAbstractScrollArea::focusInEvent(event);
  EnsureLayout();
  if (event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason) {
    focus_.Clear();
    focus_.Move(event->reason() == Qt::TabFocusReason ? LinkKey::kTab : LinkKey::kBacktab);
    ScrollToFocusedLink();
  }
  viewport()->update();
  QMetaObject::invokeMethod(
      this, [this] { if (hasFocus()) ReportLinkFocused(*this, focus_.Focused()); }, Qt::QueuedConnection);
}

void MarkupView::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  viewport()->update();
}

bool MarkupView::focusNextPrevChild(bool next) {
  const LinkKey key = next ? LinkKey::kTab : LinkKey::kBacktab;
  if (hasFocus() && MoveLinkFocus(key)) return true;
  const bool moved = QAbstractScrollArea::focusNextPrevChild(next);
  // The only stop of its window: Tab goes round its links again.
  if (hasFocus()) {
    focus_.Clear();
    MoveLinkFocus(key);
  }
  return moved;
}

bool MarkupView::CopyTextToClipboard(const std::string& text) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (text.empty() || clipboard == nullptr) return false;
  clipboard->setText(Utf8(text));
  return true;
}

}  // namespace vrel::markup
