#include <QTemporaryDir>
#include <QTest>

#include "app/app_settings.h"
#include "feeds/ini_settings_store.h"

using vrel::MemorySettingsStore;
using vrel::app::AppSettings;
using vrel::app::DefaultWindowRects;
using vrel::app::LoadWindowRects;
using vrel::app::QtSettingsStore;
using vrel::app::SaveWindowRects;
using vrel::app::WindowRects;

namespace {

// left, top, right, bottom as the saved strings hold them.
QRect Edges(int left, int top, int right, int bottom) { return QRect(left, top, right - left, bottom - top); }

}  // namespace

class AppSettingsTest : public QObject {
  Q_OBJECT

 private slots:
  void DefaultsOnAWideScreen() {
    const WindowRects rects = DefaultWindowRects(QRect(0, 0, 1920, 1050));
    QCOMPARE(rects.main, Edges(800, 205, 1120, 845));
    QCOMPARE(rects.notify, Edges(1580, 940, 1900, 1020));
    // The viewer would reach the screen's edge; it stops 480 pixels on.
    QCOMPARE(rects.viewer, Edges(1120, 205, 1600, 845));
    QVERIFY(!rects.mainMaximised);
  }

  void ViewerOnANarrowScreen() {
    // 300 pixels are left right of the main dialog: the viewer moves left
    // to be 320 wide.
    const WindowRects rects = DefaultWindowRects(QRect(0, 0, 920, 700));
    QCOMPARE(rects.main, Edges(300, 30, 620, 670));
    QCOMPARE(rects.viewer, Edges(600, 30, 920, 670));
  }

  void WorkAreaAwayFromTheOrigin() {
    // A panel on the left: sizes come from the work area, the viewer's
    // right edge from the work area's own right edge.
    const WindowRects rects = DefaultWindowRects(QRect(100, 0, 900, 700));
    QCOMPARE(rects.main, Edges(290, 30, 610, 670));
    QCOMPARE(rects.notify, Edges(560, 590, 880, 670));
    QCOMPARE(rects.viewer, Edges(610, 30, 1000, 670));
  }

  void SavedRectanglesReplaceDefaults() {
    MemorySettingsStore store;
    store.SetString("MainWindow", "10,20,410,720,1");
    store.SetString("NotifyWindow", "5,6,36,37");
    store.SetString("ViewerWindow", " 0, 0,500,400");
    const WindowRects rects = LoadWindowRects(store, QRect(0, 0, 1920, 1050));
    QCOMPARE(rects.main, Edges(10, 20, 410, 720));
    QVERIFY(rects.mainMaximised);
    QCOMPARE(rects.notify, Edges(5, 6, 36, 37));
    QCOMPARE(rects.viewer, Edges(0, 0, 500, 400));
  }

