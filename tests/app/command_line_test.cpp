#include <QTest>
#include <climits>

#include "app/command_line.h"

using vrel::app::JoinArguments;
using vrel::app::ParseCommandLine;
using vrel::app::StartRequest;
using vrel::app::XScreenSaverWindow;

class CommandLineTest : public QObject {
  Q_OBJECT

 private slots:
  void Modes_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("mode");
    QTest::addColumn<qlonglong>("handle");
    QTest::newRow("no switch") << "" << 0 << 0LL;
    QTest::newRow("words only") << "hello world" << 0 << 0LL;
    QTest::newRow("switch at the end") << "/" << 0 << 0LL;
    QTest::newRow("dash at the end") << "abc -" << 0 << 0LL;
    QTest::newRow("slash s") << "/s" << int('S') << 0LL;
    QTest::newRow("slash S") << "/S" << int('S') << 0LL;
    QTest::newRow("dash s") << "-s" << int('S') << 0LL;
    QTest::newRow("slash c") << "/c" << int('C') << 0LL;
    QTest::newRow("c with colon and number") << "/c:1234" << int('C') << 0LL;
    QTest::newRow("p blank handle") << "/p 1234" << int('P') << 1234LL;
    QTest::newRow("upper P") << "/P 77" << int('P') << 77LL;
    QTest::newRow("p blanks then handle") << "-p    42" << int('P') << 42LL;
    QTest::newRow("p glued handle") << "/p12" << int('P') << 12LL;
    QTest::newRow("p alone is a plain start") << "/p" << int('p') << 0LL;
    QTest::newRow("p and one more is too short") << "/p1" << int('p') << 0LL;
    QTest::newRow("p with colon reads nothing") << "/p:123" << int('P') << 0LL;
    QTest::newRow("p with a huge handle saturates") << "/p 99999999999999999999999" << int('P')
                                                    << qlonglong(LLONG_MAX);
    QTest::newRow("other letter kept") << "/x" << int('x') << 0LL;
    QTest::newRow("first switch counts") << "file /s -c" << int('S') << 0LL;
    QTest::newRow("dash inside a word") << "my-screen" << int('S') << 0LL;
  }

  void Modes() {
    QFETCH(QString, text);
    QFETCH(int, mode);
    QFETCH(qlonglong, handle);
    const StartRequest request = ParseCommandLine(text.toStdString());
    QCOMPARE(int(request.mode), mode);
    QCOMPARE(request.previewHandle, handle);
  }

  void ArgumentsJoinWithBlanks() {
    QCOMPARE(JoinArguments({"/p", "1234"}), std::string("/p 1234"));
    QCOMPARE(ParseCommandLine(JoinArguments({"/p", "1234"})).previewHandle, 1234LL);
    QCOMPARE(JoinArguments({}), std::string());
  }

  void XScreenSaverSwitches() {
    QCOMPARE(XScreenSaverWindow({"-window-id", "0x2a"}, nullptr), std::optional<unsigned long>(42));
    QCOMPARE(XScreenSaverWindow({"--window-id", "4242"}, nullptr), std::optional<unsigned long>(4242));
    QCOMPARE(XScreenSaverWindow({"-root"}, "0x10"), std::optional<unsigned long>(16));
    // Without a window to draw in the caller gets 0 and says so.
    QCOMPARE(XScreenSaverWindow({"-root"}, nullptr), std::optional<unsigned long>(0));
    QCOMPARE(XScreenSaverWindow({"-window-id", "window"}, nullptr), std::optional<unsigned long>(0));
    QCOMPARE(XScreenSaverWindow({"-window-id", "-5"}, nullptr), std::optional<unsigned long>(0));
    // The screen saver switches and a dangling -window-id are ordinary starts.
    QVERIFY(!XScreenSaverWindow({"/s"}, "0x10"));
    QVERIFY(!XScreenSaverWindow({"-window-id"}, nullptr));
    QVERIFY(!XScreenSaverWindow({}, "0x10"));
  }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "command_line_test.moc"
