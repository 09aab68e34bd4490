// vrel-cli while the reader runs: commands that would change the reader's
// data file are refused, reading commands and other files work as usual.
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

  Outcome RunCli(const QStringList& arguments) {
    QProcess cli;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_RUNTIME_DIR", home_.filePath("runtime"));
    environment.insert("XDG_CONFIG_HOME", home_.filePath("config"));
    cli.setProcessEnvironment(environment);
    cli.setWorkingDirectory(home_.path());
    cli.start(VREL_CLI_PATH, arguments);
    // The server in this process answers only while the event loop runs.
    while (!cli.waitForFinished(10)) QTest::qWait(10);
    return {cli.exitCode(), cli.readAllStandardOutput(), cli.readAllStandardError()};
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
    QFile file(dataFile_);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(kDataFileText);
    file.close();
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
