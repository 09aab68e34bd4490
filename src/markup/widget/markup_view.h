#pragma once

#include <QAbstractScrollArea>
#include <QColor>
#include <QPoint>
#include <QRect>
#include <QString>
#include <string>

#include "markup/layout/link_focus.h"
#include "markup/layout/markup_layout.h"
#include "markup/widget/qt_text_measurer.h"

namespace vrel::markup {

// Scrollable view of mark-up text with word wrap, styled runs and clickable
// links. The text is laid out again when it or the width changes; hit tests
// use the last layout. The keyboard reaches the links too: Tab, Shift+Tab
// and the arrows move between them, Enter and Space follow the focused one,
// the Menu key and Shift+F10 ask for its menu.
class MarkupView : public QAbstractScrollArea {
  Q_OBJECT

 public:
  explicit MarkupView(QWidget* parent = nullptr);

  // Owners set colour and margins before the first text.
  void SetBackgroundColor(const QColor& color);
  void SetMargins(int horizontal, int vertical);
  // A view is a Tab stop while it shows links (never without). An owner
  // that wants the focus to come only from a click, or from itself,
  // turns that off.
  void SetTabStop(bool tabStop);

  // Stores the mark-up; with resetScroll the view goes back to the top and
  // no link keeps the keyboard focus.
  void SetText(const std::string& markup, bool resetScroll);
  const std::string& Text() const { return markup_; }
  // The text as shown, without tags; lines end in '\n'.
  const QString& PlainText();

  // Moves the text up by amount pixels (down when negative), within the text.
  void ScrollBy(int amount);
  int ScrollPosition() const { return scroll_; }
  // Height of the laid-out text plus the margins (lays out when needed).
  int ContentHeight();
  const MarkupLayout& Layout() const { return layout_; }

  // The links by number, in reading order.
  int LinkCount();
  // The number of the link at a point of the viewport, or kNoLink.
  int LinkAt(const QPoint& point);
  // The link's text as shown, and where it is in the viewport.
  QString LinkName(int link);
  QRect LinkRect(int link);
  int FocusedLink() const { return focus_.Focused(); }
  // Gives the link the keyboard focus and scrolls it into view.
  void FocusLink(int link);
  // What a left click and a right click on the link do.
  void ActivateLink(int link);
  void OpenLinkMenu(int link);
  // Where the menu of the last right-clicked link belongs, in global
  // coordinates: the mouse, or below the link when the keyboard asked.
  QPoint LinkMenuPosition() const { return menuPosition_; }

  // Puts UTF-8 text on the clipboard; false for an empty text or no clipboard.
  static bool CopyTextToClipboard(const std::string& text);

 signals:
  // Left or right button pressed and released on the same link (or the
  // keyboard's Enter and menu keys on the focused one); the text is the
  // link's whole mark-up. With focusEntered these are the control's three
  // notifications to its owner (click, right click, focus).
  void linkClicked(const QString& markup);
  void linkRightClicked(const QString& markup);
  void focusEntered();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  bool focusNextPrevChild(bool next) override;

 private:
  void EnsureLayout();
  void UpdateFocusPolicy();
  int MaxScroll() const;
  void ShrinkBackScroll();
  void UpdateScrollBar();
  void OnScrollBarMoved(int value);
  bool MoveLinkFocus(LinkKey key);
  void ShowFocusedLink();
  void ScrollToFocusedLink();
  bool HandleLinkKey(const QKeyEvent& key);
  const std::string& LinkMarkup(int link);
  void DrawRuns(QPainter& painter, const QRect& area);
  void DrawFocusFrame(QPainter& painter);

  std::string markup_;
  QString plainText_;
  bool plainTextValid_ = false;
  QColor background_;
  int horizontalMargin_ = 0;
  int verticalMargin_ = 0;
  bool tabStop_ = true;
  QtTextMeasurer measurer_;
  MarkupLayout layout_;
  bool layoutValid_ = false;
  LinkFocus focus_;
  int scroll_ = 0;
  bool settingScrollBar_ = false;
  int pressedLink_ = kNoLink;  // the link under the last left or right press
  QPoint menuPosition_;
};

}  // namespace vrel::markup
