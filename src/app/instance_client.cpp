#include "app/instance_client.h"

#include <QThread>

#include "app/instance_protocol.h"

namespace vrel::app {

namespace {

// A first instance that has just taken the lock opens its socket a moment
// later; a later start that comes in between tries a few times.
constexpr int kConnectTries = 4;
constexpr int kPauseBetweenTriesMs = 100;

bool Connect(QLocalSocket& socket, const QString& socketPath) {
  for (int attempt = 0; attempt < kConnectTries; ++attempt) {
    if (attempt > 0) QThread::msleep(kPauseBetweenTriesMs);
    socket.abort();
    socket.connectToServer(socketPath);
    if (socket.waitForConnected(kInstanceTimeoutMs)) return true;
  }
  socket.abort();
  return false;
}

bool AwaitReplyLine(QLocalSocket& socket) {
  while (!socket.canReadLine()) {
    if (!socket.waitForReadyRead(kInstanceTimeoutMs)) return false;
  }
  return socket.readLine() == InstanceReplyLine();
}

}  // namespace

bool SendToFirstInstance(QLocalSocket& socket, const QString& socketPath, char mode, qint64 handle) {
  if (!Connect(socket, socketPath)) return false;
  socket.write(InstanceMessageLine(static_cast<unsigned char>(mode), handle));
  socket.flush();
  if (!AwaitReplyLine(socket)) {
    socket.abort();
    return false;
  }
  return true;
}

}  // namespace vrel::app
