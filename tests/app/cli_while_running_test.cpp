// vrel-cli while the reader runs: commands that would change the reader's
// data file are refused, reading commands and other files work as usual.
#include <signal.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "app/qt_settings_store.h"
#include "app/instance_server.h"

namespace {

constexpr char kDataFileText[] =
    "<?xml version=\"1.0\"?><FEEDSTATUS><FEED uri=\"http://127.0.0.1:9/feed\" title=\"Kept\"/></FEEDSTATUS>";

}  // namespace

class CliWhileRunningTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir home_;
  QString dataFile_;

  struct Outcome {
    int exitCode = -1;
    QByteArray out, err;
  };

  QProcessEnvironment Environment(const QString& runtime) const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_RUNTIME_DIR", home_.filePath(runtime));
    environment.insert("XDG_CONFIG_HOME", home_.filePath("config"));
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    return environment;
  }

  Outcome RunCli(const QStringList& arguments) {
    QProcess cli;
    cli.setProcessEnvironment(Environment("runtime"));
    cli.setWorkingDirectory(home_.path());
    cli.start(VREL_CLI_PATH, arguments);
    // The server in this process answers only while the event loop runs.
    while (!cli.waitForFinished(10)) QTest::qWait(10);
    return {cli.exitCode(), cli.readAllStandardOutput(), cli.readAllStandardError()};
  }

  bool WriteDataFile() const {
    QFile file(dataFile_);
    return file.open(QIODevice::WriteOnly) && file.write(kDataFileText) == qint64(sizeof kDataFileText - 1);
  }

  QByteArray DataFileText() const {
    QFile file(dataFile_);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

 private slots:
  void initTestCase() {
    QVERIFY(home_.isValid());
    QVERIFY(QDir().mkpath(home_.filePath("runtime")));
    QFile::setPermissions(home_.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", home_.filePath("runtime").toLocal8Bit());
    dataFile_ = home_.filePath("feeds.xml");
    QVERIFY(WriteDataFile());
    vrel::app::QtSettingsStore settings(home_.filePath("config/Ostrivane Software/vrel.conf"));
    QVERIFY(settings.SetString("DataFile", dataFile_.toStdString()).Ok());
  }

  void ChangingCommandsAreRefusedWhileTheReaderRuns() {
    vrel::app::InstanceServer reader;
    QVERIFY(reader.Listen());
    for (const QStringList& command : {QStringList{"read", "all"}, QStringList{"delete", "1"},
                                       QStringList{"--data", dataFile_, "add", "http://127.0.0.1:9/other"}}) {
      const Outcome outcome = RunCli(command);
      QCOMPARE(outcome.exitCode, 1);
      QVERIFY2(outcome.err.contains("vrel is running"), outcome.err.constData());
    }
    QCOMPARE(DataFileText(), QByteArray(kDataFileText));

    const Outcome list = RunCli({"list"});
    QCOMPARE(list.exitCode, 0);
    QVERIFY2(list.out.contains("Kept"), list.out.constData());
  }

  // The reader runs with another runtime folder (vrel-cli from cron or ssh
  // does not find its socket): the data file's lock still keeps it safe.
  void ChangingCommandsWaitForAReaderTheyCannotReachThenGiveUp() {
    const QString runtime = home_.filePath("reader-runtime");
    QVERIFY(QDir().mkpath(runtime));
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcess reader;
    reader.setProcessEnvironment(Environment("reader-runtime"));
    reader.setWorkingDirectory(home_.path());
    reader.start(VREL_APP_PATH, {});
    QVERIFY(reader.waitForStarted());
    const QByteArray pid = QByteArray::number(reader.processId());
    QFile lock(dataFile_ + ".lock");
    QDeadlineTimer started(20000);
    while (!started.hasExpired() && !(lock.open(QIODevice::ReadOnly) && lock.readAll().startsWith(pid + "\n"))) {
      lock.close();
      QTest::qWait(20);
    }
    QVERIFY2(!started.hasExpired(), reader.readAllStandardError().constData());

    const Outcome refused = RunCli({"delete", "1"});
    QCOMPARE(refused.exitCode, 1);
    QVERIFY2(refused.err.endsWith("vrel-cli: The data file is in use by another vrel or vrel-cli (PID " + pid + ")\n"),
             refused.err.constData());
    QVERIFY(RunCli({"list"}).out.contains("Kept"));

    ::kill(static_cast<pid_t>(reader.processId()), SIGTERM);
    QVERIFY(reader.waitForFinished(10000));
    QVERIFY(DataFileText().contains("Kept"));
    QVERIFY(WriteDataFile());  // as the reader found it, for the tests after this one
  }

  void OtherDataFilesAndAStoppedReaderAreFree() {
    {
      vrel::app::InstanceServer reader;
      QVERIFY(reader.Listen());
      const QString other = home_.filePath("other.xml");
      QFile::copy(dataFile_, other);
      QCOMPARE(RunCli({"--data", other, "delete", "1"}).exitCode, 0);
      QFile otherFile(other);
      QVERIFY(otherFile.open(QIODevice::ReadOnly));
      QVERIFY(!otherFile.readAll().contains("127.0.0.1:9/feed"));
      QCOMPARE(DataFileText(), QByteArray(kDataFileText));
    }
    const Outcome outcome = RunCli({"delete", "1"});
    QCOMPARE(outcome.exitCode, 0);
    QVERIFY(!DataFileText().contains("Kept"));
  }
};

QTEST_GUILESS_MAIN(CliWhileRunningTest)
#include "cli_while_running_test.moc"
