#include "ui/window_placement.h"

#include <QTest>
#include <vector>

#include "ui_test_support.h"

using vrel::WindowPlacements;
using vrel::WindowRect;
using vrel::ui::DefaultWindowRects;
using vrel::ui::PlaceWindows;
using vrel::ui::WindowRects;

namespace {

// left, top, right, bottom as the saved strings hold them.
QRect Edges(int left, int top, int right, int bottom) { return QRect(left, top, right - left, bottom - top); }

}  // namespace

class WindowPlacementTest : public QObject {
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

  void SavedPlacementsReplaceDefaults() {
    WindowPlacements saved;
    saved.main = WindowRect{10, 20, 410, 720};
    saved.mainMaximised = true;
    saved.viewer = WindowRect{0, 0, 500, 400};
    const QRect area(0, 0, 1920, 1050);
    const WindowRects rects = PlaceWindows(saved, {area});
    QCOMPARE(rects.main, Edges(10, 32, 410, 732));  // its title bar fits above it
    QVERIFY(rects.mainMaximised);
    QCOMPARE(rects.notify, DefaultWindowRects(area).notify);
    QCOMPARE(rects.viewer, Edges(0, 32, 500, 432));
  }

  // At twice the scale a 1920 x 1080 screen is 960 x 540 device-independent
  // pixels (less a panel): the main dialog must fit, title bar and all.
  void DefaultsFitASmallScreen() {
    const QRect area(0, 0, 960, 510);
    const WindowRects rects = PlaceWindows({}, {area});
    for (const QRect& rect : {rects.main, rects.notify, rects.viewer}) {
      QVERIFY2(area.contains(rect), qPrintable(QString("%1,%2 %3x%4").arg(rect.x()).arg(rect.y()).arg(rect.width()).arg(rect.height())));
      QVERIFY(rect.y() >= area.y() + vrel::ui::kTitleBarHeight);
    }
    QCOMPARE(rects.main.width(), 320);
  }

  // Saved at 1x on a screen that has gone, or dragged up out of reach: each
  // window comes back where its title bar shows.
  void SavedWindowsComeBackOntoAScreen() {
    const std::vector<QRect> areas{QRect(0, 0, 1280, 770), QRect(1280, 0, 1024, 768)};
    WindowPlacements saved;
    saved.main = WindowRect{3000, 100, 3320, 740};         // on a third screen, now gone
    saved.notify = WindowRect{1500, -120, 1820, -40};      // above the second screen
    saved.viewer = WindowRect{-900, 200, 2000, 400};       // wider than any screen
    const WindowRects rects = PlaceWindows(saved, areas);
    QCOMPARE(rects.main, QRect(1984, 100, 320, 640));      // pulled onto the nearest screen
    QCOMPARE(rects.notify, QRect(1500, 32, 320, 80));
    QCOMPARE(rects.viewer, QRect(0, 200, 1280, 200));
    // Partly below the bottom is fine while enough of it shows.
    QCOMPARE(vrel::ui::FitOnScreens(QRect(100, 700, 300, 300), areas), QRect(100, 700, 300, 300));
    QCOMPARE(vrel::ui::FitOnScreens(QRect(100, 760, 300, 300), areas), QRect(100, 720, 300, 300));
  }
};

int vrel::test::RunWindowPlacementTests(int argc, char** argv) {
  WindowPlacementTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "window_placement_test.moc"
