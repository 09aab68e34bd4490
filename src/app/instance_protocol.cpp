#include "app/instance_protocol.h"

#include <QList>

#include "app/instance_server.h"

namespace vrel::app {

QByteArray InstanceMessageLine(int code, qint64 handle) {
  return QByteArray::number(code) + ' ' + QByteArray::number(handle) + '\n';
}

bool ParseInstanceMessageLine(const QByteArray& line, InstanceMessage& message) {
  const QList<QByteArray> fields = line.trimmed().split(' ');
  if (fields.size() != 2) return false;
  bool codeOk = false;
  bool handleOk = false;
  message.code = fields[0].toInt(&codeOk);
  message.handle = fields[1].toLongLong(&handleOk);
  return codeOk && handleOk;
}

QByteArray InstanceReplyLine() { return QByteArray(kInterProcessName) + '\n'; }

}  // namespace vrel::app
