#include "ui/news_dialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDBusConnection>
#include <QEventLoop>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>
#include <QStyle>
#include <QSystemTrayIcon>
#include <optional>

#include "edit/widget/text_edit.h"
#include "feeds/add_feed.h"
#include "markup/browser_launch.h"
#include "markup/feed_list_view.h"
#include "markup/requests.h"
#include "markup/widget/markup_view.h"
#include "ui/desktop_notices.h"
#include "ui/desktop_notifier.h"
#include "ui/notify_dlg.h"
#include "ui/thread_dlg.h"
#include "ui/tray_badge.h"
#include "ui/viewer_dlg.h"
#include "ui/window_placement.h"
#include "version.h"

namespace vrel::ui {

namespace {

constexpr int kFeedListMarginX = 4;
constexpr int kFeedListMarginY = 2;

QString Utf8(const std::string& text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

}  // namespace

// The engine's news reaches the windows here. Callers on other threads are
// passed over to the dialog's thread.
class NewsDialog::Observer : public NewsObserver {
 public:
  explicit Observer(NewsDialog& dialog) : dialog_(dialog) {}

  void FeedListChanged() override {
    QMetaObject::invokeMethod(&dialog_, [this] { dialog_.RequestFeedListRebuild(); });
  }
  void StatusLineChanged(const std::string& text) override {
    QMetaObject::invokeMethod(&dialog_, [this, text] { dialog_.statusLine_->SetText(text, true); });
  }
  bool ScreenSaverShowing() override { return dialog_.screenSaverRunning_; }
  // Desktop notifications, when on, take the notification window's place.
  void NotifyFeed(const XmlDoc& request) override {
    if (!dialog_.engine_->Settings().desktopNotifications) return dialog_.notify_->PostDoc(request, TDM_SHOW);
    const int feedId = LeadingInt(request.GetAttribute("feedid"));
    QMetaObject::invokeMethod(&dialog_, [this, feedId] {
      if (dialog_.desktopNotices_) dialog_.desktopNotices_->FeedBroughtNews(feedId);
    });
  }
  void DataFileReplaced() override {
    XmlDoc clear;
    clear.AddElement("CMD", "CLEAR");
    dialog_.notify_->PostDoc(clear, TDM_CLEAR);
    QMetaObject::invokeMethod(&dialog_, [this] {
      if (dialog_.desktopNotices_) dialog_.desktopNotices_->Clear();
    });
  }
  void ShowView(const XmlDoc& request) override { dialog_.PostViewRequest(request); }
  void LinkQueued() override {
    QMetaObject::invokeMethod(&dialog_, [this] { dialog_.links_->OpenNextLink(); }, Qt::QueuedConnection);
  }

