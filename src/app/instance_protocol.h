// The lines exchanged on the instance socket. A request is "MODE HANDLE\n"
// with the mode character as its byte value; the first instance answers
// every request with the socket's name, and releases a waiting instance
// with "1 0\n".
#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace vrel::app {

struct InstanceMessage {
  int code = 0;
  qint64 handle = 0;
};

QByteArray InstanceMessageLine(int code, qint64 handle);
// False for anything but two decimal numbers.
bool ParseInstanceMessageLine(const QByteArray& line, InstanceMessage& message);

// What the first instance answers: the name of the message itself.
QByteArray InstanceReplyLine();
inline constexpr int kReleaseCode = 1;

}  // namespace vrel::app
