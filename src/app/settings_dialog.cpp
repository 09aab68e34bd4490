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

SettingsDialog::SettingsDialog(NewsEngine& engine, QWidget* parent)
    : QDialog(parent),
      engine_(engine),
      exitOnClose_(new QCheckBox("Exit on Close News Dialog", this)),
      defaultBrowser_(new QCheckBox("Launch Default Browser", this)),
      notification_(new QCheckBox("Notification Window ", this)),
      desktopNotifications_(new QCheckBox("Desktop &Notifications", this)),
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
  layout->addWidget(desktopNotifications_);
  // The labels name the boxes for screen readers; Alt and the letter reach them.
  auto* secondsLabel = new QLabel("Notification Window &Time in Seconds (default is 8)", this);
  secondsLabel->setBuddy(seconds_);
  auto* dataFileLabel = new QLabel("XML &Database File", this);
  dataFileLabel->setBuddy(dataFile_);
  layout->addWidget(secondsLabel);
  layout->addWidget(seconds_);
  layout->addWidget(dataFileLabel);
  layout->addWidget(dataFile_);
  layout->addWidget(buttons);
  Fill();
}

void SettingsDialog::Fill() {
  const NewsSettings& settings = engine_.Settings();
  exitOnClose_->setChecked(settings.exitOnClose);
  defaultBrowser_->setChecked(settings.defaultBrowser);
  notification_->setChecked(settings.notification);
  desktopNotifications_->setChecked(settings.desktopNotifications);
  seconds_->SetText(std::to_string(settings.notificationSeconds));
  dataFile_->SetText(settings.dataFile);
}

NewsSettings SettingsDialog::Wanted() const {
  NewsSettings wanted;
  wanted.dataFile = dataFile_->Text();
  wanted.exitOnClose = exitOnClose_->isChecked();
  wanted.defaultBrowser = defaultBrowser_->isChecked();
  wanted.notification = notification_->isChecked();
  wanted.desktopNotifications = desktopNotifications_->isChecked();
  wanted.notificationSeconds = ClampNotificationSeconds(LeadingInt(seconds_->Text()));
  return wanted;
}

void SettingsDialog::accept() {
  const NewsSettings wanted = Wanted();
  const Outcome applied = engine_.ChangeSettings(wanted);
  if (applied) {
    QDialog::accept();
    return;
  }
  const bool dataFileRefused = engine_.Settings().dataFile != wanted.dataFile;
  const std::string message = dataFileRefused ? "The data file was not changed: " + applied.Message()
                                              : "The settings could not all be saved: " + applied.Message();
  QMessageBox::warning(this, "Settings", QString::fromStdString(message));
  if (dataFileRefused) {
    dataFile_->setFocus();
    dataFile_->SelectAll();
  }
}

}  // namespace vrel::app
