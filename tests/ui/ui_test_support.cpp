#include "ui_test_support.h"

#include <QTest>
#include <fstream>
#include <sstream>

#include "feeds/time_stamp.h"

namespace vrel::test {

std::string CorpusText(const std::string& name) {
  std::ifstream in(std::string(VREL_CORPUS_DIR) + "/" + name, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

UiEngine::UiEngine(int notificationSeconds) : engine(settings, [] { return ToTime({2024, 3, 1, 9, 0, 0}); }) {
  QVERIFY(settings.SetString("DataFile", dir.filePath("feedstatus.xml").toStdString()).Ok());
  QVERIFY(settings.SetInt("NotificationSeconds", notificationSeconds).Ok());
  QVERIFY(engine.LoadSettings().Ok());
  engine.SetObserver(&recorder);
}

int UiEngine::AddRssFeed() {
  if (!engine.MergeDownload("http://liftoff.example/rss.xml", CorpusText("htmlparser2/RSS_Example.xml"))) return 0;
  std::lock_guard lock(engine.Lock());
  engine.Database().FindFeedByUri("http://liftoff.example/rss.xml");
  return LeadingInt(engine.Database().Document().GetAttribute("feedid"));
}

}  // namespace vrel::test
