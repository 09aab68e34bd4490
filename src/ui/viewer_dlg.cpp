#include "ui/viewer_dlg.h"

#include <QKeyEvent>

#include "markup/requests.h"

namespace vrel::ui {

CViewerDlg::CViewerDlg(CThreadDlgOwner& owner, NewsEngine& engine, LinkHandler& links)
    : CMarkupThreadDlg(owner, links, owner, Qt::white), engine_(engine) {
  setWindowTitle(tr("Viewer"));
  setWindowFlags(Qt::Window | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
  setSizeGripEnabled(true);
  resize(520, 420);
  Display()->setAccessibleName(tr("View"));
  // The history keys must not reach the display, which has the focus.
  Display()->installEventFilter(this);
}

void CViewerDlg::OnThreadMessage(XmlDoc& doc, int code) {
  if (code != TDM_SHOW) return;
  const std::string request = doc.GetDocumentText();
  ShowRequest(request, true);
  history_.Record(request);
}

void CViewerDlg::Back() {
  if (history_.Back()) ShowRequest(history_.Current(), true);
}

void CViewerDlg::Forward() {
  if (history_.Forward()) ShowRequest(history_.Current(), true);
}

void CViewerDlg::Refresh() {
  if (!history_.Empty()) ShowRequest(history_.Current(), false);
}

bool CViewerDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Display() && event->type() == QEvent::KeyPress && HandleKey(static_cast<QKeyEvent&>(*event)))
    return true;
  return CMarkupThreadDlg::eventFilter(watched, event);
}

void CViewerDlg::keyPressEvent(QKeyEvent* event) {
  if (!HandleKey(*event)) CMarkupThreadDlg::keyPressEvent(event);
}

bool CViewerDlg::HandleKey(const QKeyEvent& key) {
  const bool alt = key.modifiers() == Qt::AltModifier;
  const bool plain = key.modifiers() == Qt::NoModifier || key.modifiers() == Qt::KeypadModifier;
  if ((alt && key.key() == Qt::Key_Left) || (plain && key.key() == Qt::Key_Backspace)) {
    Back();
  } else if (alt && key.key() == Qt::Key_Right) {
    Forward();
  } else if (plain && key.key() == Qt::Key_F5) {
    Refresh();
  } else if (plain && key.key() == Qt::Key_Escape) {
    HideWindow();
  } else {
    return false;
  }
  return true;
}

// Every request comes from something the user did, so the viewer comes to
// the front with the keyboard: Page Down and Escape are for it, not for
// the window the user came from.
void CViewerDlg::ShowRequest(const std::string& request, bool resetScroll) {
  Display()->SetText(RenderRequest(engine_, request), resetScroll);
  ShowAtRect();
  raise();
  activateWindow();
  Display()->setFocus(Qt::OtherFocusReason);
}

}  // namespace vrel::ui
