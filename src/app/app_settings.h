// The reader's settings as the desktop program keeps them: QSettings
// ("Ostrivane Software", "vrel"), group "Settings". One QtSettingsStore is
// shared by the window code and the NewsEngine so the two never disagree.
// Window rectangles are kept as left, top, right, bottom with right and
// bottom exclusive; in Qt terms a QRect of width right - left.
#pragma once

#include <QRect>
#include <QSettings>
#include <QString>
#include <optional>
#include <string>

#include "feeds/settings_store.h"

namespace vrel::app {

inline constexpr char kCompanyName[] = "Ostrivane Software";
inline constexpr char kApplicationName[] = "vrel";
inline constexpr char kSettingsGroup[] = "Settings";

inline constexpr int kMinNotificationSeconds = 1;
inline constexpr int kMaxNotificationSeconds = 300;
inline constexpr int kDefaultNotificationSeconds = 8;
// A saved rectangle narrower or lower than this is ignored.
inline constexpr int kMinSavedRectSide = 31;

// Values in the "Settings" group, read and written as text through QSettings.
class QtSettingsStore : public SettingsStore {
 public:
  // The user's store: ~/.config/Ostrivane Software/vrel.conf.
  QtSettingsStore();
  // An INI file of one's own (tests).
  explicit QtSettingsStore(const QString& iniPath);

  std::optional<std::string> Read(const std::string& name) const override;
  bool Write(const std::string& name, const std::string& value) override;

 private:
  mutable QSettings settings_;
};

int ClampNotificationSeconds(int seconds);

// Typed access to every value of the "Settings" group with its default.
class AppSettings {
 public:
  explicit AppSettings(SettingsStore& store) : store_(store) {}

  std::string DataFile() const;
  int Notification() const;
  int NotificationSeconds() const;  // clamped to 1..300
  int DefaultBrowser() const;
  int ExitOnClose() const;

  // Flags are written as 1 or 0, the seconds clamped. The data file is
  // changed through the NewsEngine, which writes "DataFile" itself.
  void SetNotification(int on);
  void SetNotificationSeconds(int seconds);
  void SetDefaultBrowser(int on);
  void SetExitOnClose(int on);

 private:
  SettingsStore& store_;
};

// The three window placements: the main dialog's normal rectangle and
// whether it opens maximised, the notification window and the viewer.
struct WindowRects {
  QRect main;
  bool mainMaximised = false;
  QRect notify;
  QRect viewer;
};

// Work area of the primary screen (the screen without panels).
QRect PrimaryWorkArea();

// Default placements for a work area: main dialog centred 320 x 640,
// notification 320 x 80 near the bottom right, viewer right of the main dialog.
WindowRects DefaultWindowRects(const QRect& workArea);

// Saved placements laid over the defaults; a value is used only when all its
// numbers were read and it is at least 31 pixels wide and high.
WindowRects LoadWindowRects(const SettingsStore& store, const QRect& workArea);

// Writes "MainWindow" (unless mainNormal is empty: a minimised main dialog
// keeps the previous value), "NotifyWindow" and "ViewerWindow".
void SaveWindowRects(SettingsStore& store, const std::optional<QRect>& mainNormal, bool mainMaximised,
                     const QRect& notify, const QRect& viewer);

}  // namespace vrel::app
