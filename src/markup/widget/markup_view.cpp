#include "markup/widget/markup_view.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>

namespace vrel::markup {
namespace {

constexpr int kScrollBarLine = 14;
constexpr int kArrowKeyStep = 10;
constexpr int kWheelDivisor = -10;  // one notch of 120 scrolls 12 pixels
constexpr int kPageOverlap = 20;
constexpr int kMinHeightForOverlap = 50;

QString Utf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

MarkupView::MarkupView(QWidget* parent)
    : QAbstractScrollArea(parent), background_(palette().color(QPalette::Button)), measurer_(MarkupBaseFont()) {
  setFrameShape(QFrame::NoFrame);
  setFocusPolicy(Qt::StrongFocus);
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
  horizontal_margin_ = horizontal;
  vertical_margin_ = vertical;
  layout_valid_ = false;
  viewport()->update();
}

void MarkupView::SetText(const std::string& markup, bool reset_scroll) {
  markup_ = markup;
  if (reset_scroll) scroll_ = 0;
  layout_valid_ = false;
  setAccessibleName(Utf8(MarkupToPlainText(markup_)));
  viewport()->update();
}

int MarkupView::ContentHeight() {
  EnsureLayout();
  return layout_.content_height;
}

void MarkupView::EnsureLayout() {
  if (layout_valid_) return;
  LayoutOptions options{viewport()->width(), horizontal_margin_, vertical_margin_};
  layout_ = LayOutMarkup(markup_, options, measurer_);
  layout_valid_ = true;
  pressed_link_ = -1;
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
  const QScopedValueRollback setting(setting_scroll_bar_, true);
  bar->setPageStep(viewport()->height());
  bar->setRange(0, MaxScroll());
  bar->setValue(scroll_);
}

void MarkupView::OnScrollBarMoved(int value) {
  if (setting_scroll_bar_ || value == scroll_) return;
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

void MarkupView::paintEvent(QPaintEvent* event) {
  EnsureLayout();
  ShrinkBackScroll();
  UpdateScrollBar();
  QPainter painter(viewport());
  painter.fillRect(event->rect(), background_);
  DrawRuns(painter, event->rect());
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

void MarkupView::resizeEvent(QResizeEvent* event) {
  layout_valid_ = false;
  QAbstractScrollArea::resizeEvent(event);
}

void MarkupView::wheelEvent(QWheelEvent* event) {
  ScrollBy(event->angleDelta().y() / kWheelDivisor);
  event->accept();
}

void MarkupView::keyPressEvent(QKeyEvent* event) {
  int height = viewport()->height();
  int page = height > kMinHeightForOverlap ? height - kPageOverlap : height;
  switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_PageDown: ScrollBy(page); break;
    case Qt::Key_PageUp: ScrollBy(-page); break;
    case Qt::Key_Up: ScrollBy(-kArrowKeyStep); break;
    case Qt::Key_Down: ScrollBy(kArrowKeyStep); break;
    default: QAbstractScrollArea::keyPressEvent(event); return;
  }
  event->accept();
}

int MarkupView::LinkAt(const QPoint& point) const { return layout_.HitTest(point.x(), point.y() + scroll_); }

void MarkupView::mousePressEvent(QMouseEvent* event) {
  // The middle button neither starts nor spoils a click.
  if (event->button() != Qt::LeftButton && event->button() != Qt::RightButton)
    return QAbstractScrollArea::mousePressEvent(event);
  pressed_link_ = LinkAt(event->position().toPoint());
  event->accept();  // so the release comes here too
}

void MarkupView::mouseReleaseEvent(QMouseEvent* event) {
  int link = LinkAt(event->position().toPoint());
  bool same_link = link >= 0 && link == pressed_link_;
  if (same_link && event->button() == Qt::LeftButton) emit linkClicked(Utf8(layout_.links[link].text));
  else if (same_link && event->button() == Qt::RightButton) emit linkRightClicked(Utf8(layout_.links[link].text));
  else QAbstractScrollArea::mouseReleaseEvent(event);
}

void MarkupView::mouseMoveEvent(QMouseEvent* event) {
  bool over_link = LinkAt(event->position().toPoint()) >= 0;
  viewport()->setCursor(over_link ? Qt::PointingHandCursor : Qt::ArrowCursor);
  QAbstractScrollArea::mouseMoveEvent(event);
}

void MarkupView::focusInEvent(QFocusEvent* event) {
  emit focusEntered();
  QAbstractScrollArea::focusInEvent(event);
}

bool MarkupView::CopyTextToClipboard(const std::string& text) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (text.empty() || clipboard == nullptr) return false;
  clipboard->setText(Utf8(text));
  return true;
}

}  // namespace vrel::markup
