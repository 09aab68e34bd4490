// The owner's hand-over of documents, its start and stop, and placements.
#include <QGuiApplication>
#include <QScreen>
#include <QTest>

#include <thread>
#include <utility>
#include <vector>

#include "ui/thread_dlg.h"
#include "ui_test_support.h"

using vrel::XmlDoc;
using vrel::WindowRect;
using namespace vrel::ui;

namespace {

// Remembers every document it is handed, with its code.
class RecordingDlg : public CThreadDlg {
 public:
  explicit RecordingDlg(CThreadDlgOwner& owner) : CThreadDlg(owner) { resize(200, 100); }
  void OnThreadMessage(XmlDoc& doc, int code) override {
    doc.SetPositions(0, 0, 0);
    doc.FindElement(nullptr);
    received.emplace_back(code, doc.GetAttribute("from") + ":" + doc.GetAttribute("n"));
  }
  std::vector<std::pair<int, std::string>> received;
};

ThreadDlgFactory Recording() {
  return [](CThreadDlgOwner& owner) { return new RecordingDlg(owner); };
}

RecordingDlg& DialogOf(const CThreadDlgOwner& owner) { return static_cast<RecordingDlg&>(*owner.Dialog()); }

XmlDoc Numbered(const std::string& from, int n) {
  XmlDoc doc;
  doc.AddElement("DOC");
  doc.SetAttribute("from", from);
  doc.SetAttributeInt(doc.GetCurrentPosition(), "n", n);
  return doc;
}

XmlDoc Position(const char* l, const char* t, const char* r, const char* b) {
  XmlDoc doc;
  doc.AddElement("POS");
  doc.SetAttribute("L", l);
  doc.SetAttribute("T", t);
  doc.SetAttribute("R", r);
  doc.SetAttribute("B", b);
  return doc;
}

QRect WorkArea() { return QGuiApplication::primaryScreen()->availableGeometry(); }

}  // namespace

class ThreadDlgTest : public QObject {
  Q_OBJECT

 private slots:
  void postsFromTwoThreadsAllArriveInOrderWithTheirCodes() {
    CThreadDlgOwner owner;
    QVERIFY(owner.Start(Recording()));
    constexpr int kPosts = 300;
    auto post = [&owner](const std::string& from, int code) {
      for (int n = 0; n < kPosts; ++n) owner.PostDoc(Numbered(from, n), code);
    };
    std::thread first(post, "a", TDM_SHOW);
    std::thread second(post, "b", TDM_CLEAR);
    first.join();
    second.join();
    QCoreApplication::processEvents();
    const auto& received = DialogOf(owner).received;
    QCOMPARE(received.size(), size_t{2 * kPosts});
    int next[2] = {0, 0};
    for (const auto& [code, text] : received) {
      const int thread = text[0] == 'a' ? 0 : 1;
      QCOMPARE(code, thread == 0 ? TDM_SHOW : TDM_CLEAR);
      QCOMPARE(text, std::string(1, text[0]) + ":" + std::to_string(next[thread]++));
    }
  }

  void postsBeforeTheFirstStartAreDropped() {
    CThreadDlgOwner owner;
    owner.PostDoc(Numbered("early", 1), TDM_SHOW);
    QVERIFY(owner.Start(Recording()));
    owner.PostDoc(Numbered("late", 2), TDM_SHOW);
    QCoreApplication::processEvents();
    QCOMPARE(DialogOf(owner).received.size(), size_t{1});
    QCOMPARE(DialogOf(owner).received[0].second, std::string("late:2"));
  }

  void stopReportsWhetherARunningDialogWasClosed() {
    CThreadDlgOwner never;
    QVERIFY(!never.Stop());

    CThreadDlgOwner owner;
    QVERIFY(!owner.Start([](CThreadDlgOwner&) { return nullptr; }));
    QVERIFY(owner.Start(Recording()));
    QVERIFY(owner.Stop());
    QVERIFY(owner.Dialog() == nullptr);
    QVERIFY(!owner.Stop());

    // A dialog that ended by itself: nothing left to close, even before
    // its deferred deletion ran.
    QVERIFY(owner.Start(Recording()));
    owner.Dialog()->done(1);
    QVERIFY(owner.Dialog() == nullptr);
    QVERIFY(!owner.Stop());
    QVERIFY(owner.Start(Recording()));
    owner.Dialog()->done(1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!owner.Stop());
  }

  void startRectangles() {
    const QRect work(0, 0, 800, 600);
    const QSize size(200, 100);
    // Position only: the dialog's size, pulled back inside at right and bottom.
    QCOMPARE(StartRect({700, 550, 700, 0}, size, work), (WindowRect{600, 500, 800, 600}));
    QCOMPARE(StartRect({10, 20, 10, 999}, size, work), (WindowRect{10, 20, 210, 120}));
    // Off the left or top edge it stays there.
    QCOMPARE(StartRect({-50, -40, -50, 0}, size, work), (WindowRect{-50, -40, 150, 60}));
    // A full rectangle is used as it is, even outside.
    QCOMPARE(StartRect({700, 550, 1200, 900}, size, work), (WindowRect{700, 550, 1200, 900}));
  }

  void startPlacesTheDialogAndStopWritesItsPlacementBack() {
    const QRect work = WorkArea();
    CThreadDlgOwner owner;
    owner.SetRect({work.right() - 10, work.bottom() - 10, work.right() - 10, 0});
    QVERIFY(owner.Start(Recording()));
    const WindowRect expected{work.x() + work.width() - 200, work.y() + work.height() - 100, work.x() + work.width(),
                              work.y() + work.height()};
    QCOMPARE(owner.Rect(), expected);
    QCOMPARE(owner.Dialog()->geometry(), QRect(expected.left, expected.top, 200, 100));

    owner.Dialog()->setGeometry(30, 40, 300, 200);
    QVERIFY(owner.Stop());
    QCOMPARE(owner.Rect(), (WindowRect{30, 40, 330, 240}));

    CThreadDlgOwner unplaced;
    QVERIFY(unplaced.Start(Recording()));
    QCOMPARE(unplaced.Dialog()->size(), QSize(200, 100));
  }

  void positionDocumentsMoveTheWindow() {
    CThreadDlgOwner owner;
    QVERIFY(owner.Start(Recording()));
    owner.SetPosition({10, 20, 310, 220});
    QCoreApplication::processEvents();
    QCOMPARE(owner.Dialog()->geometry(), QRect(10, 20, 300, 200));
    QCOMPARE(owner.Rect(), (WindowRect{10, 20, 310, 220}));

    owner.PostDoc(Position("x", "15", "200", "115"), TDM_POSITION);
    QCoreApplication::processEvents();
    QCOMPARE(owner.Dialog()->geometry().topLeft(), QPoint(0, 15));
    // Position documents never reach the dialog's own handler.
    QVERIFY(DialogOf(owner).received.empty());
  }
};

int vrel::test::RunThreadDlgTests(int argc, char** argv) {
  ThreadDlgTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "thread_dlg_test.moc"
