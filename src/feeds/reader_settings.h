// The reader's settings, every one in one place: its name in the store, its
// type, its default and its range. The engine, the tray program and vrel-cli
// all read and write them through ReaderSettings; only the store behind it
// differs (QSettings in the tray program, the same INI file read without Qt
// in vrel-cli, memory in tests).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "feeds/outcome.h"
#include "feeds/settings_store.h"

namespace vrel {

inline constexpr int kMinNotificationSeconds = 1;
inline constexpr int kMaxNotificationSeconds = 300;
inline constexpr int kDefaultNotificationSeconds = 8;
// A saved window narrower or lower than this is ignored.
inline constexpr int kMinSavedWindowSide = 31;

int ClampNotificationSeconds(int seconds);

// The settings the reader keeps in memory.
struct NewsSettings {
  std::string dataFile;  // "DataFile"; empty when none is configured
  bool notification = true;  // "Notification": pop up the notification window
  int notificationSeconds = kDefaultNotificationSeconds;  // "NotificationSeconds", 1..300
  bool defaultBrowser = true;  // "DefaultBrowser": the desktop's browser, else x-www-browser
  bool exitOnClose = true;     // "ExitOnClose": closing the main dialog ends the program
  // "DesktopNotifications": news goes to the desktop's notification service
  // instead of the notification window.
  bool desktopNotifications = false;

  friend bool operator==(const NewsSettings&, const NewsSettings&) = default;
};

// A window rectangle in screen coordinates, right and bottom exclusive. All
// zero: no placement given; right equal to left: only the position is given.
struct WindowRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;

  bool IsNull() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
  bool IsPositionOnly() const { return right == left; }
  int32_t Width() const { return right - left; }
  int32_t Height() const { return bottom - top; }
  friend bool operator==(const WindowRect&, const WindowRect&) = default;
};

// The saved placements of the three windows ("MainWindow", "NotifyWindow",
// "ViewerWindow"); a window without a usable saved value has none.
struct WindowPlacements {
  std::optional<WindowRect> main;
  bool mainMaximised = false;
  std::optional<WindowRect> notify;
  std::optional<WindowRect> viewer;
};

class ReaderSettings {
 public:
  explicit ReaderSettings(SettingsStore& store) : store_(store) {}

  // "DesktopNotifications" when the store has none: the desktop decides it
  // (on where the notification window cannot be placed near the tray).
  void SetDesktopNotificationsDefault(bool on) { desktopNotificationsDefault_ = on; }

  // Every value, with its default where the store has none, the seconds
  // clamped to their range.
  NewsSettings Read() const;

  // Flags are written as 1 or 0, the seconds clamped. Each reports a value
  // the store could not write.
  Outcome SetDataFile(const std::string& path);
  Outcome SetNotification(bool on);
  Outcome SetNotificationSeconds(int seconds);
  Outcome SetDefaultBrowser(bool on);
  Outcome SetExitOnClose(bool on);
  Outcome SetDesktopNotifications(bool on);
  // Writes each value of wanted that differs from current; the first value
  // that could not be written ends it. The data file is not among them: it
  // changes only through NewsEngine::ChangeDataFile.
  Outcome WriteChanges(const NewsSettings& current, const NewsSettings& wanted);

  // A saved value is used only when all its numbers were read and it is at
  // least kMinSavedWindowSide wide and high.
  WindowPlacements ReadPlacements() const;
  // Writes "MainWindow" (unless mainNormal is empty: a minimised main
  // dialog keeps the previous value), "NotifyWindow" and "ViewerWindow".
  Outcome WritePlacements(const std::optional<WindowRect>& mainNormal, bool mainMaximised, const WindowRect& notify,
                          const WindowRect& viewer);

 private:
  SettingsStore& store_;
  bool desktopNotificationsDefault_ = false;
};

}  // namespace vrel
