#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
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

  void clipboardTakesUtf8() {
    QVERIFY(!MarkupView::CopyTextToClipboard(""));
    QVERIFY(MarkupView::CopyTextToClipboard("caf\xC3\xA9 \xF0\x9F\x98\x80"));
    QCOMPARE(QGuiApplication::clipboard()->text(), QString::fromUtf8("caf\xC3\xA9 \xF0\x9F\x98\x80"));
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

  void onlyAViewWithLinksIsATabStop() {
    view_->SetText("no links here", true);
    QCOMPARE(view_->focusPolicy(), Qt::ClickFocus);
    view_->SetText(kFirstLink, true);
    QCOMPARE(view_->focusPolicy(), Qt::StrongFocus);
    view_->SetTabStop(false);
    QCOMPARE(view_->focusPolicy(), Qt::ClickFocus);
  }

  // Tab comes in at the first link, walks them and leaves for the next
  // control; Enter and Space follow the focused link as a click would.
  void tabWalksTheLinksAndEnterFollowsTheFocusedOne() {
    QWidget window;
    auto* before = new QPushButton("before", &window);
    auto* view = new MarkupView(&window);
    auto* after = new QPushButton("after", &window);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(before);
    layout->addWidget(view);
    layout->addWidget(after);
    view->SetText(kFirstLink + " plain " + kSecondLink, true);
    window.show();
    QApplication::setActiveWindow(&window);
    before->setFocus();
    QSignalSpy clicks(view, &MarkupView::linkClicked);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QVERIFY(view->hasFocus());
    QCOMPARE(view->FocusedLink(), 0);
    QTest::keyClick(view, Qt::Key_Tab);
    QCOMPARE(view->FocusedLink(), 1);
    QTest::keyClick(view, Qt::Key_Return);
    QTest::keyClick(view, Qt::Key_Space);
    QCOMPARE(clicks.count(), 2);
    QCOMPARE(clicks.at(0).at(0).toString(), QString::fromStdString(kSecondLink));
    QTest::keyClick(view, Qt::Key_Tab);
    QVERIFY(after->hasFocus());
    QTest::keyClick(after, Qt::Key_Backtab);
    QCOMPARE(view->FocusedLink(), 1);  // back in at the last link
    QTest::keyClick(view, Qt::Key_Up);
    QCOMPARE(view->FocusedLink(), 0);
    QTest::keyClick(view, Qt::Key_End);
    QCOMPARE(view->FocusedLink(), 1);
  }

  void theOnlyStopOfAWindowTabsRoundItsLinks() {
    Show(kFirstLink + " " + kSecondLink);
    QApplication::setActiveWindow(view_);
    view_->setFocus();
    QTest::keyClick(view_, Qt::Key_Tab);
    QTest::keyClick(view_, Qt::Key_Tab);
    QCOMPARE(view_->FocusedLink(), 1);
    QTest::keyClick(view_, Qt::Key_Tab);
    QCOMPARE(view_->FocusedLink(), 0);
    QTest::keyClick(view_, Qt::Key_Backtab);
    QCOMPARE(view_->FocusedLink(), 1);
  }

  void theFocusedLinkIsFramedOnEveryLineAndScrolledIntoView() {
    view_->resize(90, 200);
    Show("Read " + kSecondLink + " now");
    QApplication::setActiveWindow(view_);
    view_->setFocus();
    view_->FocusLink(0);
    const QImage shot = view_->viewport()->grab().toImage();
    const QColor highlight = view_->palette().color(QPalette::Highlight);
    const auto& links = view_->Layout().links;
    QVERIFY(links.size() >= 2);
    for (const LinkPiece& piece : links)
      if (piece.right > piece.left) QCOMPARE(shot.pixelColor(piece.left, piece.top + 1), highlight);

    Show(ManyLines(100) + kFirstLink);
    QCOMPARE(view_->ScrollPosition(), 0);
    QTest::keyClick(view_, Qt::Key_Down);  // the next link, far below
    QCOMPARE(view_->FocusedLink(), 0);
    QVERIFY(view_->viewport()->rect().contains(view_->LinkRect(0)));
    QVERIFY(view_->ScrollPosition() > 0);
    QTest::keyClick(view_, Qt::Key_Down);  // no link below: the text scrolls, here to its end
    QCOMPARE(view_->ScrollPosition(), view_->ContentHeight() - view_->viewport()->height());
    QTest::keyClick(view_, Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(view_->ScrollPosition(), 0);
  }

  void menuKeysAskForTheFocusedLinksMenuBelowIt() {
    Show(kFirstLink + " " + kSecondLink);
    QApplication::setActiveWindow(view_);
    view_->setFocus();
    QSignalSpy menus(view_, &MarkupView::linkRightClicked);
    QTest::keyClick(view_, Qt::Key_F10, Qt::ShiftModifier);  // no link focused yet
    QCOMPARE(menus.count(), 0);
    view_->FocusLink(1);
    QTest::keyClick(view_, Qt::Key_F10, Qt::ShiftModifier);
    QTest::keyClick(view_, Qt::Key_Menu);
    QCOMPARE(menus.count(), 2);
    QCOMPARE(menus.at(1).at(0).toString(), QString::fromStdString(kSecondLink));
    QCOMPARE(view_->LinkMenuPosition(), view_->viewport()->mapToGlobal(view_->LinkRect(1).bottomLeft()));
  }

  // A screen reader sees the text as shown and a child per link with its
  // name, and can follow a link, open its menu and hear where the focus is.
  void accessibleInterfaceHasTheTextAndAChildPerLink() {
    view_->setAccessibleName("Feeds");
    Show("<b>Feeds</b> &amp; " + kFirstLink + "\r\n" + kSecondLink);
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(view_);
    QVERIFY(list);
    QCOMPARE(list->role(), QAccessible::Document);
    QCOMPARE(list->text(QAccessible::Name), QStringLiteral("Feeds"));
    QCOMPARE(list->textInterface()->text(0, list->textInterface()->characterCount()),
             QStringLiteral("Feeds & first link\nsecond link"));
    QCOMPARE(list->childCount(), 2);
    QAccessibleInterface* second = list->child(1);
    QCOMPARE(second->role(), QAccessible::Link);
    QCOMPARE(second->text(QAccessible::Name), QStringLiteral("second link"));
    QCOMPARE(list->indexOfChild(second), 1);
    QCOMPARE(second->parent(), list);
    const QPoint centre = view_->viewport()->mapToGlobal(CentreOf(view_->Layout().links[1]));
    QVERIFY(second->rect().contains(centre));
    QCOMPARE(list->childAt(centre.x(), centre.y()), second);

    QSignalSpy clicks(view_, &MarkupView::linkClicked);
    QSignalSpy menus(view_, &MarkupView::linkRightClicked);
    second->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    second->actionInterface()->doAction(QAccessibleActionInterface::showMenuAction());
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(clicks.at(0).at(0).toString(), QString::fromStdString(kSecondLink));
    QCOMPARE(menus.count(), 1);

    QApplication::setActiveWindow(view_);
    second->actionInterface()->doAction(QAccessibleActionInterface::setFocusAction());
    QVERIFY(view_->hasFocus());
    QCOMPARE(view_->FocusedLink(), 1);
    QVERIFY(second->state().focused);
    QCOMPARE(list->focusChild(), second);

    Show(kFirstLink);  // one link went
    QCOMPARE(list->childCount(), 1);
    QVERIFY(!second->isValid());
  }
};

QTEST_MAIN(MarkupViewTest)
#include "markup_view_test.moc"
