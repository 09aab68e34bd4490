#include "app/settings_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "edit/widget/text_edit.h"
#include "feeds/time_stamp.h"

namespace vrel::app {

SettingsDialog::SettingsDialog(NewsEngine& engine, SettingsStore& store, QWidget* parent)
    : QDialog(parent),
      engine_(engine),
      settings_(store),
      exitOnClose_(new QCheckBox("Exit on Close News Dialog", this)),
      defaultBrowser_(new QCheckBox("Launch Default Browser", this)),
      notification_(new QCheckBox("Notification Window ", this)),
      seconds_(new edit::TextEdit(edit::TextEdit::Form::kSingleLine, this)),
      dataFile_(new edit::TextEdit(edit::TextEdit::Form::kSingleLine, this)) {
  setWindowTitle("Settings");
  seconds_->SetColouring(false);
  dataFile_->SetColouring(false);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &SettingsDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &SettingsDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(exitOnClose_);
  layout->addWidget(defaultBrowser_);
  layout->addWidget(notification_);
  layout->addWidget(new QLabel("Notification Window Time in Seconds (default is 8)", this));
  layout->addWidget(seconds_);
  layout->addWidget(new QLabel("XML Database File", this));
  layout->addWidget(dataFile_);
  layout->addWidget(buttons);
  Fill();
}

void SettingsDialog::Fill() {
  const NewsSettings& settings = engine_.Settings();
  exitOnClose_->setChecked(settings.exitOnClose != 0);
  defaultBrowser_->setChecked(settings.defaultBrowser != 0);
  notification_->setChecked(settings.notification != 0);
  seconds_->SetText(std::to_string(settings.notificationSeconds));
  dataFile_->SetText(settings.dataFile);
}

void SettingsDialog::accept() {
  // The store may have been changed since the engine read it.
  engine_.LoadSettings();
  const NewsSettings settings = engine_.Settings();
  ApplyFlag(defaultBrowser_, settings.defaultBrowser, &AppSettings::SetDefaultBrowser);
  ApplyFlag(exitOnClose_, settings.exitOnClose, &AppSettings::SetExitOnClose);
  ApplyFlag(notification_, settings.notification, &AppSettings::SetNotification);
  ApplySeconds();
  const bool dataFileTaken = ApplyDataFile();
  engine_.LoadSettings();
  if (dataFileTaken) QDialog::accept();
}

void SettingsDialog::ApplyFlag(const QCheckBox* box, int inMemory, void (AppSettings::*write)(int)) {
  const int wanted = box->isChecked() ? 1 : 0;
  if (wanted != inMemory) (settings_.*write)(wanted);
}

void SettingsDialog::ApplySeconds() {
  const int seconds = ClampNotificationSeconds(LeadingInt(seconds_->Text()));
  if (seconds != engine_.Settings().notificationSeconds) settings_.SetNotificationSeconds(seconds);
}

bool SettingsDialog::ApplyDataFile() {
  const std::string path = dataFile_->Text();
  if (path == engine_.Settings().dataFile) return true;
  std::string error;
  if (engine_.ChangeDataFile(path, &error)) return true;
  QMessageBox::warning(this, "Settings", QString::fromStdString("The data file was not changed: " + error));
  dataFile_->setFocus();
  dataFile_->SelectAll();
  return false;
}

}  // namespace vrel::app
