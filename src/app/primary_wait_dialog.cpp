#include "app/primary_wait_dialog.h"

#include <QCoreApplication>
#include <QLabel>
#include <QVBoxLayout>

#include "app/instance_client.h"
#include "app/instance_protocol.h"
#include "app/instance_server.h"

namespace vrel::app {

PrimaryWaitDialog::PrimaryWaitDialog(char startMode, const QString& socketPath, bool firstInstanceFound,
                                     QWidget* parent)
    : QDialog(parent), socketPath_(socketPath), firstInstanceFound_(firstInstanceFound) {
  // The dialog runs modally like any other but never reaches the screen.
  setAttribute(Qt::WA_DontShowOnScreen);
  setWindowTitle("brackenfold News Reader");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("This dialog merely waits for the primary process", this));
  layout->addWidget(new QLabel(QString("Flag=%1").arg(QChar::fromLatin1(startMode)), this));

  connect(&checkTimer_, &QTimer::timeout, this, &PrimaryWaitDialog::CheckFirstInstance);
  checkTimer_.start(kCheckIntervalMs);
  QMetaObject::invokeMethod(this, &PrimaryWaitDialog::Announce, Qt::QueuedConnection);
}

void PrimaryWaitDialog::Announce() {
  // The process id names this waiter to the first instance. Without an
  // answer the socket stays closed and the next check ends the wait.
  if (!firstInstanceFound_ ||
      !SendToFirstInstance(socket_, socketPath_, kWaiterAnnounce, QCoreApplication::applicationPid()))
    return;
  // Only now: the announcement's own reply is not a release.
  connect(&socket_, &QLocalSocket::readyRead, this, &PrimaryWaitDialog::ReadMessages);
  ReadMessages();
}

void PrimaryWaitDialog::ReadMessages() {
  while (socket_.canReadLine()) {
    InstanceMessage message;
    if (ParseInstanceMessageLine(socket_.readLine(), message) && message.code != 0) {
      done(1);
      return;
    }
  }
}

void PrimaryWaitDialog::CheckFirstInstance() {
  if (socket_.state() != QLocalSocket::ConnectedState) done(1);
}

}  // namespace vrel::app
