// NewsDialog: the reader's main window. It holds the NewsEngine, the address
// box, the status line and the feed list, the tray icon, the menus, the
// 500 ms timer that drives the download scheduler, and the hosts of the
// viewer, notification and screen saver windows. The application object
// sets the start flags, forwards hand-over requests of later instances and
// runs the dialog until "Exit".
#pragma once

#include <QDialog>
#include <QRect>
#include <QString>
#include <QTimer>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "feeds/news_engine.h"
#include "feeds/reader_settings.h"
#include "markup/feed_list_view.h"
#include "ui/refresh_throttle.h"
#include "ui/thread_dlg.h"
#include "xml/xml_doc.h"

class QMenu;
class QPushButton;
class QSystemTrayIcon;

namespace vrel {
class BrowserLauncher;
class DownloadSource;
class LinkHandler;
namespace ui {
class DesktopNotices;
class NoticeService;
}  // namespace ui
namespace edit {
class TextEdit;
}
namespace markup {
class MarkupView;
}
}  // namespace vrel

namespace vrel::ui {

// SaverRequest bits.
enum SaverRequestBit : int { kSaverRun = 1, kSaverConfigure = 2, kSaverEndApplication = 4 };

// Command identifiers shared by the menus.
enum NewsCommand : int {
  kCmdNewsDialog = 32775,
  kCmdTrayShowNew = 32780,
  kCmdResetWindowPositions = 32776,
  kCmdExit = 32781,
  kCmdShowNew = 32785,
  kCmdMarkAllAsRead = 32790,
  kCmdShowScreenSaver = 32786,
  kCmdSettings = 32787,
  kCmdFind = 32788,
  kCmdUpdateAll = 32791,
  kCmdStatusMessages = 32789,
  kCmdImportFeeds = 32792,
  kCmdExportFeeds = 32793,
  kCmdFeedDelete = 32771,
  kCmdFeedView = 32772,
  kCmdFeedModify = 32773,
  kCmdFeedUpdateNow = 32774,
  kCmdFeedViewBrief = 32778,
  kCmdFeedViewNew = 32782,
  kCmdFeedViewBriefNew = 32783,
  kCmdFeedMarkAsRead = 32784,
  kCmdFolderMarkAllAsRead = 32794,
  kCmdFolderUpdateNow = 32795,
  kCmdAbout = 16,
  kCmdCut = 57635,
  kCmdCopy = 57634,
  kCmdPaste = 57637,
};

// "brackenfold News Reader " and the version shown: "1,2,1,7" gives
// "1.2.1 Beta", "1,2,0,5" gives "1.2".
QString VersionShown(const QString& versionString);
QString WindowTitle(const QString& versionString);

// Where the controls go for a client area of the given size.
struct MainLayout {
  QRect add, menu, address, status, feeds;
};
// addSize and menuSize: the buttons' sizes; textHeight: the height of "Jj"
// in the address box's font.
MainLayout LayOutMainDialog(const QSize& client, const QSize& addSize, const QSize& menuSize,
                            int textHeight);

// The feed context menu for the link last right-clicked in the feed list;
// a folder's heading gets the folder's menu.
struct FeedMenuEntry {
  int command = 0;  // 0 for a separator
  QString text;
  bool enabled = true;
};
struct FeedMenuModel {
  std::vector<FeedMenuEntry> entries;  // empty: no menu for this link
  int defaultCommand = 0;
};
FeedMenuModel BuildFeedMenu(const XmlDoc& link);

// The feed context menu as a pop-up, its default item in bold.
std::unique_ptr<QMenu> MakeFeedMenu(const FeedMenuModel& model, QWidget* parent);

class NewsDialog : public QDialog {
  Q_OBJECT

 public:
  struct StartFlags {
    bool hiddenStart = false;
    bool startScreenSaver = false;
    qint64 previewHandle = 0;
    int saverRequest = 0;  // SaverRequestBit values
  };

  // store: where the settings and window placements live; the engine reads
  // its settings from it too. downloads: null for the network.
  explicit NewsDialog(SettingsStore& store, DownloadSource* downloads = nullptr,
                      QWidget* parent = nullptr);
  // Stops the timer, saves the feeds and the window placements, removes
  // the tray icon.
  ~NewsDialog() override;

  // Before Run.
  void SetStartFlags(const StartFlags& flags);
  // Before Run: what makes the full-screen and the preview screen saver
  // windows. Without it the dialog shows no screen saver.
  void SetScreenSaverWindows(ThreadDlgFactory makeSaver) { saverWindows_ = std::move(makeSaver); }
  // Before Run: where desktop notifications go. Without it they go to the
  // session bus's notification service, else to the tray icon.
  void SetNoticeService(std::unique_ptr<NoticeService> service);

