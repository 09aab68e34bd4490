#include "ui/markup_thread_dlg.h"

#include <QCloseEvent>
#include <QMenu>
#include <QVBoxLayout>

#include "markup/requests.h"

namespace vrel::ui {

CMarkupThreadDlg::CMarkupThreadDlg(CThreadDlgOwner& owner, LinkHandler& links, CThreadDlgOwner& detailsOwner,
                                   const QColor& background)
    : CThreadDlg(owner), links_(links), detailsOwner_(detailsOwner), display_(new markup::MarkupView(this)) {
  display_->SetBackgroundColor(background);
  display_->SetMargins(4, 2);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSizeConstraint(QLayout::SetNoConstraint);  // the user may shrink it to nothing
  layout->addWidget(display_);
  connect(display_, &markup::MarkupView::linkClicked, this, &CMarkupThreadDlg::OnLinkClicked);
  connect(display_, &markup::MarkupView::linkRightClicked, this, &CMarkupThreadDlg::OnLinkRightClicked);
  setEnabled(false);
}

std::unique_ptr<QMenu> CMarkupThreadDlg::CreateLinkMenu() {
  auto menu = std::make_unique<QMenu>(this);
  menu->addAction(tr("&Copy Shortcut"), this, &CMarkupThreadDlg::CopyShortcut);
  if (!link_.GetAttribute("seq").empty())
    menu->addAction(tr("&Item Details"), this, &CMarkupThreadDlg::ShowItemDetails);
  return menu;
}

void CMarkupThreadDlg::CopyShortcut() { markup::MarkupView::CopyTextToClipboard(link_.GetAttribute("href")); }

void CMarkupThreadDlg::ShowItemDetails() { detailsOwner_.PostDoc(ItemDetailsRequest(link_), TDM_SHOW); }

void CMarkupThreadDlg::HideWindow() {
  KeepRect();
  hide();
  setEnabled(false);
}

// Nothing shows the window before its first document, not even the dialog's
// own first showing.
void CMarkupThreadDlg::setVisible(bool visible) {
  if (visible && !allowShow_) return;
  CThreadDlg::setVisible(visible);
}

void CMarkupThreadDlg::accept() {}

void CMarkupThreadDlg::reject() { HideWindow(); }

void CMarkupThreadDlg::ShowAtRect() {
  if (isVisible()) {
    if (isMinimized()) showNormal();
    return;
  }
  allowShow_ = true;
  if (rect_.isValid()) setGeometry(rect_);
  setEnabled(true);
  show();
}

void CMarkupThreadDlg::LoadLink(const QString& markup) { link_ = LinkDocument(markup.toStdString()); }

void CMarkupThreadDlg::MoveTo(const WindowRect& rect) {
  CThreadDlg::MoveTo(rect);
  KeepRect();
}

void CMarkupThreadDlg::closeEvent(QCloseEvent* event) {
  event->ignore();
  HideWindow();
}

void CMarkupThreadDlg::resizeEvent(QResizeEvent* event) {
  CThreadDlg::resizeEvent(event);
  KeepRect();
}

void CMarkupThreadDlg::OnLinkClicked(const QString& markup) {
  LoadLink(markup);
  links_.OnLinkClicked(link_);
}

void CMarkupThreadDlg::OnLinkRightClicked(const QString& markup) {
  LoadLink(markup);
  // A popup rather than a nested event loop: the dialog may be stopped
  // while the menu is open, and the menu then goes with it.
  QMenu* menu = CreateLinkMenu().release();
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(display_->LinkMenuPosition());
}

// A window shrunk to a sliver is not worth restoring.
void CMarkupThreadDlg::KeepRect() {
  const QRect rect = geometry();
  if (rect.width() > 50 && rect.height() > 30) rect_ = rect;
}

}  // namespace vrel::ui
