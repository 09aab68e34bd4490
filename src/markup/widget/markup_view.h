#pragma once

#include <QAbstractScrollArea>
#include <QColor>
#include <QString>
#include <string>

#include "markup/layout/markup_layout.h"
#include "markup/widget/qt_text_measurer.h"

namespace vrel::markup {

// Scrollable view of mark-up text with word wrap, styled runs and clickable
// links. The text is laid out again when it or the width changes; hit tests
// use the last painted layout.
class MarkupView : public QAbstractScrollArea {
  Q_OBJECT

 public:
  explicit MarkupView(QWidget* parent = nullptr);

  // Owners set colour and margins before the first text.
  void SetBackgroundColor(const QColor& color);
  void SetMargins(int horizontal, int vertical);

  // Stores the mark-up; with reset_scroll the view goes back to the top.
  void SetText(const std::string& markup, bool reset_scroll);
  const std::string& Text() const { return markup_; }

  // Moves the text up by amount pixels (down when negative), within the text.
  void ScrollBy(int amount);
  int ScrollPosition() const { return scroll_; }
  // Height of the laid-out text plus the margins (lays out when needed).
  int ContentHeight();
  const MarkupLayout& Layout() const { return layout_; }

  // Puts UTF-8 text on the clipboard; false for an empty text or no clipboard.
  static bool CopyTextToClipboard(const std::string& text);

 signals:
  // Left or right button pressed and released on the same link; the text is
  // the link's whole mark-up. With focusEntered these are the control's three
  // notifications to its owner (click, right click, focus).
  void linkClicked(const QString& markup);
  void linkRightClicked(const QString& markup);
  void focusEntered();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;

 private:
  void EnsureLayout();
  int MaxScroll() const;
  void ShrinkBackScroll();
  void UpdateScrollBar();
  void OnScrollBarMoved(int value);
  int LinkAt(const QPoint& point) const;
  void DrawRuns(QPainter& painter, const QRect& area);

  std::string markup_;
  QColor background_;
  int horizontal_margin_ = 0;
  int vertical_margin_ = 0;
  QtTextMeasurer measurer_;
  MarkupLayout layout_;
  bool layout_valid_ = false;
  int scroll_ = 0;
  bool setting_scroll_bar_ = false;
  int pressed_link_ = -1;
};

}  // namespace vrel::markup
