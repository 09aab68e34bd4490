#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QTest>
#include <optional>
#include <string>
#include <tuple>

#include "feeds/news_engine.h"
#include "feeds/settings_store.h"
#include "saver/widget/saver_dlg.h"
#include "saver/widget/saver_wnd.h"

using vrel::saver::CSaverDlg;
using vrel::saver::CSaverWnd;

namespace {

const char kFeed[] =
    "<rss version=\"2.0\"><channel><title>Saver News</title><link>http://saver.example/</link>"
    "<item><title>Big headline</title><link>http://saver.example/1</link><author>ann@example.com</author></item>"
    "<item><title>Small headline</title><link>http://saver.example/2</link></item>"
    "</channel></rss>";

bool IsBlack(QRgb pixel) { return qRed(pixel) == 0 && qGreen(pixel) == 0 && qBlue(pixel) == 0; }

int CountPixels(const QImage& image, const std::function<bool(QRgb)>& matches) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) count += matches(image.pixel(x, y)) ? 1 : 0;
  return count;
}

class RecordingHost : public vrel::saver::SaverHost {
 public:
  explicit RecordingHost(vrel::NewsEngine& engine) : engine_(engine) {}
  vrel::NewsEngine& SaverEngine() override { return engine_; }
  void ScreenSaverEnded(const std::string& feedId) override { ended.push_back(feedId); }

  std::vector<std::string> ended;

 private:
  vrel::NewsEngine& engine_;
};

}  // namespace

class SaverWndTest : public QObject {
  Q_OBJECT

 private:
  vrel::MemorySettingsStore settings_;
  std::unique_ptr<vrel::NewsEngine> engine_;
  std::optional<std::string> report_;

