// Shared by the window tests: an engine over a memory store with a fixed
// clock, a link handler that launches nothing, and the test programs' list.
#pragma once

#include <QTemporaryDir>

#include <string>
#include <vector>

#include "feeds/news_engine.h"
#include "feeds/settings_store.h"
#include "markup/browser_launch.h"
#include "markup/requests.h"

namespace vrel::test {

std::string CorpusText(const std::string& name);

struct NoLauncher : BrowserLauncher {
  bool Launch(const std::vector<std::string>& arguments) override {
    launches.push_back(arguments);
    return true;
  }
  std::vector<std::vector<std::string>> launches;
};

struct ViewRecorder : NewsObserver {
  void ShowView(const XmlDoc& request) override { views.push_back(request.GetDocumentText()); }
  std::vector<std::string> views;
};

struct UiEngine {
  explicit UiEngine(int notificationSeconds = 8);
  // A stored feed with items: the id of the RSS example of the corpus.
  int AddRssFeed();

  QTemporaryDir dir;
  MemorySettingsStore settings;
  NewsEngine engine;
  ViewRecorder recorder;
  NoLauncher launcher;
  LinkHandler links{engine, launcher};
};

int RunThreadDlgTests(int argc, char** argv);
int RunViewerTests(int argc, char** argv);
int RunNotifyTests(int argc, char** argv);
int RunFeedSettingsTests(int argc, char** argv);
int RunWindowPlacementTests(int argc, char** argv);
int RunRefreshThrottleTests(int argc, char** argv);
int RunNewsNoticeTests(int argc, char** argv);

}  // namespace vrel::test
