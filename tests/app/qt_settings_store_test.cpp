#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "app/qt_settings_store.h"
#include "feeds/ini_settings_store.h"

using vrel::app::QtSettingsStore;

class QtSettingsStoreTest : public QObject {
  Q_OBJECT

 private slots:
  // The desktop program writes through QSettings, vrel-cli through its own
  // INI reader: each must read what the other wrote.
  void QSettingsAndTheIniReaderAgree() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("Ostrivane Software/vrel.conf");
    {
      QtSettingsStore qt(path);
      QVERIFY(qt.SetString("MainWindow", "10,20,410,720,0").Ok());
      QVERIFY(qt.SetString("DataFile", "/home/someone/my feeds; new.xml").Ok());
      QVERIFY(qt.SetInt("ExitOnClose", 0).Ok());
    }
    vrel::IniSettingsStore ini(path.toStdString());
    QCOMPARE(ini.GetString("MainWindow"), std::string("10,20,410,720,0"));
    QCOMPARE(ini.GetString("DataFile"), std::string("/home/someone/my feeds; new.xml"));
    QCOMPARE(ini.GetInt("ExitOnClose", 1), 0);

    QVERIFY(ini.SetString("ViewerWindow", "1,2,400,500").Ok());
    QVERIFY(ini.SetString("DataFile", "/tmp/caf\xc3\xa9.xml").Ok());
    QtSettingsStore again(path);
    QCOMPARE(again.GetString("ViewerWindow"), std::string("1,2,400,500"));
    QCOMPARE(again.GetString("DataFile"), std::string("/tmp/caf\xc3\xa9.xml"));
    QCOMPARE(again.GetInt("ExitOnClose", 1), 0);
    QVERIFY(!again.Read("Notification"));
  }

  // A settings file that cannot be written (here its folder is a file, which
  // stops root too): both stores say so instead of dropping the value.
  void AWriteThatFailsIsReported() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile notAFolder(dir.filePath("config"));
    QVERIFY(notAFolder.open(QIODevice::WriteOnly));
    notAFolder.close();
    const QString path = dir.filePath("config/vrel.conf");
    QtSettingsStore qt(path);
    const vrel::Outcome written = qt.SetInt("Notification", 0);
    QVERIFY(!written);
    QVERIFY(written.Message().find("Notification") != std::string::npos);
    QVERIFY(!vrel::IniSettingsStore(path.toStdString()).SetInt("Notification", 0));
  }
};

QTEST_MAIN(QtSettingsStoreTest)
#include "qt_settings_store_test.moc"
