// The first instance's end of the hand-over between instances: a per-user
// local socket on which a later start sends its mode character and a window
// handle and recognises the first instance by the reply. A second instance
// waiting with the 's' or 'c' switch keeps its connection open until it is
// released or the first instance goes away.
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <map>

class QLocalSocket;

namespace vrel::app {

inline constexpr char kSingleInstanceLockName[] = "brackenfoldNewsOneOnly_Mutex";
inline constexpr char kInterProcessName[] = "brackenfoldNewsInterProcess_WM";
// Mode character a waiting second instance announces itself with.
inline constexpr char kWaiterAnnounce = 'N';

// Folder of the lock file and the socket: $XDG_RUNTIME_DIR, else a folder of
// the user's own that nobody else can enter.
QString InstanceRuntimeDir();
// Full path of the local socket for a name (the default one unless tests
// choose another).
QString InstanceSocketPath(const QString& name = kInterProcessName);

class InstanceServer : public QObject {
  Q_OBJECT

 public:
  explicit InstanceServer(QObject* parent = nullptr);
  ~InstanceServer() override;

  // Starts listening at socketPath; a socket file left by a killed instance
  // is removed first. False when that fails.
  bool Listen(const QString& socketPath = InstanceSocketPath());
  QString ErrorText() const { return server_.errorString(); }

 signals:
  // A later start asks for something: mode is its start mode character
  // ('S', 'C', 'P', 0 or any other) or 'N' from a waiting instance, whose
  // handle then names it for ReleaseWaiter; for 'P' handle is the preview
  // parent window.
  void requestReceived(char mode, qint64 handle);

 public slots:
  // Lets the waiting instance with this handle end. Safe to call from any
  // thread; the message is queued, never sent while the caller waits.
  void ReleaseWaiter(qint64 handle);

 private:
  void AcceptConnections();
  void ReadRequest(QLocalSocket* socket);
  void ForgetWaiter(QLocalSocket* socket);
  void WriteRelease(qint64 handle);

  QLocalServer server_;
  std::map<qint64, QLocalSocket*> waiters_;
};

}  // namespace vrel::app