  // Initialises (settings, data file, window hosts, timer, tray) and runs
  // until "Exit" or a close that exits; returns the dialog's result. The
  // dialog may be hidden in the tray meanwhile, which a modal exec() would
  // take for its end, so Run keeps an event loop of its own.
  int Run();
  // The initialisation of Run alone, for callers with their own loop.
  void Initialise();

  NewsEngine& Engine() { return *engine_; }

  // Finishes the screen saver request when it shares a bit with bits; true
  // when it did.
  bool FinishRequest(int bits);
  int SaverRequest();
  // The full-screen saver closed; feedId is what the user picked there.
  void OnScreenSaverEnded(const std::string& feedId);

  // Links clicked in any window.
  void OnLinkClicked(const XmlDoc& link);
  // Sends a "NURL" request to the viewer window.
  void PostViewRequest(const std::string& feedId, const std::string& type);
  void PostViewRequest(const XmlDoc& request);

  // The popup of the "Menu" button, built afresh for each use.
  std::unique_ptr<QMenu> BuildMainMenu();
  // Runs a menu command by its identifier.
  void RunCommand(int command);

  bool IsExiting() const { return exiting_; }

 public slots:
  // A later start handed its request over: mode is its mode character ('S',
  // 'C', 'P', 'N' from a wait dialog, anything else for a plain start),
  // handle the preview window or the wait dialog.
  void OnInterProcessRequest(char mode, qint64 handle);
  // "News Dialog", the tray icon and a later start: shows the dialog,
  // minimised, hidden or covered, in front and active.
  void ShowFromTray();
  // "Exit": shuts down and ends the dialog.
  void ExitProgram();

 signals:
  // A waiting wait dialog of another instance may end.
  void releaseWaitDialog(qint64 handle);
  // "Settings" was chosen; the application runs its Settings dialog.
  void settingsRequested();
  // Every view request on its way to the viewer, as document text.
  void viewRequested(const QString& request);

 protected:
  // Tests replace this to play a desktop with or without a tray.
  virtual bool SystemTrayAvailable() const;

  void setVisible(bool visible) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void reject() override;

 private:
  void CreateControls();
  void CreateTrayIcon();
  void CreateDesktopNotices();
  void ShowTrayIconWhenPossible();
  void OnTrayActivated(int reason);
  QMenu* BuildTrayMenu();
  void StartThreadWindows();
  void StopThreadWindows();
  void SaveState();
  void LayOut();
  void RequestFeedListRebuild();
  void RebuildWhenOwed();
  void RebuildFeedList();
  void ShowNewCountOnTray();
  void OnTimer();
  void PollDownloads();
  void PostPollDownloads();
  bool HandleDialogKey(const QKeyEvent& key);
  void OnAdd();
  void LoadCurrentLink(const QString& markup);
  void ShowMainMenu();
  void ShowFeedMenu(const QString& linkMarkup);
  void ShowEditMenu(const QPoint& globalPos);
  void RunFeedCommand(int command);
  void Find();
  void ResetWindowPositions();
  void ImportFeeds();
  void ExportFeeds();
  void PostStartScreenSaver(qint64 previewHandle);
  void StartScreenSaver(qint64 previewHandle);
  void HideToTray();
  bool ExitsOnClose() const;
  void EndProgram(int result);
  void Shutdown();

  class Observer;
  ReaderSettings settings_;
  std::unique_ptr<Observer> observer_;
  std::unique_ptr<NewsEngine> engine_;
  std::unique_ptr<BrowserLauncher> launcher_;
  std::unique_ptr<LinkHandler> links_;

  QPushButton* addButton_ = nullptr;
  QPushButton* menuButton_ = nullptr;
  edit::TextEdit* address_ = nullptr;
  markup::MarkupView* statusLine_ = nullptr;
  markup::MarkupView* feedList_ = nullptr;
  QSystemTrayIcon* tray_ = nullptr;
  QMenu* trayMenu_ = nullptr;
  NewItemTotals newTotals_;
  std::string trayBadge_;
  QTimer timer_;
  std::atomic<bool> pollPosted_{false};
  QTimer rebuildTimer_;
  RefreshThrottle rebuildThrottle_{std::chrono::milliseconds(250)};

  // The hosted windows live as long as the engine they show.
  std::unique_ptr<CThreadDlgOwner> viewer_, notify_, saver_, preview_;
  std::unique_ptr<NoticeService> noticeService_;
  std::unique_ptr<DesktopNotices> desktopNotices_;  // made with the tray icon
  ThreadDlgFactory saverWindows_;

  XmlDoc currentLink_;  // the link last clicked in the feed list
  StartFlags flags_;
  bool initialised_ = false;
  bool hidden_ = false;  // while set the dialog cannot appear
  bool exiting_ = false;
  bool screenSaverRunning_ = false;

  // The request lock: SaverRequest and the wait dialog waiting on it.
  std::mutex requestMutex_;
  int saverRequest_ = 0;
  qint64 waitDialog_ = 0;
};

}  // namespace vrel::ui
