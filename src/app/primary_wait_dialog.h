// What a later start with the 's' or 'c' switch runs while the first
// instance shows the screen saver or its settings: an invisible dialog that
// keeps the process (and so the screen saver launcher) waiting until the
// first instance releases it or goes away.
#pragma once

#include <QDialog>
#include <QLocalSocket>
#include <QString>
#include <QTimer>

namespace vrel::app {

class PrimaryWaitDialog : public QDialog {
  Q_OBJECT

 public:
  // firstInstanceFound: whether the first instance answered the hand-over;
  // without one the dialog ends at its first check.
  PrimaryWaitDialog(char startMode, const QString& socketPath, bool firstInstanceFound, QWidget* parent = nullptr);

  // How often the dialog checks that the first instance is still there.
  static constexpr int kCheckIntervalMs = 250;

 private:
  void Announce();
  void ReadMessages();
  void CheckFirstInstance();

  QString socketPath_;
  bool firstInstanceFound_;
  QLocalSocket socket_;
  QTimer checkTimer_;
};

}  // namespace vrel::app
