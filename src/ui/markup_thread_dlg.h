// What the viewer and the notification window share: a mark-up display
// filling the window, hidden until the first document arrives, hiding
// instead of closing, and the clicks and right-click menu of their links
// (by mouse or keyboard).
#pragma once

#include <QRect>

#include <memory>

#include "markup/widget/markup_view.h"
#include "ui/thread_dlg.h"
#include "xml/xml_doc.h"

class QMenu;

namespace vrel {
class LinkHandler;
}

namespace vrel::ui {

class CMarkupThreadDlg : public CThreadDlg {
  Q_OBJECT

 public:
  // detailsOwner: where "&Item Details" sends its request (the viewer's owner).
  CMarkupThreadDlg(CThreadDlgOwner& owner, LinkHandler& links, CThreadDlgOwner& detailsOwner,
                   const QColor& background);

  markup::MarkupView* Display() const { return display_; }
  // The link last clicked or right-clicked, positioned on its "A".
  const XmlDoc& Link() const { return link_; }
  // Where the window appears when it is shown again.
  const QRect& ShowRect() const { return rect_; }

  // Takes the whole mark-up of a clicked link as the current link.
  void LoadLink(const QString& markup);
  // The right-click menu of the last link: "&Copy Shortcut", and
  // "&Item Details" when the link names an item.
  std::unique_ptr<QMenu> CreateLinkMenu();
  void CopyShortcut();
  void ShowItemDetails();
  // Keeps the rectangle unless the user shrank the window to nothing much,
  // hides and disables the window; it stays alive.
  void HideWindow();

  void setVisible(bool visible) override;
  void accept() override;  // Enter does nothing
  void reject() override;  // Escape hides

 protected:
  // Shows the window at its rectangle unless it is up already (then only
  // un-minimises it).
  void ShowAtRect();

  // A hidden window shows again where it was last moved to.
  void MoveTo(const WindowRect& rect) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void OnLinkClicked(const QString& markup);
  void OnLinkRightClicked(const QString& markup);
  void KeepRect();

  LinkHandler& links_;
  CThreadDlgOwner& detailsOwner_;
  markup::MarkupView* display_;
  XmlDoc link_;
  bool allowShow_ = false;
  QRect rect_;
};

}  // namespace vrel::ui
