#include "feeds/reader_settings.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace vrel {

namespace {

constexpr char kDataFile[] = "DataFile";
constexpr char kNotification[] = "Notification";
constexpr char kNotificationSeconds[] = "NotificationSeconds";
constexpr char kDefaultBrowser[] = "DefaultBrowser";
constexpr char kExitOnClose[] = "ExitOnClose";
constexpr char kDesktopNotifications[] = "DesktopNotifications";
constexpr char kMainWindow[] = "MainWindow";
constexpr char kNotifyWindow[] = "NotifyWindow";
constexpr char kViewerWindow[] = "ViewerWindow";

std::string RectText(const WindowRect& rect) {
  return std::to_string(rect.left) + ',' + std::to_string(rect.top) + ',' + std::to_string(rect.right) + ',' +
         std::to_string(rect.bottom);
}

// Reads count comma-separated integers as "%d,%d,..." would, but refuses
// numbers outside the int range instead of leaving that undefined.
bool ReadNumbers(const std::string& text, int count, int* numbers) {
  const char* at = text.c_str();
  for (int i = 0; i < count; ++i) {
    if (i > 0 && *at++ != ',') return false;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(at, &end, 10);
    if (end == at || errno == ERANGE || value < INT_MIN || value > INT_MAX) return false;
    numbers[i] = static_cast<int>(value);
    at = end;
  }
  return true;
}

// A saved rectangle when all its numbers (four, or five with the maximised
// flag) were read and it is large enough; the fifth only when asked for.
std::optional<WindowRect> ParseSavedRect(const std::optional<std::string>& text, int* maximised = nullptr) {
  int numbers[5] = {};
  if (!text || !ReadNumbers(*text, maximised ? 5 : 4, numbers)) return std::nullopt;
  const auto [left, top, right, bottom, flag] = numbers;
  // Computed wide, so that edges near the int limits cannot overflow.
  const long long width = static_cast<long long>(right) - left;
  const long long height = static_cast<long long>(bottom) - top;
  if (width < kMinSavedWindowSide || height < kMinSavedWindowSide || width > INT_MAX || height > INT_MAX)
    return std::nullopt;
  if (maximised) *maximised = flag;
  return WindowRect{left, top, right, bottom};
}

}  // namespace

int ClampNotificationSeconds(int seconds) {
  return std::clamp(seconds, kMinNotificationSeconds, kMaxNotificationSeconds);
}

NewsSettings ReaderSettings::Read() const {
  NewsSettings settings;
  settings.dataFile = store_.GetString(kDataFile);
  settings.notification = store_.GetInt(kNotification, 1) != 0;
  settings.notificationSeconds =
      ClampNotificationSeconds(store_.GetInt(kNotificationSeconds, kDefaultNotificationSeconds));
  settings.defaultBrowser = store_.GetInt(kDefaultBrowser, 1) != 0;
  settings.exitOnClose = store_.GetInt(kExitOnClose, 1) != 0;
  settings.desktopNotifications = store_.GetInt(kDesktopNotifications, desktopNotificationsDefault_ ? 1 : 0) != 0;
  return settings;
}

Outcome ReaderSettings::SetDataFile(const std::string& path) { return store_.SetString(kDataFile, path); }
Outcome ReaderSettings::SetNotification(bool on) { return store_.SetInt(kNotification, on ? 1 : 0); }
Outcome ReaderSettings::SetNotificationSeconds(int seconds) {
  return store_.SetInt(kNotificationSeconds, ClampNotificationSeconds(seconds));
}
Outcome ReaderSettings::SetDefaultBrowser(bool on) { return store_.SetInt(kDefaultBrowser, on ? 1 : 0); }
Outcome ReaderSettings::SetExitOnClose(bool on) { return store_.SetInt(kExitOnClose, on ? 1 : 0); }
Outcome ReaderSettings::SetDesktopNotifications(bool on) { return store_.SetInt(kDesktopNotifications, on ? 1 : 0); }

Outcome ReaderSettings::WriteChanges(const NewsSettings& current, const NewsSettings& wanted) {
  Outcome outcome = Outcome::Success();
  const auto writeIf = [&outcome](bool changed, const auto& write) {
    if (outcome && changed) outcome = write();
  };
  writeIf(wanted.defaultBrowser != current.defaultBrowser, [&] { return SetDefaultBrowser(wanted.defaultBrowser); });
  writeIf(wanted.exitOnClose != current.exitOnClose, [&] { return SetExitOnClose(wanted.exitOnClose); });
  writeIf(wanted.notification != current.notification, [&] { return SetNotification(wanted.notification); });
  writeIf(wanted.desktopNotifications != current.desktopNotifications,
          [&] { return SetDesktopNotifications(wanted.desktopNotifications); });
  writeIf(ClampNotificationSeconds(wanted.notificationSeconds) != current.notificationSeconds,
          [&] { return SetNotificationSeconds(wanted.notificationSeconds); });
  return outcome;
}

WindowPlacements ReaderSettings::ReadPlacements() const {
  WindowPlacements placements;
  int maximised = 0;
  placements.main = ParseSavedRect(store_.Read(kMainWindow), &maximised);
  placements.mainMaximised = placements.main && maximised == 1;
  placements.notify = ParseSavedRect(store_.Read(kNotifyWindow));
  placements.viewer = ParseSavedRect(store_.Read(kViewerWindow));
  return placements;
}

Outcome ReaderSettings::WritePlacements(const std::optional<WindowRect>& mainNormal, bool mainMaximised,
                                        const WindowRect& notify, const WindowRect& viewer) {
  Outcome outcome = Outcome::Success();
  if (mainNormal) outcome = store_.SetString(kMainWindow, RectText(*mainNormal) + (mainMaximised ? ",1" : ",0"));
  if (outcome) outcome = store_.SetString(kNotifyWindow, RectText(notify));
  if (outcome) outcome = store_.SetString(kViewerWindow, RectText(viewer));
  return outcome;
}

}  // namespace vrel
