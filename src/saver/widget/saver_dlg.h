// The screen saver's hidden host dialog. Each TDM_SHOW document (root "S",
// with "hwnd" for a preview inside another window) replaces its CSaverWnd.
#pragma once

#include <QPointer>
#include <string>

#include "ui/thread_dlg.h"

namespace vrel {
class NewsEngine;
}

namespace vrel::saver {

class CSaverWnd;

// What the saver needs from the main dialog. Both are called on the GUI
// thread.
class SaverHost {
 public:
  virtual ~SaverHost() = default;

  // Where each new screen's digest comes from.
  virtual NewsEngine& SaverEngine() = 0;
  // The full-screen saver closed; feedId is the feed picked with G, empty
  // when the user left without picking one.
  virtual void ScreenSaverEnded(const std::string& feedId) = 0;
};

class CSaverDlg : public ui::CThreadDlg {
  Q_OBJECT

 public:
  CSaverDlg(ui::CThreadDlgOwner& owner, SaverHost& host);
  ~CSaverDlg() override;

  void OnThreadMessage(XmlDoc& doc, int code) override;
  void setVisible(bool visible) override;

  // The window now showing, null when none.
  CSaverWnd* Saver() const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;
  void accept() override;

 private:
  void StartSaver(unsigned long previewParent);

  SaverHost& host_;
  QPointer<CSaverWnd> saver_;  // deletes itself when it closes
};

}  // namespace vrel::saver
