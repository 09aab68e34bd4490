// Later starts of the real program against a first instance: this test
// process with the program's own server, and the real program as the first
// instance. Every process shares a private runtime folder, so neither the
// lock nor the socket of a reader the user runs is touched.
#include <signal.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "app/qt_settings_store.h"
#include "app/instance_client.h"
#include "app/instance_server.h"

using vrel::app::InstanceServer;

namespace {

constexpr int kEndsSoonMs = 5000;

}  // namespace

class InstanceHandoverTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir home_;
  std::unique_ptr<QLockFile> lock_;
  std::unique_ptr<InstanceServer> server_;
  std::vector<std::unique_ptr<QProcess>> processes_;

  QString RuntimeDir() const { return home_.filePath("runtime"); }
  QString ConfigDir() const { return home_.filePath("config"); }

  QProcess& Start(const QStringList& arguments) {
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_RUNTIME_DIR", RuntimeDir());
    environment.insert("XDG_CONFIG_HOME", ConfigDir());
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    process->setProcessEnvironment(environment);
    process->setWorkingDirectory(home_.path());
    process->start(VREL_APP_PATH, arguments);
    processes_.push_back(std::move(process));
    return *processes_.back();
  }

  // This process plays the first instance: it holds the lock and listens.
  void BecomeFirstInstance() {
    lock_ = std::make_unique<QLockFile>(RuntimeDir() + "/brackenfoldNewsOneOnly_Mutex");
    lock_->setStaleLockTime(0);
    QVERIFY(lock_->tryLock(0));
    server_ = std::make_unique<InstanceServer>();
    QVERIFY2(server_->Listen(), qPrintable(server_->ErrorText()));
  }

  // Waits with the event loop running, so that this process's server can
  // answer meanwhile.
  static bool EndsWithin(QProcess& process, int milliseconds) {
    QDeadlineTimer deadline(milliseconds);
    while (process.state() != QProcess::NotRunning && !deadline.hasExpired()) QTest::qWait(20);
    return process.state() == QProcess::NotRunning && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
  }

  static bool StillRunningAfter(QProcess& process, int milliseconds) {
    QTest::qWait(milliseconds);
    return process.state() == QProcess::Running;
  }

  // The (mode, handle) pairs received so far.
  static QList<QPair<int, qint64>> Requests(const QSignalSpy& spy) {
    QList<QPair<int, qint64>> requests;
    for (const QList<QVariant>& arguments : spy)
      requests.append({arguments[0].value<char>(), arguments[1].toLongLong()});
    return requests;
  }

 private slots:
  void initTestCase() {
    QVERIFY(home_.isValid());
    QVERIFY(QDir().mkpath(RuntimeDir()));
    QVERIFY(QFile::setPermissions(RuntimeDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QVERIFY(QDir().mkpath(ConfigDir()));
    qputenv("XDG_RUNTIME_DIR", RuntimeDir().toLocal8Bit());
    QCOMPARE(vrel::app::InstanceRuntimeDir(), RuntimeDir());
  }

  void cleanup() {
    for (auto& process : processes_) {
      if (process->state() != QProcess::NotRunning) {
        process->kill();
        process->waitForFinished();
      }
    }
    processes_.clear();
    server_.reset();
    lock_.reset();
  }

  void PlainLaterStartHandsOverAndEnds() {
    BecomeFirstInstance();
    QSignalSpy spy(server_.get(), &InstanceServer::requestReceived);
    QProcess& later = Start({});
    QVERIFY(EndsWithin(later, kEndsSoonMs));
    QCOMPARE(later.readAllStandardError(), QByteArray());
    QTRY_COMPARE(spy.count(), 1);
    QCOMPARE(Requests(spy).front(), (QPair<int, qint64>(0, 0)));
  }

  void PreviewHandsOverItsWindowAndEnds() {
    BecomeFirstInstance();
    QSignalSpy spy(server_.get(), &InstanceServer::requestReceived);
    QProcess& later = Start({"/p", "1234"});
    QVERIFY(EndsWithin(later, kEndsSoonMs));
    QTRY_COMPARE(spy.count(), 1);
    QCOMPARE(Requests(spy).front(), (QPair<int, qint64>('P', 1234)));
  }

  void ScreenSaverStartWaitsUntilReleased() {
    BecomeFirstInstance();
    QSignalSpy spy(server_.get(), &InstanceServer::requestReceived);
    QProcess& later = Start({"/s"});
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 2, kEndsSoonMs);
    const auto requests = Requests(spy);
    QCOMPARE(requests[0], (QPair<int, qint64>('S', 0)));
    QCOMPARE(requests[1].first, int('N'));
    QCOMPARE(requests[1].second, later.processId());

    // Several checks of the first instance later it still waits.
    QVERIFY2(StillRunningAfter(later, 1000), later.readAllStandardError().constData());
    server_->ReleaseWaiter(requests[1].second);
    QVERIFY(EndsWithin(later, kEndsSoonMs));
  }

  void TwoQuickScreenSaverStartsAreReleasedOneByOne() {
    BecomeFirstInstance();
    QSignalSpy spy(server_.get(), &InstanceServer::requestReceived);
    QProcess& first = Start({"-s"});
    QProcess& second = Start({"/S"});
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 4, kEndsSoonMs);
    int announced = 0;
    for (const auto& request : Requests(spy)) announced += request.first == 'N';
    QCOMPARE(announced, 2);

    server_->ReleaseWaiter(second.processId());
    QVERIFY(EndsWithin(second, kEndsSoonMs));
    QCOMPARE(first.state(), QProcess::Running);
    server_->ReleaseWaiter(12345678);  // nobody waits under this handle
    QVERIFY(StillRunningAfter(first, 600));
    server_->ReleaseWaiter(first.processId());
    QVERIFY(EndsWithin(first, kEndsSoonMs));
  }

  void WaiterEndsWhenTheFirstInstanceGoesAway() {
    BecomeFirstInstance();
    QSignalSpy spy(server_.get(), &InstanceServer::requestReceived);
    QProcess& later = Start({"/c"});
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 2, kEndsSoonMs);
    QCOMPARE(Requests(spy)[0].first, int('C'));
    server_.reset();
    QVERIFY(EndsWithin(later, 1500));
  }

  void SilentFirstInstanceLeavesNobodyWaiting() {
    // The lock is held but nothing answers: the later start neither becomes
    // a second reader nor waits for ever.
    lock_ = std::make_unique<QLockFile>(RuntimeDir() + "/brackenfoldNewsOneOnly_Mutex");
    QVERIFY(lock_->tryLock(0));
    QProcess& later = Start({"/s"});
    QVERIFY(EndsWithin(later, kEndsSoonMs));
    QVERIFY(later.readAllStandardError().contains("does not answer"));
  }

  // The real program as the first instance, on the data file feeds.xml.
  // The test server is not running then; the reader listens itself.
  QProcess* StartRealReader(const QString& dataFile) {
    QFile data(dataFile);
    if (!data.open(QIODevice::WriteOnly)) return nullptr;
    data.write("<?xml version=\"1.0\"?><FEEDSTATUS><FEED uri=\"http://127.0.0.1:9/feed\"/></FEEDSTATUS>");
    data.close();
    vrel::app::QtSettingsStore settings(ConfigDir() + "/Ostrivane Software/vrel.conf");
    if (!settings.SetString("DataFile", dataFile.toStdString())) return nullptr;

    QProcess& reader = Start({});
    if (!reader.waitForStarted()) return nullptr;
    QLocalSocket probe;
    QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired() && reader.state() == QProcess::Running) {
      if (vrel::app::SendToFirstInstance(probe, vrel::app::InstanceSocketPath(), 0, 0)) return &reader;
      QTest::qWait(50);
    }
    qWarning("the reader did not answer: %s", reader.readAllStandardError().constData());
    return nullptr;
  }

  static void Terminate(QProcess& process) { ::kill(static_cast<pid_t>(process.processId()), SIGTERM); }

  // It takes over the lock of a killed reader, answers a later start, and
  // saves on SIGTERM.
  void RealFirstInstanceSavesOnSigterm() {
    QProcess gone;
    gone.start("true");
    QVERIFY(gone.waitForStarted());
    const qint64 deadPid = gone.processId();
    QVERIFY(gone.waitForFinished());
    QFile stale(RuntimeDir() + "/brackenfoldNewsOneOnly_Mutex");
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.write(QByteArray::number(deadPid) + "\nvrel\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    stale.close();

    const QString dataFile = home_.filePath("feeds.xml");
    QProcess* reader = StartRealReader(dataFile);
    QVERIFY(reader);
    const QDateTime written = QFileInfo(dataFile).lastModified();

    QProcess& later = Start({});
    QVERIFY(EndsWithin(later, kEndsSoonMs));
    QCOMPARE(reader->state(), QProcess::Running);

    QTest::qWait(50);
    Terminate(*reader);
    QVERIFY2(EndsWithin(*reader, 10000), reader->readAllStandardError().constData());
    QVERIFY(QFileInfo(dataFile).lastModified() > written);
    QFile data(dataFile);
    QVERIFY(data.open(QIODevice::ReadOnly));
    QVERIFY(data.readAll().contains("http://127.0.0.1:9/feed"));
    vrel::app::QtSettingsStore settings(ConfigDir() + "/Ostrivane Software/vrel.conf");
    QVERIFY(settings.Read("MainWindow").has_value());
    QVERIFY(!QFile::exists(RuntimeDir() + "/brackenfoldNewsOneOnly_Mutex"));
  }

  // Two quick screen saver starts against the real reader: the newer wait
  // releases the older one, and the reader's exit releases the newer.
  void RealReaderReleasesTheOlderOfTwoWaits() {
    QProcess* reader = StartRealReader(home_.filePath("feeds.xml"));
    QVERIFY(reader);
    QProcess& older = Start({"/s"});
    QVERIFY(StillRunningAfter(older, 1500));
    QProcess& newer = Start({"/s"});
    QVERIFY(EndsWithin(older, kEndsSoonMs));
    QVERIFY(StillRunningAfter(newer, 1000));
    Terminate(*reader);
    QVERIFY(EndsWithin(*reader, 10000));
    QVERIFY(EndsWithin(newer, kEndsSoonMs));
  }
};

QTEST_GUILESS_MAIN(InstanceHandoverTest)
#include "instance_handover_test.moc"
