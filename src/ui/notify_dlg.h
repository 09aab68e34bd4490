// The notification window: an always-on-top pop-up that shows the feeds with
// new items one after another, each for the configured number of seconds.
#pragma once

#include "ui/markup_thread_dlg.h"

class QTimer;

namespace vrel {
class NewsEngine;
}

namespace vrel::ui {

class CNotifyDlg : public CMarkupThreadDlg {
  Q_OBJECT

 public:
  // viewerOwner: where "&Item Details" opens the item.
  CNotifyDlg(CThreadDlgOwner& owner, NewsEngine& engine, LinkHandler& links, CThreadDlgOwner& viewerOwner);

  // TDM_SHOW queues a "NURL" request and shows it when nothing is up;
  // TDM_CLEAR drops the queue but leaves the one on screen.
  void OnThreadMessage(XmlDoc& doc, int code) override;

  // One second of the countdown; the window's own timer calls it.
  void Tick();
  // The user clicked into the window: it stays up and nothing queued follows.
  void Pin();

  int SecondsLeft() const { return secondsLeft_; }
  int QueuedCount() const;

 protected:
  // Tab in the window enters the display at its first link (and pins it).
  bool focusNextPrevChild(bool next) override;

 private:
  void ShowNext();
  bool TakeNext(XmlDoc& request);
  void ClearQueue();
  void UpdateTitle();

  NewsEngine& engine_;
  XmlDoc queue_;  // root "TIPS", one child per pending notification
  int secondsLeft_ = 0;
  QTimer* timer_;
};

}  // namespace vrel::ui
