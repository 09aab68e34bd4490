// The Settings dialog of the main menu: the three switches, the
// notification time and the data file. OK writes what changed; a new data
// file goes through the engine, which saves or takes over the feeds.
#pragma once

#include <QDialog>

#include "app/app_settings.h"
#include "feeds/news_engine.h"
#include "feeds/settings_store.h"

class QCheckBox;

namespace vrel::edit {
class TextEdit;
}

namespace vrel::app {

class SettingsDialog : public QDialog {
  Q_OBJECT

 public:
  // store must be the one the engine reads its settings from.
  SettingsDialog(NewsEngine& engine, SettingsStore& store, QWidget* parent = nullptr);

  QCheckBox* ExitOnCloseBox() const { return exitOnClose_; }
  QCheckBox* DefaultBrowserBox() const { return defaultBrowser_; }
  QCheckBox* NotificationBox() const { return notification_; }
  edit::TextEdit* SecondsBox() const { return seconds_; }
  edit::TextEdit* DataFileBox() const { return dataFile_; }

 public slots:
  // Applies the dialog; stays open with a message when the data file
  // cannot be used.
  void accept() override;

 private:
  void Fill();
  void ApplyFlag(const QCheckBox* box, int inMemory, void (AppSettings::*write)(int));
  void ApplySeconds();
  bool ApplyDataFile();

  NewsEngine& engine_;
  AppSettings settings_;
  QCheckBox* exitOnClose_;
  QCheckBox* defaultBrowser_;
  QCheckBox* notification_;
  edit::TextEdit* seconds_;
  edit::TextEdit* dataFile_;
};

}  // namespace vrel::app