 private:
  NewsDialog& dialog_;
};

NewsDialog::NewsDialog(SettingsStore& store, DownloadSource* downloads, QWidget* parent)
    : QDialog(parent),
      settings_(store),
      observer_(std::make_unique<Observer>(*this)),
      engine_(std::make_unique<NewsEngine>(store, NewsEngine::Clock{}, downloads)),
      launcher_(std::make_unique<BrowserLauncher>()),
      links_(std::make_unique<LinkHandler>(*engine_, *launcher_)),
      viewer_(std::make_unique<CThreadDlgOwner>()),
      notify_(std::make_unique<CThreadDlgOwner>()),
      saver_(std::make_unique<CThreadDlgOwner>()),
      preview_(std::make_unique<CThreadDlgOwner>()) {
  engine_->SetObserver(observer_.get());
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                 Qt::WindowCloseButtonHint);
  CreateControls();
  setWindowTitle(WindowTitle(kVersionString));
  if (windowIcon().isNull()) setWindowIcon(style()->standardIcon(QStyle::SP_ComputerIcon));
  timer_.setInterval(kTickMilliseconds);
  connect(&timer_, &QTimer::timeout, this, &NewsDialog::OnTimer);
  rebuildTimer_.setSingleShot(true);
  rebuildTimer_.setTimerType(Qt::PreciseTimer);
  connect(&rebuildTimer_, &QTimer::timeout, this, &NewsDialog::RebuildWhenOwed);
}

NewsDialog::~NewsDialog() {
  engine_->DownloadScheduler().SetWakeUp({});
  if (initialised_) {
    StopThreadWindows();
    SaveState();
  }
  engine_->SetObserver(nullptr);
}

void NewsDialog::CreateControls() {
  addButton_ = new QPushButton("Add", this);
  addButton_->setDefault(true);
  addButton_->resize(addButton_->sizeHint());
  menuButton_ = new QPushButton("Menu", this);
  menuButton_->setAutoDefault(false);
  menuButton_->resize(menuButton_->sizeHint());
  address_ = new edit::TextEdit(edit::TextEdit::Form::kSingleLine, this);
  address_->setFont(font());
  statusLine_ = new markup::MarkupView(this);
  feedList_ = new markup::MarkupView(this);
  feedList_->SetBackgroundColor(QColor(255, 255, 255));
  feedList_->SetMargins(kFeedListMarginX, kFeedListMarginY);
  feedList_->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  // Screen readers name the controls that carry no text of their own.
  address_->setAccessibleName("Feed address");
  statusLine_->setAccessibleName("Status");
  feedList_->setAccessibleName("Feeds");
  // Tab follows the eye: the box, its buttons, the status line, the list.
  setTabOrder(address_, addButton_);
  setTabOrder(addButton_, menuButton_);
  setTabOrder(menuButton_, statusLine_);
  setTabOrder(statusLine_, feedList_);

  connect(addButton_, &QPushButton::clicked, this, &NewsDialog::OnAdd);
  connect(menuButton_, &QPushButton::clicked, this, &NewsDialog::ShowMainMenu);
  connect(address_, &edit::TextEdit::contextMenuRequested, this, &NewsDialog::ShowEditMenu);
  connect(feedList_, &markup::MarkupView::linkClicked, this, [this](const QString& markup) {
    LoadCurrentLink(markup);
    OnLinkClicked(currentLink_);
  });
  connect(feedList_, &markup::MarkupView::linkRightClicked, this, &NewsDialog::ShowFeedMenu);
  // "error", "no items", "Copied": the status line's links open the status messages.
  connect(statusLine_, &markup::MarkupView::linkClicked, this,
          [this](const QString& markup) { OnLinkClicked(LinkDocument(markup.toStdString())); });
  // The dialog's keys come first, wherever the focus is.
  for (QWidget* control : {static_cast<QWidget*>(address_), static_cast<QWidget*>(statusLine_),
                           static_cast<QWidget*>(feedList_), static_cast<QWidget*>(addButton_),
                           static_cast<QWidget*>(menuButton_)})
    control->installEventFilter(this);
}

void NewsDialog::SetStartFlags(const StartFlags& flags) {
  flags_ = flags;
  hidden_ = flags.hiddenStart;
  std::lock_guard lock(requestMutex_);
  saverRequest_ = flags.saverRequest;
}

void NewsDialog::Initialise() {
  if (initialised_) return;
  initialised_ = true;

  const WindowRects rects = PlaceWindows(settings_.ReadPlacements(), ScreenWorkAreas());
  setGeometry(rects.main);
  if (rects.mainMaximised) setWindowState(windowState() | Qt::WindowMaximized);
  viewer_->SetRect(ToWindowRect(rects.viewer));
  notify_->SetRect(ToWindowRect(rects.notify));
  StartThreadWindows();

  engine_->SetStatusLine("Ready");
  // Wayland lets no window place itself near the tray.
  engine_->SetDesktopNotificationsDefault(QGuiApplication::platformName().startsWith("wayland"));
  engine_->Start();
  RebuildFeedList();

  // A finished transfer is merged at once, not on the next tick.
  engine_->DownloadScheduler().SetWakeUp(
      [this] { PostPollDownloads(); });
  timer_.start();
  CreateTrayIcon();
  CreateDesktopNotices();
  LayOut();
  address_->setFocus();
  if (flags_.startScreenSaver) PostStartScreenSaver(flags_.previewHandle);
}

int NewsDialog::Run() {
  Initialise();
  // The dialog hides in the tray; only Exit ends the program.
  QApplication::setQuitOnLastWindowClosed(false);
  if (!hidden_) {
    show();
    raise();
    activateWindow();
  }
  QEventLoop loop;
  connect(this, &QDialog::finished, &loop, &QEventLoop::quit);
  loop.exec();
  return result();
}

void NewsDialog::StartThreadWindows() {
  viewer_->Start(
      [this](CThreadDlgOwner& owner) -> CThreadDlg* { return new CViewerDlg(owner, *engine_, *links_); });
  notify_->Start([this](CThreadDlgOwner& owner) -> CThreadDlg* {
    return new CNotifyDlg(owner, *engine_, *links_, *viewer_);
  });
  if (saverWindows_) {
    saver_->Start(saverWindows_);
    preview_->Start(saverWindows_);
  }
}

void NewsDialog::StopThreadWindows() {
  notify_->Stop();
  viewer_->Stop();
  saver_->Stop();
  preview_->Stop();
}

// What lasts beyond the run: the feeds, then the window placements.
void NewsDialog::SaveState() {
  timer_.stop();
  if (const Outcome saved = engine_->Save(); !saved)
    qWarning("vrel: the feeds could not be saved: %s", saved.Message().c_str());
  std::optional<WindowRect> mainNormal;
  if (!isMinimized()) mainNormal = ToWindowRect(isMaximized() ? normalGeometry() : geometry());
  if (const Outcome saved = settings_.WritePlacements(mainNormal, isMaximized(), notify_->Rect(), viewer_->Rect()); !saved)
    qWarning("vrel: the window positions could not be saved: %s", saved.Message().c_str());
  delete tray_;
  tray_ = nullptr;
}

void NewsDialog::SetNoticeService(std::unique_ptr<NoticeService> service) { noticeService_ = std::move(service); }

void NewsDialog::CreateDesktopNotices() {
  if (!noticeService_) noticeService_ = std::make_unique<DesktopNotifier>(QDBusConnection::sessionBus(), tray_);
  desktopNotices_ = std::make_unique<DesktopNotices>(
      *engine_, *noticeService_, [this](int feedId) { PostViewRequest(std::to_string(feedId), "NewOnly"); });
}

bool NewsDialog::SystemTrayAvailable() const { return QSystemTrayIcon::isSystemTrayAvailable(); }

void NewsDialog::CreateTrayIcon() {
  trayMenu_ = BuildTrayMenu();
  tray_ = new QSystemTrayIcon(windowIcon(), this);
  ShowNewCountOnTray();
  tray_->setContextMenu(trayMenu_);
  connect(tray_, &QSystemTrayIcon::activated, this, &NewsDialog::OnTrayActivated);
  ShowTrayIconWhenPossible();
}

// A tray that appears after the start gets the icon then.
void NewsDialog::ShowTrayIconWhenPossible() {
  if (tray_ && !tray_->isVisible() && SystemTrayAvailable()) tray_->show();
}

// Trays that speak the StatusNotifierItem protocol deliver a single
// activation only, never a double click: either brings the dialog back.
void NewsDialog::OnTrayActivated(int reason) {
  if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger) ShowFromTray();
}

