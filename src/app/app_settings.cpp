#include "app/app_settings.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace vrel::app {

namespace {

QString GroupKey(const std::string& name) {
  return QString::fromLatin1(kSettingsGroup) + '/' + QString::fromStdString(name);
}

int Flag(int on) { return on ? 1 : 0; }

// Right and bottom as the saved strings hold them: one past the last pixel.
int RightEdge(const QRect& rect) { return rect.x() + rect.width(); }
int BottomEdge(const QRect& rect) { return rect.y() + rect.height(); }

QRect FromEdges(int left, int top, int right, int bottom) { return QRect(left, top, right - left, bottom - top); }

std::string RectText(const QRect& rect) {
  char text[80];
  std::snprintf(text, sizeof text, "%d,%d,%d,%d", rect.x(), rect.y(), RightEdge(rect), BottomEdge(rect));
  return text;
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
std::optional<QRect> ParseSavedRect(const std::optional<std::string>& text, int* maximised = nullptr) {
  int numbers[5] = {};
  if (!text || !ReadNumbers(*text, maximised ? 5 : 4, numbers)) return std::nullopt;
  const auto [left, top, right, bottom, flag] = numbers;
  // Computed wide, so that edges near the int limits cannot overflow.
  const long long width = static_cast<long long>(right) - left;
  const long long height = static_cast<long long>(bottom) - top;
  if (width < kMinSavedRectSide || height < kMinSavedRectSide || width > INT_MAX || height > INT_MAX)
    return std::nullopt;
  if (maximised) *maximised = flag;
  return FromEdges(left, top, right, bottom);
}

}  // namespace

QtSettingsStore::QtSettingsStore() : settings_(kCompanyName, kApplicationName) {}

QtSettingsStore::QtSettingsStore(const QString& iniPath) : settings_(iniPath, QSettings::IniFormat) {}

std::optional<std::string> QtSettingsStore::Read(const std::string& name) const {
  const QVariant value = settings_.value(GroupKey(name));
  if (!value.isValid()) return std::nullopt;
  // An unquoted "1,2,3,4" written by another program reads back as a list.
  if (value.typeId() == QMetaType::QStringList) return value.toStringList().join(',').toStdString();
  return value.toString().toStdString();
}

bool QtSettingsStore::Write(const std::string& name, const std::string& value) {
  settings_.setValue(GroupKey(name), QString::fromStdString(value));
  settings_.sync();
  return settings_.status() == QSettings::NoError;
}

int ClampNotificationSeconds(int seconds) {
  return std::clamp(seconds, kMinNotificationSeconds, kMaxNotificationSeconds);
}

std::string AppSettings::DataFile() const { return store_.GetString("DataFile"); }
int AppSettings::Notification() const { return store_.GetInt("Notification", 1); }
int AppSettings::NotificationSeconds() const {
  return ClampNotificationSeconds(store_.GetInt("NotificationSeconds", kDefaultNotificationSeconds));
}
int AppSettings::DefaultBrowser() const { return store_.GetInt("DefaultBrowser", 1); }
int AppSettings::ExitOnClose() const { return store_.GetInt("ExitOnClose", 1); }

void AppSettings::SetNotification(int on) { store_.SetInt("Notification", Flag(on)); }
void AppSettings::SetNotificationSeconds(int seconds) {
  store_.SetInt("NotificationSeconds", ClampNotificationSeconds(seconds));
}
void AppSettings::SetDefaultBrowser(int on) { store_.SetInt("DefaultBrowser", Flag(on)); }
void AppSettings::SetExitOnClose(int on) { store_.SetInt("ExitOnClose", Flag(on)); }

QRect PrimaryWorkArea() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

WindowRects DefaultWindowRects(const QRect& workArea) {
  const int areaWidth = workArea.width();
  const int areaHeight = workArea.height();
  WindowRects rects;
  rects.main = QRect((areaWidth - 320) / 2, (areaHeight - 640) / 2, 320, 640);
  rects.notify = QRect(areaWidth - 340, areaHeight - 110, 320, 80);

  const int areaRight = RightEdge(workArea);
  int left = RightEdge(rects.main);
  int right = areaRight;
  if (right - left < 320) left = areaRight - 320;
  if (right - left > 480) right = left + 480;
  rects.viewer = FromEdges(left, rects.main.y(), right, BottomEdge(rects.main));
  return rects;
}

WindowRects LoadWindowRects(const SettingsStore& store, const QRect& workArea) {
  WindowRects rects = DefaultWindowRects(workArea);
  int maximised = 0;
  if (const auto main = ParseSavedRect(store.Read("MainWindow"), &maximised)) {
    rects.main = *main;
    rects.mainMaximised = maximised == 1;
  }
  if (const auto notify = ParseSavedRect(store.Read("NotifyWindow"))) rects.notify = *notify;
  if (const auto viewer = ParseSavedRect(store.Read("ViewerWindow"))) rects.viewer = *viewer;
  return rects;
}

void SaveWindowRects(SettingsStore& store, const std::optional<QRect>& mainNormal, bool mainMaximised,
                     const QRect& notify, const QRect& viewer) {
  if (mainNormal) store.SetString("MainWindow", RectText(*mainNormal) + (mainMaximised ? ",1" : ",0"));
  store.SetString("NotifyWindow", RectText(notify));
  store.SetString("ViewerWindow", RectText(viewer));
}

}  // namespace vrel::app
