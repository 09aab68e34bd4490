// The viewer window: shows the view each request document asks for and keeps
// a browser-like history of them.
#pragma once

#include "ui/markup_thread_dlg.h"
#include "ui/viewer_history.h"

class QKeyEvent;

namespace vrel {
class NewsEngine;
}

namespace vrel::ui {

class CViewerDlg : public CMarkupThreadDlg {
  Q_OBJECT

 public:
  // "&Item Details" opens in this window, through its own owner.
  CViewerDlg(CThreadDlgOwner& owner, NewsEngine& engine, LinkHandler& links);

  // TDM_SHOW: render the request, show it from the top and record it.
  void OnThreadMessage(XmlDoc& doc, int code) override;

  void Back();     // Alt+Left, Backspace
  void Forward();  // Alt+Right
  void Refresh();  // F5: rendered anew, the scroll position kept

  const ViewerHistory& History() const { return history_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool HandleKey(const QKeyEvent& key);
  void ShowRequest(const std::string& request, bool resetScroll);

  NewsEngine& engine_;
  ViewerHistory history_;
};

}  // namespace vrel::ui