void NewsDialog::OnTimer() {
  if (engine_->DownloadScheduler().Tick()) PostPollDownloads();
  ShowTrayIconWhenPossible();
}

// One finished download per event, so that the windows paint between
// merges while many downloads finish together.
void NewsDialog::PollDownloads() {
  pollPosted_ = false;
  if (engine_->DownloadScheduler().Poll()) PostPollDownloads();
}

// Called on the download component's thread too; one poll waits at most.
void NewsDialog::PostPollDownloads() {
  if (!pollPosted_.exchange(true)) QMetaObject::invokeMethod(this, &NewsDialog::PollDownloads, Qt::QueuedConnection);
}

// While downloads finish one after another, the list is rebuilt at most
// every 250 ms, and once more after the last.
void NewsDialog::RequestFeedListRebuild() {
  if (rebuildThrottle_.Request(RefreshThrottle::Clock::now())) {
    RebuildFeedList();
  } else if (!rebuildTimer_.isActive()) {
    RebuildWhenOwed();
  }
}

// The owed rebuild, now if its time has come, else when it does (a timer
// may fire a little early).
void NewsDialog::RebuildWhenOwed() {
  const auto now = RefreshThrottle::Clock::now();
  if (rebuildThrottle_.TakeOwed(now)) {
    RebuildFeedList();
  } else if (const auto owed = rebuildThrottle_.OwedAt()) {
    rebuildTimer_.start(std::chrono::ceil<std::chrono::milliseconds>(*owed - now));
  }
}

