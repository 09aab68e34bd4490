#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

#include "app/qt_settings_store.h"
#include "app/settings_dialog.h"
#include "edit/widget/text_edit.h"
#include "feeds/news_engine.h"

using vrel::NewsEngine;
using vrel::app::QtSettingsStore;
using vrel::app::SettingsDialog;

class SettingsDialogTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  std::unique_ptr<QtSettingsStore> store_;
  std::unique_ptr<NewsEngine> engine_;
  QString dataFile_;

  // A data file with one feed, configured with ExitOnClose 0 and 20 seconds.
  void StartEngine() {
    dataFile_ = dir_.filePath("first.xml");
    QFile file(dataFile_);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("<?xml version=\"1.0\"?><FEEDSTATUS><FEED uri=\"http://127.0.0.1/a\" title=\"A\"/></FEEDSTATUS>");
    file.close();
    store_ = std::make_unique<QtSettingsStore>(dir_.filePath("vrel.conf"));
    QVERIFY(store_->SetString("DataFile", dataFile_.toStdString()).Ok());
    QVERIFY(store_->SetInt("ExitOnClose", 0).Ok());
    QVERIFY(store_->SetInt("NotificationSeconds", 20).Ok());
    engine_ = std::make_unique<NewsEngine>(*store_);
    engine_->Start();
  }

  static void PressOk(SettingsDialog& dialog) {
    dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
  }

  // Runs OK with this text in the seconds box and returns what was stored.
  std::string StoredSecondsFor(const std::string& text) {
    SettingsDialog dialog(*engine_);
    dialog.SecondsBox()->SetText(text);
    PressOk(dialog);
    return store_->GetString("NotificationSeconds");
  }

 private slots:
  void init() {
    QVERIFY(dir_.isValid());
    StartEngine();
  }

  void cleanup() {
    engine_.reset();
    store_.reset();
    QFile::remove(dir_.filePath("vrel.conf"));
  }

  void FilledFromTheValuesInMemory() {
    SettingsDialog dialog(*engine_);
    QCOMPARE(dialog.windowTitle(), QString("Settings"));
    QVERIFY(!dialog.ExitOnCloseBox()->isChecked());
    QVERIFY(dialog.DefaultBrowserBox()->isChecked());
    QVERIFY(dialog.NotificationBox()->isChecked());
    QCOMPARE(dialog.ExitOnCloseBox()->text(), QString("Exit on Close News Dialog"));
    QCOMPARE(dialog.SecondsBox()->Text(), std::string("20"));
    QCOMPARE(dialog.DataFileBox()->ToQString(), dataFile_);
  }

  void SecondsAreClampedOrOne() {
    QCOMPARE(StoredSecondsFor("0"), std::string("1"));
    QCOMPARE(StoredSecondsFor("45"), std::string("45"));
    QCOMPARE(StoredSecondsFor("many"), std::string("1"));
    QCOMPARE(StoredSecondsFor("1000"), std::string("300"));
    QCOMPARE(StoredSecondsFor("-3"), std::string("1"));
    QCOMPARE(engine_->Settings().notificationSeconds, 1);
  }

  void OkWritesChangedSwitchesAndTheEngineSeesThem() {
    SettingsDialog dialog(*engine_);
    dialog.show();
    dialog.ExitOnCloseBox()->setChecked(true);
    dialog.NotificationBox()->setChecked(false);
    PressOk(dialog);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(store_->GetString("ExitOnClose"), std::string("1"));
    QCOMPARE(store_->GetString("Notification"), std::string("0"));
    QVERIFY(!store_->Read("DefaultBrowser"));  // unchanged values are not written
    QVERIFY(engine_->Settings().exitOnClose);
    QVERIFY(!engine_->Settings().notification);
  }

  // The box stands under "Notification Window " and Tab reaches it there.
  void DesktopNotificationsAreSwitchedInTheirVisualPlace() {
    SettingsDialog dialog(*engine_);
    dialog.show();
    QVERIFY(!dialog.DesktopNotificationsBox()->isChecked());
    QCOMPARE(dialog.NotificationBox()->nextInFocusChain(), dialog.DesktopNotificationsBox());
    QCOMPARE(dialog.DesktopNotificationsBox()->nextInFocusChain(), static_cast<QWidget*>(dialog.SecondsBox()));
    QVERIFY(dialog.DesktopNotificationsBox()->geometry().top() > dialog.NotificationBox()->geometry().top());
    dialog.DesktopNotificationsBox()->setChecked(true);
    PressOk(dialog);
    QCOMPARE(store_->GetString("DesktopNotifications"), std::string("1"));
    QVERIFY(engine_->Settings().desktopNotifications);
  }

  void OkComparesWithTheStoreNotWithStaleMemory() {
    SettingsDialog dialog(*engine_);  // filled with Notification on
    QVERIFY(store_->SetInt("Notification", 0).Ok());  // changed elsewhere meanwhile
    PressOk(dialog);
    QCOMPARE(store_->GetString("Notification"), std::string("1"));
    QVERIFY(engine_->Settings().notification);
  }

  void CancelChangesNothing() {
    SettingsDialog dialog(*engine_);
    dialog.show();
    dialog.ExitOnCloseBox()->setChecked(true);
    dialog.SecondsBox()->SetText("99");
    dialog.DataFileBox()->SetQString(dir_.filePath("other.xml"));
    dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->click();
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(store_->GetString("ExitOnClose"), std::string("0"));
    QCOMPARE(store_->GetString("NotificationSeconds"), std::string("20"));
    QCOMPARE(engine_->Settings().dataFile, dataFile_.toStdString());
    QVERIFY(!QFile::exists(dir_.filePath("other.xml")));
  }

  void NewDataFileReceivesTheFeeds() {
    const QString moved = dir_.filePath("moved.xml");
    SettingsDialog dialog(*engine_);
    dialog.DataFileBox()->SetQString(moved);
    PressOk(dialog);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(store_->GetString("DataFile"), moved.toStdString());
    QCOMPARE(engine_->Settings().dataFile, moved.toStdString());
    QFile file(moved);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("http://127.0.0.1/a"));
  }

  void UnusableDataFileIsReportedAndKeepsTheDialogOpen() {
    SettingsDialog dialog(*engine_);
    dialog.show();
    dialog.SecondsBox()->SetText("30");
    dialog.DataFileBox()->SetQString(dir_.filePath("no such folder/feeds.xml"));
    QString shown;
    QTimer::singleShot(0, [&shown] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      shown = box->text();
      box->accept();
    });
    PressOk(dialog);
    QVERIFY2(shown.startsWith("The data file was not changed"), qPrintable(shown));
    QVERIFY(dialog.isVisible());
    QCOMPARE(store_->GetString("DataFile"), dataFile_.toStdString());
    QCOMPARE(engine_->Settings().dataFile, dataFile_.toStdString());
    // Nothing else of that OK was taken either: Cancel must leave all as it was.
    QCOMPARE(store_->GetString("NotificationSeconds"), std::string("20"));
    QCOMPARE(engine_->Settings().notificationSeconds, 20);
  }
};

QTEST_MAIN(SettingsDialogTest)
#include "settings_dialog_test.moc"
