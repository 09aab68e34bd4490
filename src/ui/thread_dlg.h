// The framework behind the notification, viewer and screen saver windows:
// an owner that starts, feeds, moves and stops one dialog, and the dialog
// base that receives the owner's documents. Every widget lives on the GUI
// thread; only PostDoc may be called from any thread.
#pragma once

#include <QDialog>
#include <QPointer>

#include <functional>
#include <memory>

#include "feeds/reader_settings.h"
#include "xml/xml_doc.h"

class QRect;
class QSize;

namespace vrel::ui {

// Command codes that travel with a posted document.
constexpr int TDM_SHOW = 216;      // show this document
constexpr int TDM_POSITION = 217;  // root "POS" with "L", "T", "R", "B"
constexpr int TDM_CLEAR = 218;     // root "CMD" with "CLEAR": drop what is held

// Where a dialog of the given size starts. A position-only rectangle takes
// the dialog's size and is shifted left and up so that it does not reach past
// the right and bottom edges of the work area (never right or down); a full
// rectangle is used as it is.
WindowRect StartRect(const WindowRect& stored, const QSize& dialogSize, const QRect& workArea);

class CThreadDlg;
class CThreadDlgOwner;

// Makes the dialog an owner hosts (a top-level window, no parent); the
// dialog reports to the owner it is given.
using ThreadDlgFactory = std::function<CThreadDlg*(CThreadDlgOwner& owner)>;

// Kept by the main dialog for each hosted dialog; not a window.
class CThreadDlgOwner {
 public:
  CThreadDlgOwner();
  ~CThreadDlgOwner();  // stops the dialog first
  CThreadDlgOwner(const CThreadDlgOwner&) = delete;
  CThreadDlgOwner& operator=(const CThreadDlgOwner&) = delete;

  // GUI thread only. Stops whatever ran before, creates the dialog and
  // places it at Rect(); false when the factory made no dialog.
  bool Start(const ThreadDlgFactory& createDialog);
  // GUI thread only. Destroys the dialog; true when a running dialog was
  // closed, false when none was started or it had already ended by itself.
  bool Stop();
  // Any thread. Queues a copy of the document and posts one event with the
  // code; each event is answered with the document posted with it. Dropped
  // before the first Start; lost when the dialog has ended.
  void PostDoc(const XmlDoc& doc, int code);
  // Records the rectangle and asks the dialog to move there.
  void SetPosition(const WindowRect& rect);

  // The start placement (set before Start) and, after the dialog is
  // destroyed, its last normal placement.
  const WindowRect& Rect() const { return rect_; }
  void SetRect(const WindowRect& rect) { rect_ = rect; }

  // The running dialog, null when none runs.
  CThreadDlg* Dialog() const;

 private:
  friend class CThreadDlg;
  class Mailbox;

  void OnDialogEnded(CThreadDlg* dialog);

  WindowRect rect_;
  std::unique_ptr<Mailbox> mailbox_;
  // What Start made. Stop deletes it, or it deletes itself once it ended
  // (done()); the pointer turns null either way.
  QPointer<CThreadDlg> dialog_;
  bool threadEnded_ = false;  // the dialog ended by itself or was destroyed
};

// Base of the hosted dialogs. Created hidden; ending the dialog (done())
// destroys it, which writes its placement back to the owner.
class CThreadDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CThreadDlg(CThreadDlgOwner& owner);
  ~CThreadDlg() override;


  // A document that arrived with TDM_SHOW, TDM_CLEAR or another code that is
  // not TDM_POSITION. The base does nothing.
  virtual void OnThreadMessage(XmlDoc& doc, int code);

  void done(int result) override;

 protected:
  // Places the window at its start rectangle and on TDM_POSITION.
  virtual void MoveTo(const WindowRect& rect);

 private:
  friend class CThreadDlgOwner;

  void ReceiveDoc(XmlDoc& doc, int code);

  CThreadDlgOwner& owner_;
};

}  // namespace vrel::ui
