// Desktop notifications through a notification service of the test's own
// on a private session bus: one notification for feeds that finish
// together, the next one in its place while it is up, and its default
// action opening the first feed's new items in the viewer.
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <vector>

#include "ui/desktop_notifier.h"
#include "ui/news_dialog.h"

using namespace vrel;
using namespace vrel::ui;

namespace {

constexpr char kService[] = "org.freedesktop.Notifications";
constexpr char kPath[] = "/org/freedesktop/Notifications";

// A bus daemon of the test's own, so that no desktop's service answers.
class PrivateBus {
 public:
  ~PrivateBus() {
    daemon_.kill();
    daemon_.waitForFinished();
  }

  // The bus address; empty when no daemon starts.
  QString Start() {
    daemon_.start("dbus-daemon", {"--session", "--nofork", "--nopidfile", "--print-address"});
    if (!daemon_.waitForStarted(5000)) return {};
    while (!daemon_.canReadLine())
      if (!daemon_.waitForReadyRead(5000)) return {};
    return QString::fromUtf8(daemon_.readLine()).trimmed();
  }

 private:
  QProcess daemon_;
};

// Records what is asked of it and numbers the notifications as a desktop would.
class FakeNotificationServer : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

 public:
  struct Call {
    QString app;
    uint replacesId;
    QString summary, body;
    QStringList actions;
  };
  std::vector<Call> calls;

 public slots:
  QStringList GetCapabilities() { return {"actions", "body", "body-markup"}; }
  uint Notify(const QString& app, uint replacesId, const QString& /*icon*/, const QString& summary,
              const QString& body, const QStringList& actions, const QVariantMap& /*hints*/, int /*timeout*/) {
    calls.push_back({app, replacesId, summary, body, actions});
    return replacesId != 0 ? replacesId : ++lastId_;
  }
  void CloseNotification(uint /*id*/) {}

 signals:
  void ActionInvoked(uint id, const QString& actionKey);
  void NotificationClosed(uint id, uint reason);

 private:
  uint lastId_ = 0;
};

std::string Rss(const char* channel, std::initializer_list<const char*> titles) {
  std::string text = std::string("<rss version=\"2.0\"><channel><title>") + channel + "</title>";
  for (const char* title : titles) text += std::string("<item><title>") + title + "</title></item>";
  return text + "</channel></rss>";
}

}  // namespace

class DesktopNoticesTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  PrivateBus bus_;
  FakeNotificationServer server_;
  MemorySettingsStore store_;
  std::unique_ptr<NewsDialog> dialog_;

 private slots:
  void initTestCase() {
    const QString address = bus_.Start();
    if (address.isEmpty()) QSKIP("dbus-daemon does not start here");
    QDBusConnection serverSide = QDBusConnection::connectToBus(address, "notification-server");
    QVERIFY(serverSide.registerObject(kPath, &server_, QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals));
    QVERIFY(serverSide.registerService(kService));

    QFile empty(dir_.filePath("feedstatus.xml"));
    QVERIFY(empty.open(QIODevice::WriteOnly));
    QVERIFY(store_.SetString("DataFile", empty.fileName().toStdString()).Ok());
    QVERIFY(store_.SetInt("DesktopNotifications", 1).Ok());
    dialog_ = std::make_unique<NewsDialog>(store_);
    dialog_->SetNoticeService(
        std::make_unique<DesktopNotifier>(QDBusConnection::connectToBus(address, "reader"), nullptr));
    dialog_->Initialise();
  }

  void cleanupTestCase() { dialog_.reset(); }

  void FeedsFinishingTogetherMakeOneNotificationWhoseActionOpensTheFirst() {
    QSignalSpy views(dialog_.get(), &NewsDialog::viewRequested);
    NewsEngine& engine = dialog_->Engine();
    QVERIFY(engine.MergeDownload("http://one.example/", Rss("One", {"1a & b", "1b"})));
    QVERIFY(engine.MergeDownload("http://two.example/", Rss("Two", {"2a", "2b", "2c"})));
    QTRY_COMPARE(server_.calls.size(), size_t(1));
    QTest::qWait(1200);  // no second notification follows
    QCOMPARE(server_.calls.size(), size_t(1));
    const FakeNotificationServer::Call& call = server_.calls.front();
    QCOMPARE(call.app, QString("brackenfold News Reader"));
    QCOMPARE(call.replacesId, 0u);
    QCOMPARE(call.summary, QString("5 new items in 2 feeds"));
    QCOMPARE(call.body, QString("1a &amp; b\n1b\n2a"));  // the service reads mark-up
    QVERIFY(call.actions.contains("default"));
    QVERIFY(views.isEmpty());  // the notification window's place is taken, nothing else opens

    emit server_.ActionInvoked(1, "default");
    QTRY_COMPARE(views.size(), 1);
    const QString request = views.front().front().toString();
    QVERIFY2(request.contains("feedid=\"1\"") && request.contains("type=\"NewOnly\""), qPrintable(request));
  }

  void NewsWhileItIsUpReplacesItAndAfterItClosedStandsAlone() {
    NewsEngine& engine = dialog_->Engine();
    QVERIFY(engine.MergeDownload("http://two.example/", Rss("Two", {"2a", "2b", "2c", "2d"})));
    QTRY_COMPARE(server_.calls.size(), size_t(2));
    QCOMPARE(server_.calls.back().replacesId, 1u);
    QCOMPARE(server_.calls.back().summary, QString("6 new items in 2 feeds"));

    emit server_.NotificationClosed(1, 2);  // reaches the reader within the next window
    QVERIFY(engine.MergeDownload("http://two.example/", Rss("Two", {"2a", "2b", "2c", "2d", "2e"})));
    QTRY_COMPARE(server_.calls.size(), size_t(3));
    QCOMPARE(server_.calls.back().replacesId, 0u);
    QCOMPARE(server_.calls.back().summary, QString("Two"));
    QCOMPARE(server_.calls.back().body, QString("5 new items\n2a\n2b\n2c"));
  }
};

QTEST_MAIN(DesktopNoticesTest)
#include "desktop_notices_test.moc"
