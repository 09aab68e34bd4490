// The desktop's notifications: the freedesktop notification service
// (org.freedesktop.Notifications) on a D-Bus connection, and the tray
// icon's message where no such service answers.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>
#include <optional>

#include "ui/news_notice.h"

namespace vrel::ui {

class DesktopNotifier : public QObject, public NoticeService {
  Q_OBJECT

 public:
  // bus: where the service is looked for (the session bus); tray: the
  // fallback, or null for none.
  DesktopNotifier(QDBusConnection bus, QSystemTrayIcon* tray, QObject* parent = nullptr);

  void Post(const NewsNotice& notice, uint32_t replacesId) override;

 private slots:
  void OnActionInvoked(uint id, const QString& action);
  void OnNotificationClosed(uint id, uint reason);

 private:
  void Notify(const NewsNotice& notice, uint32_t replacesId);
  void ShowOnTray(const NewsNotice& notice);
  void TrayMessageGone(uint32_t id);

  QDBusConnection bus_;
  QPointer<QSystemTrayIcon> tray_;
  // Whether the service reads the body as mark-up; unknown until asked,
  // and asked again once the service stopped answering.
  std::optional<bool> bodyMarkup_;
  uint32_t trayMessage_ = 0;  // the tray's message up now; 0 for none
  uint32_t lastTrayId_ = 0;
};

}  // namespace vrel::ui
