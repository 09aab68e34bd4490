// The later start's end of the hand-over: tell the first instance what was
// asked for and recognise it by its reply.
#pragma once

#include <QLocalSocket>
#include <QString>

namespace vrel::app {

// Each wait for the first instance (connecting, the reply) lasts at most this.
inline constexpr int kInstanceTimeoutMs = 500;

// Connects socket to socketPath and sends (mode, handle); true when the
// reply names the hand-over, i.e. the first instance answered. The socket
// stays connected for the caller on success. A first instance that holds the
// lock but does not listen yet is tried again for a moment.
bool SendToFirstInstance(QLocalSocket& socket, const QString& socketPath, char mode, qint64 handle);

}  // namespace vrel::app
