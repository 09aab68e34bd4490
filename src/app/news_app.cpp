#include "app/news_app.h"

#include <QLocalSocket>
#include <QLockFile>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>

#include "app/exit_signals.h"
#include "app/instance_client.h"
#include "app/instance_server.h"
#include "app/primary_wait_dialog.h"
#include "app/qt_settings_store.h"
#include "app/settings_dialog.h"
#include "feeds/feed_database.h"
#include "feeds/reader_settings.h"
#include "net/download.h"
#include "saver/widget/foreign_window.h"
#include "saver/widget/saver_dlg.h"
#include "ui/news_dialog.h"

namespace vrel::app {

namespace {

constexpr char kProgramTitle[] = "brackenfold News Reader";

bool WaitsForFirstInstance(char mode) { return mode == 'S' || mode == 'C'; }

// The data file the reader's start chooses (see NewsEngine::LoadSettings).
std::string ChosenDataFile(SettingsStore& store) {
  return FeedDatabase::ChooseDataPath(ReaderSettings(store).Read().dataFile);
}

// What the screen saver windows ask of the main dialog.
class SaverLink : public saver::SaverHost {
 public:
  explicit SaverLink(ui::NewsDialog& dialog) : dialog_(dialog) {}

  NewsEngine& SaverEngine() override { return dialog_.Engine(); }
  void ScreenSaverEnded(const std::string& feedId) override { dialog_.OnScreenSaverEnded(feedId); }

 private:
  ui::NewsDialog& dialog_;
};

ui::NewsDialog::StartFlags StartFlagsFor(const StartRequest& request) {
  ui::NewsDialog::StartFlags flags;
  if (request.mode == 'S' || request.mode == 'P') {
    flags.hiddenStart = true;
    flags.startScreenSaver = true;
    flags.previewHandle = request.previewHandle;
  }
  if (request.mode == 'C') flags.saverRequest = ui::kSaverConfigure;
  if (request.mode == 'S') flags.saverRequest = ui::kSaverRun | ui::kSaverEndApplication;
  return flags;
}

}  // namespace

int NewsApp::Run(const std::vector<std::string>& arguments) {
  if (!PrepareDownloads()) {
    QMessageBox::critical(nullptr, kProgramTitle, "Windows sockets initialization failed.");
    return 1;
  }
  if (const auto window = XScreenSaverWindow(arguments, std::getenv("XSCREENSAVER_WINDOW")))
    return RunXScreenSaverHack(*window);

  const StartRequest request = ParseCommandLine(JoinArguments(arguments));
  QLockFile lock(InstanceRuntimeDir() + '/' + kSingleInstanceLockName);
  // The lock lasts as long as this instance, however long that is; the lock
  // of a killed instance is taken over because its process is gone.
  lock.setStaleLockTime(0);
  if (lock.tryLock(0)) return RunFirstInstance(request);
  // As with a lock nobody may take, a running instance is asked anyway.
  if (lock.error() != QLockFile::LockFailedError)
    std::fprintf(stderr, "vrel: cannot create the single-instance lock in %s\n", qPrintable(InstanceRuntimeDir()));
  return RunSecondInstance(request);
}

int NewsApp::RunSecondInstance(const StartRequest& request) {
  const QString socketPath = InstanceSocketPath();
  QLocalSocket socket;
  const bool found = SendToFirstInstance(socket, socketPath, request.mode, request.previewHandle);
  if (!found)
    std::fprintf(stderr, "vrel: another instance holds the single-instance lock but does not answer at %s\n",
                 qPrintable(socketPath));
  if (WaitsForFirstInstance(request.mode)) {
    PrimaryWaitDialog wait(request.mode, socketPath, found);
    wait.exec();
  }
  return 0;
}

int NewsApp::RunFirstInstance(const StartRequest& request) {
  InstanceServer server;
  if (!server.Listen())
    std::fprintf(stderr, "vrel: later starts cannot reach this instance: %s\n", qPrintable(server.ErrorText()));

  QtSettingsStore store;
  ui::NewsDialog dialog(store);
  // Held until the program ends, after its last save: no vrel-cli (run
  // from cron, say, where the socket is not found) changes the file behind
  // the program's back, nor a reader of another runtime folder.
  const std::string dataFile = ChosenDataFile(store);
  if (const Outcome locked = dialog.Engine().LockDataFile(dataFile, kDataFileLockWait); !locked) {
    std::fprintf(stderr, "vrel: %s: %s\n", dataFile.c_str(), locked.Message().c_str());
    QMessageBox::critical(nullptr, kProgramTitle, QString::fromStdString(locked.Message() + "\n\n" + dataFile));
    return 1;
  }
  dialog.SetStartFlags(StartFlagsFor(request));
  SaverLink saverLink(dialog);
  dialog.SetScreenSaverWindows(
      [&saverLink](ui::CThreadDlgOwner& owner) -> ui::CThreadDlg* { return new saver::CSaverDlg(owner, saverLink); });
  QObject::connect(&server, &InstanceServer::requestReceived, &dialog, &ui::NewsDialog::OnInterProcessRequest);
  QObject::connect(&dialog, &ui::NewsDialog::releaseWaitDialog, &server, &InstanceServer::ReleaseWaiter);
  QObject::connect(&dialog, &ui::NewsDialog::settingsRequested, &dialog, [&dialog] {
    SettingsDialog settings(dialog.Engine(), &dialog);
    settings.exec();
  });
  ExitSignals exitSignals;
  if (!exitSignals.Installed()) std::fprintf(stderr, "vrel: log-out and kill will end this instance without saving\n");
  QObject::connect(&exitSignals, &ExitSignals::exitRequested, &dialog, &ui::NewsDialog::ExitProgram);
  dialog.Run();
  return 0;
}

int NewsApp::RunXScreenSaverHack(unsigned long window) {
  if (window == 0) {
    std::fprintf(stderr, "vrel: no window to draw the screen saver in (-window-id ID, or -root with XSCREENSAVER_WINDOW)\n");
    return 1;
  }
  QtSettingsStore store;
  return saver::RunSaverInForeignWindow(window, ChosenDataFile(store));
}

}  // namespace vrel::app