void NewsDialog::RebuildFeedList() {
  const FeedList list = BuildFeedList(*engine_);
  feedList_->SetText(list.markup, false);
  newTotals_ = list.newTotals;
  ShowNewCountOnTray();
  LayOut();
}

// The icon is repainted only when its count changes; the tip always follows.
void NewsDialog::ShowNewCountOnTray() {
  if (!tray_) return;
  tray_->setToolTip(Utf8(TrayTip(newTotals_)));
  const std::string badge = NewCountBadge(newTotals_.items);
  if (badge == trayBadge_) return;
  trayBadge_ = badge;
  tray_->setIcon(BadgedIcon(windowIcon(), Utf8(badge)));
}

void NewsDialog::LayOut() {
  const int textHeight = QFontMetrics(address_->font()).size(Qt::TextSingleLine, "Jj").height();
  const MainLayout layout = LayOutMainDialog(size(), addButton_->size(), menuButton_->size(), textHeight);
  addButton_->setGeometry(layout.add);
  menuButton_->setGeometry(layout.menu);
  address_->setGeometry(layout.address);
  statusLine_->setGeometry(layout.status);
  feedList_->setGeometry(layout.feeds);
  update();
}

void NewsDialog::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  LayOut();
}

void NewsDialog::setVisible(bool visible) {
  // A hidden start keeps the dialog out of sight until "News Dialog".
  if (visible && hidden_) return;
  QDialog::setVisible(visible);
}

void NewsDialog::ShowFromTray() {
  hidden_ = false;
  setWindowState(windowState() & ~Qt::WindowMinimized);
  show();
  raise();
  activateWindow();
}


// Without a tray a hidden dialog could not be found again, so it is only
// minimised there.
void NewsDialog::HideToTray() {
  if (SystemTrayAvailable()) {
    hide();
  } else {
    showMinimized();
  }
}

bool NewsDialog::ExitsOnClose() const { return engine_->Settings().exitOnClose; }

void NewsDialog::closeEvent(QCloseEvent* event) {
  if (!exiting_) {
    const bool finished = FinishRequest(kSaverConfigure);
    if (finished || !ExitsOnClose()) {
      event->ignore();
      HideToTray();
      return;
    }
  }
  event->accept();
  EndProgram(QDialog::Rejected);
}

void NewsDialog::reject() {
  const bool finished = !exiting_ && FinishRequest(kSaverConfigure);
  if (exiting_ || (!finished && ExitsOnClose())) {
    EndProgram(QDialog::Rejected);
  } else {
    HideToTray();
  }
}

void NewsDialog::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange || !isMinimized() || !isVisible()) return;
  FinishRequest(kSaverConfigure);
  if (!SystemTrayAvailable()) return;
  // Minimising leaves no task bar entry: the dialog goes to the tray, and
  // comes back from there as it was before.
  // The window is withdrawn as a normal one: a window manager that is
  // asked to withdraw an iconified window may leave its empty frame on the
  // screen.
  QMetaObject::invokeMethod(
      this,
      [this] {
        setWindowState(windowState() & ~Qt::WindowMinimized);
        hide();
      },
      Qt::QueuedConnection);
}

void NewsDialog::ExitProgram() {
  exiting_ = true;
  EndProgram(QDialog::Accepted);
}

void NewsDialog::EndProgram(int result) {
  Shutdown();
  done(result);
}

void NewsDialog::Shutdown() {
  FinishRequest(kSaverRun | kSaverConfigure);
  StopThreadWindows();
}