  void UnusableRectanglesKeepDefaults_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("saved");
    QTest::newRow("main with four numbers") << "MainWindow" << "10,20,410,720";
    QTest::newRow("main 30 wide") << "MainWindow" << "10,20,40,720,0";
    QTest::newRow("notify 30 wide") << "NotifyWindow" << "100,100,130,200";
    QTest::newRow("notify 30 high") << "NotifyWindow" << "100,100,200,130";
    QTest::newRow("viewer upside down") << "ViewerWindow" << "500,500,100,100";
    QTest::newRow("viewer with three numbers") << "ViewerWindow" << "1,2,300";
    QTest::newRow("viewer words") << "ViewerWindow" << "left,top,right,bottom";
    QTest::newRow("empty") << "NotifyWindow" << "";
    QTest::newRow("number beyond int") << "NotifyWindow" << "0,0,99999999999,200";
    QTest::newRow("width beyond int") << "ViewerWindow" << "-2147483648,0,2147483647,400";
  }

  void UnusableRectanglesKeepDefaults() {
    QFETCH(QString, name);
    QFETCH(QString, saved);
    MemorySettingsStore store;
    store.SetString(name.toStdString(), saved.toStdString());
    const QRect area(0, 0, 1920, 1050);
    const WindowRects loaded = LoadWindowRects(store, area);
    const WindowRects defaults = DefaultWindowRects(area);
    QCOMPARE(loaded.main, defaults.main);
    QCOMPARE(loaded.mainMaximised, false);
    QCOMPARE(loaded.notify, defaults.notify);
    QCOMPARE(loaded.viewer, defaults.viewer);
  }

  void ThirtyOnePixelsAreEnough() {
    MemorySettingsStore store;
    store.SetString("NotifyWindow", "100,100,131,131");
    QCOMPARE(LoadWindowRects(store, QRect(0, 0, 800, 600)).notify, Edges(100, 100, 131, 131));
  }

  void SaveWritesEdgesAndKeepsMainWhenMinimised() {
    MemorySettingsStore store;
    SaveWindowRects(store, Edges(1, 2, 321, 642), true, Edges(3, 4, 323, 84), Edges(5, 6, 485, 646));
    QCOMPARE(store.GetString("MainWindow"), std::string("1,2,321,642,1"));
    QCOMPARE(store.GetString("NotifyWindow"), std::string("3,4,323,84"));
    QCOMPARE(store.GetString("ViewerWindow"), std::string("5,6,485,646"));

    SaveWindowRects(store, std::nullopt, false, Edges(7, 8, 327, 88), Edges(5, 6, 485, 646));
    QCOMPARE(store.GetString("MainWindow"), std::string("1,2,321,642,1"));
    QCOMPARE(store.GetString("NotifyWindow"), std::string("7,8,327,88"));

    const WindowRects back = LoadWindowRects(store, QRect(0, 0, 1920, 1050));
    QCOMPARE(back.main, Edges(1, 2, 321, 642));
    QVERIFY(back.mainMaximised);
  }

  void ValuesHaveTheirDefaultsAndRanges() {
    MemorySettingsStore store;
    AppSettings settings(store);
    QCOMPARE(settings.DataFile(), std::string());
    QCOMPARE(settings.Notification(), 1);
    QCOMPARE(settings.NotificationSeconds(), 8);
    QCOMPARE(settings.DefaultBrowser(), 1);
    QCOMPARE(settings.ExitOnClose(), 1);

    store.SetString("NotificationSeconds", "0");
    QCOMPARE(settings.NotificationSeconds(), 1);
    store.SetString("NotificationSeconds", "1000");
    QCOMPARE(settings.NotificationSeconds(), 300);
    settings.SetNotificationSeconds(-4);
    QCOMPARE(store.GetString("NotificationSeconds"), std::string("1"));
    settings.SetExitOnClose(7);
    QCOMPARE(store.GetString("ExitOnClose"), std::string("1"));
    settings.SetNotification(0);
    QCOMPARE(settings.Notification(), 0);
  }

  // The desktop program writes through QSettings, vrel-cli through its own
  // INI reader: each must read what the other wrote.
  void QSettingsAndTheIniReaderAgree() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("Ostrivane Software/vrel.conf");
    {
      QtSettingsStore qt(path);
      qt.SetString("MainWindow", "10,20,410,720,0");
      qt.SetString("DataFile", "/home/someone/my feeds; new.xml");
      qt.SetInt("ExitOnClose", 0);
    }
    vrel::IniSettingsStore ini(path.toStdString());
    QCOMPARE(ini.GetString("MainWindow"), std::string("10,20,410,720,0"));
    QCOMPARE(ini.GetString("DataFile"), std::string("/home/someone/my feeds; new.xml"));
    QCOMPARE(ini.GetInt("ExitOnClose", 1), 0);

    ini.SetString("ViewerWindow", "1,2,400,500");
    ini.SetString("DataFile", "/tmp/caf\xc3\xa9.xml");
    QtSettingsStore again(path);
    QCOMPARE(again.GetString("ViewerWindow"), std::string("1,2,400,500"));
    QCOMPARE(again.GetString("DataFile"), std::string("/tmp/caf\xc3\xa9.xml"));
    QCOMPARE(again.GetInt("ExitOnClose", 1), 0);
    QVERIFY(!again.Read("Notification"));
  }
};

QTEST_MAIN(AppSettingsTest)
#include "app_settings_test.moc"
