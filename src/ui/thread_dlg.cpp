#include "ui/thread_dlg.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QThread>

#include <deque>
#include <mutex>
#include <utility>

#include "feeds/time_stamp.h"
#include "ui/window_placement.h"

namespace vrel::ui {
namespace {

const QEvent::Type kThreadDlgEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

bool OnGuiThread() {
  return QCoreApplication::instance() != nullptr &&
         QThread::currentThread() == QCoreApplication::instance()->thread();
}

QRect WorkAreaOf(const QWidget& dialog) {
  const QScreen* screen = dialog.screen() != nullptr ? dialog.screen() : QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->availableGeometry() : QRect();
}

WindowRect PositionOf(const XmlDoc& doc) {
  return {LeadingInt(doc.GetAttribute("L")), LeadingInt(doc.GetAttribute("T")), LeadingInt(doc.GetAttribute("R")),
          LeadingInt(doc.GetAttribute("B"))};
}

}  // namespace

WindowRect StartRect(const WindowRect& stored, const QSize& dialogSize, const QRect& workArea) {
  if (!stored.IsPositionOnly()) return stored;
  WindowRect rect{stored.left, stored.top, stored.left + dialogSize.width(), stored.top + dialogSize.height()};
  // QRect's right() and bottom() are inclusive; the window edges are not.
  const int workRight = workArea.x() + workArea.width();
  const int workBottom = workArea.y() + workArea.height();
  if (rect.right > workRight) {
    const int shift = rect.right - workRight;
    rect.left -= shift;
    rect.right -= shift;
  }
  if (rect.bottom > workBottom) {
    const int shift = rect.bottom - workBottom;
    rect.top -= shift;
    rect.bottom -= shift;
  }
  return rect;
}

// Lives on the GUI thread and outlives every dialog of its owner, so events
// posted from other threads never race with a dialog's destruction. Each
// event takes the oldest queued document: posts and queue share one lock,
// so the queue's order is the events' order.
class CThreadDlgOwner::Mailbox : public QObject {
 public:
  explicit Mailbox(CThreadDlgOwner& owner) : owner_(owner) {
    if (QCoreApplication::instance() != nullptr) moveToThread(QCoreApplication::instance()->thread());
  }

  void Post(const XmlDoc& doc, int code) {
    std::lock_guard lock(mutex_);
    if (!open_) return;
    documents_.emplace_back(doc, code);
    QCoreApplication::postEvent(this, new QEvent(kThreadDlgEvent));
  }

  // Posts are accepted from the first start on, even while no dialog runs.
  void Open() {
    std::lock_guard lock(mutex_);
    open_ = true;
  }

 protected:
  void customEvent(QEvent* event) override {
    if (event->type() != kThreadDlgEvent) return;
    std::pair<XmlDoc, int> posted;
    {
      std::lock_guard lock(mutex_);
      if (documents_.empty()) return;
      posted = std::move(documents_.front());
      documents_.pop_front();
    }
    if (CThreadDlg* dialog = owner_.Dialog()) dialog->ReceiveDoc(posted.first, posted.second);
  }

 private:
  CThreadDlgOwner& owner_;
  std::mutex mutex_;
  std::deque<std::pair<XmlDoc, int>> documents_;
  bool open_ = false;
};

CThreadDlgOwner::CThreadDlgOwner() : mailbox_(std::make_unique<Mailbox>(*this)) {}

CThreadDlgOwner::~CThreadDlgOwner() { Stop(); }

bool CThreadDlgOwner::Start(const ThreadDlgFactory& createDialog) {
  Q_ASSERT_X(OnGuiThread(), "CThreadDlgOwner::Start", "dialogs are created on the GUI thread only");
  Stop();
  threadEnded_ = false;
  CThreadDlg* dialog = createDialog ? createDialog(*this) : nullptr;
  if (dialog == nullptr) return false;
  dialog_ = dialog;
  if (!rect_.IsNull()) {
    rect_ = StartRect(rect_, dialog->size(), WorkAreaOf(*dialog));
    dialog->MoveTo(rect_);
  }
  mailbox_->Open();
  return true;
}

bool CThreadDlgOwner::Stop() {
  const bool running = dialog_ && !threadEnded_;
  // A dialog that ended by itself may still wait for its deferred deletion.
  delete dialog_.data();
  return running;
}

void CThreadDlgOwner::PostDoc(const XmlDoc& doc, int code) { mailbox_->Post(doc, code); }

void CThreadDlgOwner::SetPosition(const WindowRect& rect) {
  rect_ = rect;
  XmlDoc pos;
  pos.AddElement("POS");
  pos.SetAttributeInt(pos.GetCurrentPosition(), "L", rect.left);
  pos.SetAttributeInt(pos.GetCurrentPosition(), "T", rect.top);
  pos.SetAttributeInt(pos.GetCurrentPosition(), "R", rect.right);
  pos.SetAttributeInt(pos.GetCurrentPosition(), "B", rect.bottom);
  PostDoc(pos, TDM_POSITION);
}

CThreadDlg* CThreadDlgOwner::Dialog() const { return threadEnded_ ? nullptr : dialog_; }

void CThreadDlgOwner::OnDialogEnded(CThreadDlg* dialog) {
  if (dialog == dialog_) threadEnded_ = true;
}

CThreadDlg::CThreadDlg(CThreadDlgOwner& owner) : QDialog(nullptr), owner_(owner) {
  Q_ASSERT_X(OnGuiThread(), "CThreadDlg", "dialogs are created on the GUI thread only");
}

CThreadDlg::~CThreadDlg() {
  const QRect normal = isMaximized() || isFullScreen() ? normalGeometry() : geometry();
  if (!normal.isEmpty()) owner_.rect_ = ToWindowRect(normal);
  owner_.OnDialogEnded(this);
}

void CThreadDlg::OnThreadMessage(XmlDoc&, int) {}

void CThreadDlg::done(int result) {
  QDialog::done(result);
  owner_.OnDialogEnded(this);
  deleteLater();
}

void CThreadDlg::MoveTo(const WindowRect& rect) { setGeometry(ToQRect(rect)); }

void CThreadDlg::ReceiveDoc(XmlDoc& doc, int code) {
  if (code == TDM_POSITION)
    MoveTo(PositionOf(doc));
  else
    OnThreadMessage(doc, code);
}

}  // namespace vrel::ui
