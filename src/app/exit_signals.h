// SIGTERM and SIGINT (log-out, shutdown, Ctrl+C) end the program the way
// "Exit" does, so the data file and the window placements are saved. The
// signal handler only writes to a pipe; the work happens in the event loop.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

namespace vrel::app {

class ExitSignals : public QObject {
  Q_OBJECT

 public:
  // One per process: it owns the handlers of both signals.
  explicit ExitSignals(QObject* parent = nullptr);
  ~ExitSignals() override;

  bool Installed() const { return notifier_ != nullptr; }

 signals:
  void exitRequested();

 private:
  void Drain();

  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace vrel::app
