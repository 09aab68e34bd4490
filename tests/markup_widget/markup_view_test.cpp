#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>
#include <string>

#include "markup/widget/markup_view.h"

using vrel::markup::LinkPiece;
using vrel::markup::MarkupView;

namespace {

const std::string kFirstLink = "<a href=\"http://one.example/\">first link</a>";
const std::string kSecondLink = "<a href=\"http://two.example/\">second link</a>";

std::string ManyLines(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += "line " + std::to_string(i) + "\r\n";
  return text;
}

QPoint CentreOf(const LinkPiece& piece) { return QPoint((piece.left + piece.right) / 2, (piece.top + piece.bottom) / 2); }

}  // namespace

class MarkupViewTest : public QObject {
  Q_OBJECT

 private:
  MarkupView* view_ = nullptr;

  // Shows the text and paints it, so the links of the layout are current.
  void Show(const std::string& markup) {
    view_->SetText(markup, true);
    view_->viewport()->repaint();
  }

  void SendWheel(int delta) {
    QPoint inside(10, 10);
    QWheelEvent wheel(inside, view_->viewport()->mapToGlobal(inside), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view_->viewport(), &wheel);
  }

 private slots:
  void init() {
    view_ = new MarkupView;
    view_->resize(400, 200);
    view_->show();
    QVERIFY(QTest::qWaitForWindowExposed(view_));
  }

  void cleanup() { delete view_; }

  void clickAndRightClickReportTheWholeLink() {
    Show(kFirstLink + " " + kSecondLink);
    QSignalSpy clicks(view_, &MarkupView::linkClicked);
    QSignalSpy right_clicks(view_, &MarkupView::linkRightClicked);
    const auto& links = view_->Layout().links;
    QCOMPARE(links.size(), size_t{2});
    QTest::mouseMove(view_->viewport(), CentreOf(links[1]));
    QTRY_COMPARE(view_->viewport()->cursor().shape(), Qt::PointingHandCursor);
    QTest::mouseClick(view_->viewport(), Qt::LeftButton, {}, CentreOf(links[1]));
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(clicks.at(0).at(0).toString(), QString::fromStdString(kSecondLink));
    QTest::mouseClick(view_->viewport(), Qt::RightButton, {}, CentreOf(links[0]));
    QCOMPARE(right_clicks.count(), 1);
    QCOMPARE(right_clicks.at(0).at(0).toString(), QString::fromStdString(kFirstLink));
    // Outside every link nothing is reported.
    QTest::mouseMove(view_->viewport(), QPoint(390, 190));
    QTRY_COMPARE(view_->viewport()->cursor().shape(), Qt::ArrowCursor);
    QTest::mouseClick(view_->viewport(), Qt::LeftButton, {}, QPoint(390, 190));
    QCOMPARE(clicks.count(), 1);
  }

  void pressOnOneLinkAndReleaseOnAnotherSendsNothing() {
    Show(kFirstLink + " " + kSecondLink);
    QSignalSpy clicks(view_, &MarkupView::linkClicked);
    const auto& links = view_->Layout().links;
    QTest::mousePress(view_->viewport(), Qt::LeftButton, {}, CentreOf(links[0]));
    QTest::mouseRelease(view_->viewport(), Qt::LeftButton, {}, CentreOf(links[1]));
    QCOMPARE(clicks.count(), 0);
  }

  void wrappedLinkIsClickableOnBothLines() {
    view_->resize(90, 200);
    Show("Read " + kSecondLink + " now");
    QSignalSpy clicks(view_, &MarkupView::linkClicked);
    const auto& links = view_->Layout().links;
    QVERIFY(links.size() >= 2);
    QTest::mouseClick(view_->viewport(), Qt::LeftButton, {}, CentreOf(links[0]));
    QTest::mouseClick(view_->viewport(), Qt::LeftButton, {}, CentreOf(links[1]));
    QCOMPARE(clicks.count(), 2);
    QCOMPARE(clicks.at(1).at(0).toString(), QString::fromStdString(kSecondLink));
  }