bool NewsDialog::HandleDialogKey(const QKeyEvent& key) {
  const Qt::KeyboardModifiers modifiers = key.modifiers();
  switch (key.key()) {
    case Qt::Key_F7:
      RunCommand(modifiers & Qt::ShiftModifier ? kCmdMarkAllAsRead : kCmdShowNew);
      return true;
    case Qt::Key_F:
      if (!(modifiers & Qt::ControlModifier)) return false;
      RunCommand(kCmdFind);
      return true;
    case Qt::Key_V:
      if (!(modifiers & Qt::ControlModifier)) return false;
      address_->Paste();
      return true;
    case Qt::Key_Insert:
      if (!(modifiers & Qt::ShiftModifier)) return false;
      address_->Paste();
      return true;
    default:
      return false;
  }
}

void NewsDialog::keyPressEvent(QKeyEvent* event) {
  if (!HandleDialogKey(*event)) QDialog::keyPressEvent(event);
}

bool NewsDialog::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && HandleDialogKey(*static_cast<QKeyEvent*>(event))) return true;
  return QDialog::eventFilter(watched, event);
}

void NewsDialog::OnAdd() {
  const std::string text = address_->Text();
  address_->SetText({});
  // What happened shows in the status line; text without an address does nothing.
  [[maybe_unused]] const Outcome added = AddFeedInput(*engine_, text);
}

void NewsDialog::LoadCurrentLink(const QString& markup) { currentLink_ = LinkDocument(markup.toStdString()); }

void NewsDialog::OnLinkClicked(const XmlDoc& link) { links_->OnLinkClicked(link); }

void NewsDialog::PostViewRequest(const std::string& feedId, const std::string& type) {
  PostViewRequest(MakeRequest(feedId, type));
}

void NewsDialog::PostViewRequest(const XmlDoc& request) {
  viewer_->PostDoc(request, TDM_SHOW);
  emit viewRequested(Utf8(request.GetDocumentText()));
}

// The request lock guards SaverRequest and the waiting wait dialog; the
// screen saver reports its end on its own path, the hand-over comes on
// another.
void NewsDialog::OnInterProcessRequest(char mode, qint64 handle) {
  switch (mode) {
    case 'S':
    case 'C': {
      std::lock_guard lock(requestMutex_);
      saverRequest_ = mode == 'S' ? kSaverRun : kSaverConfigure;
      return;
    }
    case 'N': {
      int request = 0;
      {
        std::lock_guard lock(requestMutex_);
        if (waitDialog_ != 0) emit releaseWaitDialog(waitDialog_);
        waitDialog_ = handle;
        request = saverRequest_;
      }
      if (request == kSaverRun) PostStartScreenSaver(0);
      if (request == kSaverConfigure) ShowFromTray();
      return;
    }
    case 'P':
      PostStartScreenSaver(handle);
      return;
    default:
      ShowFromTray();
  }
}

bool NewsDialog::FinishRequest(int bits) {
  std::lock_guard lock(requestMutex_);
  if ((bits & saverRequest_) == 0) return false;
  if (waitDialog_ != 0) {
    emit releaseWaitDialog(waitDialog_);
    waitDialog_ = 0;
  }
  if (bits & saverRequest_ & kSaverEndApplication) {
    exiting_ = true;
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
  }
  saverRequest_ = 0;
  return true;
}

int NewsDialog::SaverRequest() {
  std::lock_guard lock(requestMutex_);
  return saverRequest_;
}

void NewsDialog::OnScreenSaverEnded(const std::string& feedId) {
  screenSaverRunning_ = false;
  if (feedId.empty()) {
    FinishRequest(kSaverRun | kSaverEndApplication);
    return;
  }
  FinishRequest(kSaverRun);
  PostViewRequest(feedId, "Summary");
}

void NewsDialog::PostStartScreenSaver(qint64 previewHandle) {
  QMetaObject::invokeMethod(
      this, [this, previewHandle] { StartScreenSaver(previewHandle); }, Qt::QueuedConnection);
}

// A preview starts on every request; the full-screen saver only once.
void NewsDialog::StartScreenSaver(qint64 previewHandle) {
  if (previewHandle == 0) {
    if (screenSaverRunning_) return;
    screenSaverRunning_ = true;
  }
  XmlDoc request;
  request.AddElement("S");
  if (previewHandle != 0) request.SetAttribute("hwnd", std::to_string(previewHandle));
  (previewHandle != 0 ? preview_ : saver_)->PostDoc(request, TDM_SHOW);
}

}  // namespace vrel::ui
