#include <QApplication>

#include "ui_test_support.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  int failures = 0;
  failures += vrel::test::RunThreadDlgTests(argc, argv);
  failures += vrel::test::RunViewerTests(argc, argv);
  failures += vrel::test::RunNotifyTests(argc, argv);
  failures += vrel::test::RunFeedSettingsTests(argc, argv);
  failures += vrel::test::RunWindowPlacementTests(argc, argv);
  failures += vrel::test::RunRefreshThrottleTests(argc, argv);
  failures += vrel::test::RunNewsNoticeTests(argc, argv);
  return failures == 0 ? 0 : 1;
}