  void focusIsReported() {
    QApplication::setActiveWindow(view_);
    view_->clearFocus();
    QSignalSpy focus(view_, &MarkupView::focusEntered);
    view_->setFocus(Qt::OtherFocusReason);
    QTRY_COMPARE(focus.count(), 1);
  }

  void wheelAndKeysScroll() {
    Show(ManyLines(100));
    SendWheel(-120);
    QCOMPARE(view_->ScrollPosition(), 12);
    SendWheel(120);
    QCOMPARE(view_->ScrollPosition(), 0);
    const int page = view_->viewport()->height() - 20;
    QTest::keyClick(view_, Qt::Key_Down);
    QCOMPARE(view_->ScrollPosition(), 10);
    QTest::keyClick(view_, Qt::Key_PageDown);
    QCOMPARE(view_->ScrollPosition(), 10 + page);
    QTest::keyClick(view_, Qt::Key_Space);
    QCOMPARE(view_->ScrollPosition(), 10 + 2 * page);
    QTest::keyClick(view_, Qt::Key_PageUp);
    QTest::keyClick(view_, Qt::Key_Up);
    QCOMPARE(view_->ScrollPosition(), page);
    QCOMPARE(view_->verticalScrollBar()->value(), page);
    // Never above the top nor below the end of the text.
    view_->ScrollBy(-100000);
    QCOMPARE(view_->ScrollPosition(), 0);
    view_->ScrollBy(100000);
    QCOMPARE(view_->ScrollPosition(), view_->ContentHeight() - view_->viewport()->height());
  }

  void resetFlagAndShrinkBack() {
    Show(ManyLines(100));
    view_->ScrollBy(300);
    view_->SetText(ManyLines(90), false);
    view_->viewport()->repaint();
    QCOMPARE(view_->ScrollPosition(), 300);
    view_->SetText(ManyLines(100), true);
    view_->viewport()->repaint();
    QCOMPARE(view_->ScrollPosition(), 0);

    view_->ScrollBy(100000);
    view_->SetText(ManyLines(20), false);
    view_->viewport()->repaint();
    QCOMPARE(view_->ScrollPosition(), std::max(0, view_->ContentHeight() - view_->viewport()->height()));
    QVERIFY(view_->ScrollPosition() < 300);
  }

  void middleButtonLeavesTheRememberedLinkAlone() {
    Show(kFirstLink + " " + kSecondLink);
    QSignalSpy clicks(view_, &MarkupView::linkClicked);
    const auto& links = view_->Layout().links;
    QTest::mousePress(view_->viewport(), Qt::LeftButton, {}, CentreOf(links[0]));
    QTest::mousePress(view_->viewport(), Qt::MiddleButton, Qt::NoModifier, QPoint(390, 190));
    QTest::mouseRelease(view_->viewport(), Qt::MiddleButton, Qt::NoModifier, QPoint(390, 190));
    QTest::mouseRelease(view_->viewport(), Qt::LeftButton, {}, CentreOf(links[0]));
    QCOMPARE(clicks.count(), 1);
  }

  void aLongTextShowsItsScrollBarWithoutAResize() {
    view_->SetText(ManyLines(100), true);
    QTRY_VERIFY(view_->verticalScrollBar()->isVisible());
    view_->SetText("short", true);
    QTRY_VERIFY(!view_->verticalScrollBar()->isVisible());
  }

  void clipboardAndAccessibleName() {
    QVERIFY(!MarkupView::CopyTextToClipboard(""));
    QVERIFY(MarkupView::CopyTextToClipboard("caf\xC3\xA9 \xF0\x9F\x98\x80"));
    QCOMPARE(QGuiApplication::clipboard()->text(), QString::fromUtf8("caf\xC3\xA9 \xF0\x9F\x98\x80"));
    view_->SetText("<b>Feeds</b> &amp; news", true);
    QCOMPARE(view_->accessibleName(), QStringLiteral("Feeds & news"));
  }
};

QTEST_MAIN(MarkupViewTest)
#include "markup_view_test.moc"
