#include "ui/markup_thread_dlg.h"

#include <QCloseEvent>
#include <QCursor>
#include <QMenu>
#include <QVBoxLayout>

#include "markup/requests.h"

namespace vrel::ui {

CMarkupThreadDlg::CMarkupThreadDlg(CThreadDlgOwner& owner, LinkHandler& links, CThreadDlgOwner& detailsOwner,
                                   const QColor& background)
    : CThreadDlg(owner), m_links(links), m_detailsOwner(detailsOwner), m_display(new markup::MarkupView(this)) {
  m_display->SetBackgroundColor(background);
  m_display->SetMargins(4, 2);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSizeConstraint(QLayout::SetNoConstraint);  // the user may shrink it to nothing
  layout->addWidget(m_display);
  connect(m_display, &markup::MarkupView::linkClicked, this, &CMarkupThreadDlg::OnLinkClicked);
  connect(m_display, &markup::MarkupView::linkRightClicked, this, &CMarkupThreadDlg::OnLinkRightClicked);
  setAttribute(Qt::WA_ShowWithoutActivating);  // never steal the focus from another application
  setEnabled(false);
}

std::unique_ptr<QMenu> CMarkupThreadDlg::CreateLinkMenu() {
  auto menu = std::make_unique<QMenu>(this);
  menu->addAction(tr("&Copy Shortcut"), this, &CMarkupThreadDlg::CopyShortcut);
  if (!m_link.GetAttribute("seq").empty())
    menu->addAction(tr("&Item Details"), this, &CMarkupThreadDlg::ShowItemDetails);
  return menu;
}

void CMarkupThreadDlg::CopyShortcut() { markup::MarkupView::CopyTextToClipboard(m_link.GetAttribute("href")); }

void CMarkupThreadDlg::ShowItemDetails() { m_detailsOwner.PostDoc(ItemDetailsRequest(m_link), TDM_SHOW); }

void CMarkupThreadDlg::HideWindow() {
  KeepRect();
  hide();
  setEnabled(false);
}

// Nothing shows the window before its first document, not even the dialog's
// own first showing.
void CMarkupThreadDlg::setVisible(bool visible) {
  if (visible && !m_allowShow) return;
  CThreadDlg::setVisible(visible);
}

void CMarkupThreadDlg::accept() {}

void CMarkupThreadDlg::reject() { HideWindow(); }

void CMarkupThreadDlg::ShowWithoutActivating() {
  if (isVisible()) {
    if (isMinimized()) showNormal();
    return;
  }
  m_allowShow = true;
  if (m_rect.isValid()) setGeometry(m_rect);
  setEnabled(true);
  show();
}

void CMarkupThreadDlg::LoadLink(const QString& markup) {
  m_link.SetDocumentText(markup.toStdString());
  m_link.SetPositions(0, 0, 0);
  m_link.FindElement(nullptr);
}

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
  m_links.OnLinkClicked(m_link);
}

void CMarkupThreadDlg::OnLinkRightClicked(const QString& markup) {
  LoadLink(markup);
  // A popup rather than a nested event loop: the dialog may be stopped
  // while the menu is open, and the menu then goes with it.
  QMenu* menu = CreateLinkMenu().release();
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(QCursor::pos());
}

// A window shrunk to a sliver is not worth restoring.
void CMarkupThreadDlg::KeepRect() {
  const QRect rect = geometry();
  if (rect.width() > 50 && rect.height() > 30) m_rect = rect;
}

}  // namespace vrel::ui
