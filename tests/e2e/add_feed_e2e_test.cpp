// The reader as a user meets it: the main dialog over a fresh settings file
// and data file, a feed served on 127.0.0.1 typed into the address box and
// added, then shown in the feed list and kept in the data file at exit.
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <mutex>
#include <string>

#include "app/qt_settings_store.h"
#include "edit/widget/text_edit.h"
#include "feeds/feed_database.h"
#include "markup/widget/markup_view.h"
#include "test_http_server.h"
#include "ui/news_dialog.h"

using vrel::app::QtSettingsStore;
using vrel::ui::NewsDialog;

namespace {

QPushButton* ButtonNamed(QWidget& parent, const QString& text) {
  for (QPushButton* button : parent.findChildren<QPushButton*>())
    if (button->text().remove('&') == text) return button;
  return nullptr;
}

bool FeedListShows(QWidget& parent, const std::string& text) {
  for (const vrel::markup::MarkupView* view : parent.findChildren<vrel::markup::MarkupView*>())
    if (view->Text().find(text) != std::string::npos) return true;
  return false;
}

}  // namespace

class AddFeedEndToEndTest : public QObject {
  Q_OBJECT

 private slots:
  void AddedFeedAppearsInTheListAndIsSaved() {
    vrel::test::TestHttpServer server;
    QVERIFY2(server.Running(), server.StartError().c_str());
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString dataFile = dir.filePath("feedstatus.xml");
    QFile empty(dataFile);
    QVERIFY(empty.open(QIODevice::WriteOnly));
    empty.write("<?xml version=\"1.0\"?><FEEDSTATUS/>");
    empty.close();

    QtSettingsStore store(dir.filePath("vrel.conf"));
    QVERIFY(store.SetString("DataFile", dataFile.toStdString()).Ok());
    QVERIFY(store.SetInt("Notification", 0).Ok());
    const std::string address = server.Url("/redirect/0");
    {
      auto dialog = std::make_unique<NewsDialog>(store);
      dialog->Initialise();
      dialog->show();

      auto* box = dialog->findChild<vrel::edit::TextEdit*>();
      QVERIFY(box);
      QPushButton* add = ButtonNamed(*dialog, "Add");
      QVERIFY(add);
      box->SetText(address);
      add->click();

      // The served feed's own title replaces the address once it is read.
      QTRY_VERIFY_WITH_TIMEOUT(FeedListShows(*dialog, "Plain"), 30000);
      dialog->ExitProgram();
    }
    QFile saved(dataFile);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QByteArray text = saved.readAll();
    QVERIFY2(text.contains(QByteArray::fromStdString(address)), text.constData());
    QVERIFY(store.Read("MainWindow").has_value());
  }

  // A data file of many feeds never downloaded: the reader catches up on
  // all of them, side by side, without a tick per feed.
  void ManyFeedsAreAllMerged() {
    vrel::test::TestHttpServer server;
    QVERIFY2(server.Running(), server.StartError().c_str());
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    constexpr int kFeeds = 60;
    std::string text = "<?xml version=\"1.0\"?><FEEDSTATUS>";
    for (int i = 0; i < kFeeds; ++i)
      text += "<FEED uri=\"" + server.Url("/corpus/feed-rs/rss_2.0_bbc.xml?feed=" + std::to_string(i)) + "\"/>";
    text += "</FEEDSTATUS>";
    const QString dataFile = dir.filePath("feedstatus.xml");
    QFile file(dataFile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text.data(), qint64(text.size()));
    file.close();

    QtSettingsStore store(dir.filePath("vrel.conf"));
    QVERIFY(store.SetString("DataFile", dataFile.toStdString()).Ok());
    QVERIFY(store.SetInt("Notification", 0).Ok());
    NewsDialog dialog(store);
    dialog.Initialise();
    const auto merged = [&dialog] {
      std::lock_guard lock(dialog.Engine().Lock());
      int count = 0;
      vrel::ForEachFeed(dialog.Engine().Database().Document(), [&] {
        count += dialog.Engine().Database().Document().GetAttribute("arrivetime").empty() ? 0 : 1;
      });
      return count;
    };
    QTRY_COMPARE_WITH_TIMEOUT(merged(), kFeeds, 60000);
    QTRY_COMPARE(dialog.Engine().StatusLine(), std::string("Ready"));
    QVERIFY(dialog.Engine().StatusMessages().empty());
  }
};

QTEST_MAIN(AddFeedEndToEndTest)
#include "add_feed_e2e_test.moc"
