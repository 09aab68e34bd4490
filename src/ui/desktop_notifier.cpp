#include "ui/desktop_notifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QTimer>
#include <QVariantMap>

namespace vrel::ui {

namespace {

constexpr char kService[] = "org.freedesktop.Notifications";
constexpr char kPath[] = "/org/freedesktop/Notifications";
constexpr char kInterface[] = "org.freedesktop.Notifications";
constexpr char kAppName[] = "brackenfold News Reader";
constexpr char kIconName[] = "vrel";  // the desktop entry's icon
constexpr char kDefaultAction[] = "default";
constexpr int kServerChoosesTimeout = -1;
constexpr int kTrayMessageMilliseconds = 10'000;
// Tray message ids count down from here, so they never meet the service's.
constexpr uint32_t kFirstTrayId = 0xFFFF'0000u;

QString Utf8(const std::string& text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

}  // namespace

DesktopNotifier::DesktopNotifier(QDBusConnection bus, QSystemTrayIcon* tray, QObject* parent)
    : QObject(parent), bus_(std::move(bus)), tray_(tray), lastTrayId_(kFirstTrayId) {
  bus_.connect(kService, kPath, kInterface, "ActionInvoked", this, SLOT(OnActionInvoked(uint, QString)));
  bus_.connect(kService, kPath, kInterface, "NotificationClosed", this, SLOT(OnNotificationClosed(uint, uint)));
  if (tray_)
    connect(tray_, &QSystemTrayIcon::messageClicked, this, [this] {
      if (trayMessage_ == 0) return;
      const uint32_t id = trayMessage_;
      if (listener_) listener_->NoticeActivated(id);
      TrayMessageGone(id);
    });
}

// The body is sent as mark-up only to a service that reads it so, which
// first has to be asked; nothing here waits for the bus.
void DesktopNotifier::Post(const NewsNotice& notice, uint32_t replacesId) {
  if (!bus_.isConnected()) return ShowOnTray(notice);
  if (bodyMarkup_) return Notify(notice, replacesId);
  const QDBusMessage ask = QDBusMessage::createMethodCall(kService, kPath, kInterface, "GetCapabilities");
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(ask), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, notice, replacesId] {
    watcher->deleteLater();
    const QDBusPendingReply<QStringList> reply = *watcher;
    if (reply.isError()) return ShowOnTray(notice);
    bodyMarkup_ = reply.value().contains("body-markup");
    Notify(notice, replacesId);
  });
}

void DesktopNotifier::Notify(const NewsNotice& notice, uint32_t replacesId) {
  const QString body = *bodyMarkup_ ? Utf8(notice.body).toHtmlEscaped() : Utf8(notice.body);
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, "Notify");
  call << QString(kAppName) << uint(replacesId) << QString(kIconName) << Utf8(notice.summary) << body
       << QStringList{kDefaultAction, "View New"} << QVariantMap{{"desktop-entry", QString("vrel")}}
       << int(kServerChoosesTimeout);
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, notice] {
    watcher->deleteLater();
    const QDBusPendingReply<uint> reply = *watcher;
    if (reply.isError()) {
      bodyMarkup_.reset();
      return ShowOnTray(notice);
    }
    if (listener_) listener_->NoticePosted(reply.value());
  });
}

// The tray's message has no id and replaces the one before; it counts as
// closed once clicked or when its time is up.
void DesktopNotifier::ShowOnTray(const NewsNotice& notice) {
  if (!tray_ || !tray_->isVisible()) return;
  tray_->showMessage(Utf8(notice.summary), Utf8(notice.body), QSystemTrayIcon::Information,
                     kTrayMessageMilliseconds);
  const uint32_t id = --lastTrayId_;
  trayMessage_ = id;
  if (listener_) listener_->NoticePosted(id);
  QTimer::singleShot(kTrayMessageMilliseconds, this, [this, id] { TrayMessageGone(id); });
}

void DesktopNotifier::TrayMessageGone(uint32_t id) {
  if (id != trayMessage_) return;
  trayMessage_ = 0;
  if (listener_) listener_->NoticeClosed(id);
}

void DesktopNotifier::OnActionInvoked(uint id, const QString& action) {
  if (action == kDefaultAction && listener_) listener_->NoticeActivated(id);
}

void DesktopNotifier::OnNotificationClosed(uint id, uint /*reason*/) {
  if (listener_) listener_->NoticeClosed(id);
}

}  // namespace vrel::ui
