#include "ui/notify_dlg.h"

#include <QTimer>

#include "feeds/news_engine.h"
#include "markup/requests.h"

namespace vrel::ui {

CNotifyDlg::CNotifyDlg(CThreadDlgOwner& owner, NewsEngine& engine, LinkHandler& links, CThreadDlgOwner& viewerOwner)
    : CMarkupThreadDlg(owner, links, viewerOwner, QColor(255, 255, 225)), m_engine(engine), m_timer(new QTimer(this)) {
  setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint | Qt::WindowCloseButtonHint);
  resize(300, 160);
  UpdateTitle();
  // Only a click focuses the display: showing the window must not pin it.
  Display()->setFocusPolicy(Qt::ClickFocus);
  connect(Display(), &markup::MarkupView::focusEntered, this, &CNotifyDlg::Pin);
  connect(m_timer, &QTimer::timeout, this, &CNotifyDlg::Tick);
  m_timer->start(1000);
}

void CNotifyDlg::OnThreadMessage(XmlDoc& doc, int code) {
  if (code == TDM_CLEAR) {
    ClearQueue();
  } else if (code == TDM_SHOW) {
    m_queue.SetPositions(0, 0, 0);
    if (!m_queue.FindElement(nullptr)) m_queue.AddElement("TIPS");
    m_queue.SetPositions(0, 0, 0);
    m_queue.FindElement(nullptr);
    m_queue.AddSubDocument(doc.GetDocumentText(), AsChild);
    ShowNext();
  }
}

void CNotifyDlg::Tick() {
  if (m_secondsLeft <= 0) return;
  if (--m_secondsLeft == 0)
    ShowNext();
  else
    UpdateTitle();
}

void CNotifyDlg::Pin() {
  m_secondsLeft = 0;
  UpdateTitle();
  ClearQueue();
}

int CNotifyDlg::QueuedCount() const {
  XmlDoc queue = m_queue;
  queue.SetPositions(0, 0, 0);
  if (!queue.FindElement(nullptr)) return 0;
  int count = 0;
  while (queue.FindChildElement(nullptr)) ++count;
  return count;
}

void CNotifyDlg::ShowNext() {
  if (m_secondsLeft != 0) return;
  XmlDoc request;
  if (!TakeNext(request)) {
    UpdateTitle();
    HideWindow();
    return;
  }
  Display()->SetText(RenderRequest(m_engine, request.GetDocumentText()), true);
  ShowWithoutActivating();
  m_secondsLeft = m_engine.Settings().notificationSeconds;
  UpdateTitle();
}

bool CNotifyDlg::TakeNext(XmlDoc& request) {
  m_queue.SetPositions(0, 0, 0);
  if (!m_queue.FindElement(nullptr) || !m_queue.FindChildElement(nullptr)) return false;
  request.SetDocumentText(m_queue.GetSubDocument(m_queue.GetChildPosition()));
  m_queue.RemoveChildElement();
  return true;
}

void CNotifyDlg::ClearQueue() { m_queue = XmlDoc(); }

void CNotifyDlg::UpdateTitle() {
  setWindowTitle(m_secondsLeft == 0 ? tr("Notification Window")
                                    : tr("Notification Window ...%1").arg(m_secondsLeft));
}

}  // namespace vrel::ui