  // A full-screen saver on the feed, its first screen in style 0.
  QPointer<CSaverWnd> StartSaver() {
    report_.reset();
    auto* saver = new CSaverWnd(*engine_, 7, [this](const std::string& feedId) { report_ = feedId; });
    saver->Screens().SetRotationStep(0);
    saver->ShowFullScreen();
    saver->Tick();
    saver->Tick();
    return saver;
  }
  // Lets the posted close run and the window go.
  static void Settle() {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  void SendMove(QWidget* window, QPoint global) {
    QMouseEvent move(QEvent::MouseMove, window->mapFromGlobal(QPointF(global)), QPointF(global), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(window, &move);
  }

 private slots:
  void init() {
    engine_ = std::make_unique<vrel::NewsEngine>(settings_);
    QVERIFY(engine_->MergeDownload("http://saver.example/feed", kFeed));
  }

  void firstScreenShowsTextAndPictureOnBlack() {
    QPointer<CSaverWnd> saver = StartSaver();
    QCOMPARE(saver->size(), QGuiApplication::primaryScreen()->size());
    QCOMPARE(saver->Screens().FeedId(), std::string("1"));
    // A screen reader hears what the saver shows.
    QCOMPARE(saver->accessibleName(), QString("brackenfold News Reader Screensaver"));
    QCOMPARE(saver->accessibleDescription(), QString("Saver News. G get, S skip, P pause"));
    const QImage shot = saver->grab().toImage();
    const int all = shot.width() * shot.height();
    const int black = CountPixels(shot, IsBlack);
    QVERIFY2(black > all * 9 / 10, "the screen is black but for the items");
    // The headline in light grey above the centre.
    const QImage headline = shot.copy(0, shot.height() / 2 - 70, shot.width(), 40);
    QVERIFY(CountPixels(headline, [](QRgb p) { return qRed(p) > 120 && qRed(p) == qGreen(p) && qGreen(p) == qBlue(p); }) > 20);
    // The picture's cells: colours no text of this screen has.
    QVERIFY(CountPixels(shot, [](QRgb p) { return qBlue(p) > qRed(p) + 60 || (qRed(p) > qBlue(p) + 100 && qGreen(p) > 60); }) > 50);
    delete saver.data();
  }

  void keyGReportsTheFeedOnScreen() {
    QPointer<CSaverWnd> saver = StartSaver();
    QTest::keyClick(saver.data(), Qt::Key_Shift);
    Settle();
    QVERIFY(saver);
    QTest::keyClick(saver.data(), Qt::Key_G);
    Settle();
    QVERIFY(!saver);
    QCOMPARE(report_, std::optional<std::string>("1"));
  }

  // The key counts, not the text it types: Ctrl+G types a control code,
  // and a Cyrillic layout types a Cyrillic letter on the G key.
  void ctrlGAndGOnANonLatinLayoutGetTheFeed() {
    const int kGKey = 42;  // the X keycode of G
    for (const auto& [key, modifiers, text] :
         {std::tuple{int(Qt::Key_G), Qt::KeyboardModifiers(Qt::ControlModifier), QString(QChar(7))},
          std::tuple{0x41f, Qt::KeyboardModifiers(Qt::NoModifier), QString::fromUtf8("\xD0\xBF")}}) {
      QPointer<CSaverWnd> saver = StartSaver();
      QKeyEvent press(QEvent::KeyPress, key, modifiers, kGKey, 0, 0, text);
      QApplication::sendEvent(saver.data(), &press);
      Settle();
      QVERIFY(!saver);
      QCOMPARE(report_, std::optional<std::string>("1"));
    }
  }

  void otherKeyClosesWithoutAFeedAndPAndSStay() {
    QPointer<CSaverWnd> saver = StartSaver();
    QTest::keyClick(saver.data(), Qt::Key_P);
    QTest::keyClick(saver.data(), Qt::Key_S);
    Settle();
    QVERIFY(saver);
    QVERIFY(saver->Screens().Paused());
    QTest::keyClick(saver.data(), Qt::Key_Space);
    Settle();
    QVERIFY(!saver);
    QCOMPARE(report_, std::optional<std::string>(""));
  }

  void mouseJitterStaysRealMoveCloses() {
    QPointer<CSaverWnd> saver = StartSaver();
    SendMove(saver, QPoint(200, 200));
    SendMove(saver, QPoint(203, 198));
    Settle();
    QVERIFY(saver);
    SendMove(saver, QPoint(206, 200));
    Settle();
    QVERIFY(!saver);
    QCOMPARE(report_, std::optional<std::string>(""));
  }

  void hostDialogStaysHiddenAndStartsTheSaver() {
    RecordingHost host(*engine_);
    vrel::ui::CThreadDlgOwner owner;
    QVERIFY(owner.Start([&host](vrel::ui::CThreadDlgOwner& o) { return new CSaverDlg(o, host); }));
    auto* dialog = qobject_cast<CSaverDlg*>(owner.Dialog());
    QVERIFY(dialog);
    dialog->show();
    QVERIFY(!dialog->isVisible());

    vrel::XmlDoc start;
    start.SetDocumentText("<S/>");
    owner.PostDoc(start, vrel::ui::TDM_SHOW);
    QTRY_VERIFY(dialog->Saver() != nullptr);
    QVERIFY(dialog->Saver()->isVisible());
    QVERIFY(!dialog->isVisible());
    QTest::keyClick(dialog->Saver(), Qt::Key_Escape);
    QTRY_VERIFY(dialog->Saver() == nullptr);
    QCOMPARE(host.ended, std::vector<std::string>{""});

    // A preview parent that is no window shows nothing and reports nothing.
    start.SetDocumentText("<S hwnd=\"4242\"/>");
    owner.PostDoc(start, vrel::ui::TDM_SHOW);
    QTest::qWait(50);
    QVERIFY(dialog->Saver() == nullptr);
    QCOMPARE(host.ended.size(), size_t(1));
  }
};

QTEST_MAIN(SaverWndTest)
#include "saver_wnd_test.moc"
