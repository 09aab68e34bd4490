#include "ui/notify_dlg.h"

#include <QTimer>

#include "feeds/news_engine.h"
#include "markup/requests.h"

namespace vrel::ui {

CNotifyDlg::CNotifyDlg(CThreadDlgOwner& owner, NewsEngine& engine, LinkHandler& links, CThreadDlgOwner& viewerOwner)
    : CMarkupThreadDlg(owner, links, viewerOwner, QColor(255, 255, 225)), engine_(engine), timer_(new QTimer(this)) {
  setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint | Qt::WindowCloseButtonHint);
  // A download shows it: it never takes the focus from what the user is doing.
  setAttribute(Qt::WA_ShowWithoutActivating);
  resize(300, 160);
  UpdateTitle();
  // Only the user focuses the display, with a click or Tab: showing the
  // window, even where that activates it, must not pin it.
  Display()->SetTabStop(false);
  Display()->setAccessibleName(tr("Notification"));
  connect(Display(), &markup::MarkupView::focusEntered, this, &CNotifyDlg::Pin);
  connect(timer_, &QTimer::timeout, this, &CNotifyDlg::Tick);
  timer_->start(1000);
}

void CNotifyDlg::OnThreadMessage(XmlDoc& doc, int code) {
  if (code == TDM_CLEAR) {
    ClearQueue();
  } else if (code == TDM_SHOW) {
    queue_.SetPositions(0, 0, 0);
    if (!queue_.FindElement(nullptr)) queue_.AddElement("TIPS");
    queue_.SetPositions(0, 0, 0);
    queue_.FindElement(nullptr);
    queue_.AddSubDocument(doc.GetDocumentText(), XmlDoc::AsChild);
    ShowNext();
  }
}

void CNotifyDlg::Tick() {
  if (secondsLeft_ <= 0) return;
  if (--secondsLeft_ == 0)
    ShowNext();
  else
    UpdateTitle();
}

void CNotifyDlg::Pin() {
  secondsLeft_ = 0;
  UpdateTitle();
  ClearQueue();
}

int CNotifyDlg::QueuedCount() const {
  XmlDoc queue = queue_;
  queue.SetPositions(0, 0, 0);
  if (!queue.FindElement(nullptr)) return 0;
  int count = 0;
  while (queue.FindChildElement(nullptr)) ++count;
  return count;
}

void CNotifyDlg::ShowNext() {
  if (secondsLeft_ != 0) return;
  XmlDoc request;
  if (!TakeNext(request)) {
    UpdateTitle();
    HideWindow();
    return;
  }
  Display()->SetText(RenderRequest(engine_, request.GetDocumentText()), true);
  ShowAtRect();
  secondsLeft_ = engine_.Settings().notificationSeconds;
  UpdateTitle();
}

bool CNotifyDlg::TakeNext(XmlDoc& request) {
  queue_.SetPositions(0, 0, 0);
  if (!queue_.FindElement(nullptr) || !queue_.FindChildElement(nullptr)) return false;
  request.SetDocumentText(queue_.GetSubDocument(queue_.GetChildPosition()));
  queue_.RemoveChildElement();
  return true;
}

void CNotifyDlg::ClearQueue() { queue_ = XmlDoc(); }

bool CNotifyDlg::focusNextPrevChild(bool next) {
  if (Display()->hasFocus()) return CMarkupThreadDlg::focusNextPrevChild(next);
  Display()->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
  return true;
}

void CNotifyDlg::UpdateTitle() {
  setWindowTitle(secondsLeft_ == 0 ? tr("Notification Window")
                                    : tr("Notification Window ...%1").arg(secondsLeft_));
}

}  // namespace vrel::ui
