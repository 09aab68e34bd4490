// The Settings dialog of the main menu: the four switches, the
// notification time and the data file. OK hands what the dialog shows to the
// engine, which changes the data file first (saving or taking over the
// feeds) and writes the other values only when that succeeded.
#pragma once

#include <QDialog>

#include "feeds/news_engine.h"

class QCheckBox;

namespace vrel::edit {
class TextEdit;
}

namespace vrel::app {

class SettingsDialog : public QDialog {
  Q_OBJECT

 public:
  explicit SettingsDialog(NewsEngine& engine, QWidget* parent = nullptr);

  QCheckBox* ExitOnCloseBox() const { return exitOnClose_; }
  QCheckBox* DefaultBrowserBox() const { return defaultBrowser_; }
  QCheckBox* NotificationBox() const { return notification_; }
  QCheckBox* DesktopNotificationsBox() const { return desktopNotifications_; }
  edit::TextEdit* SecondsBox() const { return seconds_; }
  edit::TextEdit* DataFileBox() const { return dataFile_; }

 public slots:
  // Applies the dialog; stays open with a message when the data file
  // cannot be used or a value could not be written.
  void accept() override;

 private:
  void Fill();
  NewsSettings Wanted() const;

  NewsEngine& engine_;
  QCheckBox* exitOnClose_;
  QCheckBox* defaultBrowser_;
  QCheckBox* notification_;
  QCheckBox* desktopNotifications_;
  edit::TextEdit* seconds_;
  edit::TextEdit* dataFile_;
};

}  // namespace vrel::app
