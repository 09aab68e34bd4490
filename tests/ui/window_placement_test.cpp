#include "ui/window_placement.h"

#include <QTest>

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
    const WindowRects rects = PlaceWindows(saved, area);
    QCOMPARE(rects.main, Edges(10, 20, 410, 720));
    QVERIFY(rects.mainMaximised);
    QCOMPARE(rects.notify, DefaultWindowRects(area).notify);
    QCOMPARE(rects.viewer, Edges(0, 0, 500, 400));
  }
};

int vrel::test::RunWindowPlacementTests(int argc, char** argv) {
  WindowPlacementTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "window_placement_test.moc"
