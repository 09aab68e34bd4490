#include "app/instance_server.h"

#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>

#include "app/instance_protocol.h"

namespace vrel::app {

namespace {

// A request line is short; anything longer is not one of ours.
constexpr qint64 kMaxLineLength = 64;

}  // namespace

QString InstanceRuntimeDir() {
  // Qt checks that $XDG_RUNTIME_DIR belongs to the user and is private, and
  // otherwise makes /tmp/runtime-USER with mode 0700.
  const QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  QDir().mkpath(dir);
  return dir;
}

QString InstanceSocketPath(const QString& name) { return InstanceRuntimeDir() + '/' + name; }

InstanceServer::InstanceServer(QObject* parent) : QObject(parent) {
  server_.setSocketOptions(QLocalServer::UserAccessOption);
  connect(&server_, &QLocalServer::newConnection, this, &InstanceServer::AcceptConnections);
}

InstanceServer::~InstanceServer() {
  // The connections go with the server below; their last signals must not
  // reach this half-destroyed object.
  for (QLocalSocket* socket : server_.findChildren<QLocalSocket*>()) socket->disconnect(this);
}

bool InstanceServer::Listen(const QString& socketPath) {
  // Only the holder of the instance lock listens, so a socket file that is
  // already there was left by an instance that was killed.
  QLocalServer::removeServer(socketPath);
  return server_.listen(socketPath);
}

void InstanceServer::AcceptConnections() {
  while (QLocalSocket* socket = server_.nextPendingConnection()) {
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] { ReadRequest(socket); });
    connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
      ForgetWaiter(socket);
      socket->deleteLater();
    });
    if (socket->bytesAvailable() > 0) ReadRequest(socket);
  }
}

void InstanceServer::ReadRequest(QLocalSocket* socket) {
  while (socket->canReadLine()) {
    InstanceMessage message;
    if (!ParseInstanceMessageLine(socket->readLine(kMaxLineLength + 1), message)) {
      socket->abort();
      return;
    }
    socket->write(InstanceReplyLine());
    socket->flush();
    const char mode = static_cast<char>(message.code);
    if (mode == kWaiterAnnounce) waiters_[message.handle] = socket;
    emit requestReceived(mode, message.handle);
  }
  if (socket->bytesAvailable() > kMaxLineLength) socket->abort();
}

void InstanceServer::ForgetWaiter(QLocalSocket* socket) {
  std::erase_if(waiters_, [socket](const auto& waiter) { return waiter.second == socket; });
}

void InstanceServer::ReleaseWaiter(qint64 handle) {
  QMetaObject::invokeMethod(this, [this, handle] { WriteRelease(handle); }, Qt::QueuedConnection);
}

void InstanceServer::WriteRelease(qint64 handle) {
  const auto found = waiters_.find(handle);
  if (found == waiters_.end()) return;
  QLocalSocket* socket = found->second;
  waiters_.erase(found);
  socket->write(InstanceMessageLine(kReleaseCode, 0));
  socket->flush();
}

}  // namespace vrel::app
