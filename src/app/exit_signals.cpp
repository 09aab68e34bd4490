#include "app/exit_signals.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>

namespace vrel::app {

namespace {

int signalPipe[2] = {-1, -1};

void OnExitSignal(int) {
  const char byte = 1;
  // Nothing to do when the pipe is full: an exit is already pending.
  [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

bool InstallHandler(int signal) {
  struct sigaction action = {};
  action.sa_handler = OnExitSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  return sigaction(signal, &action, nullptr) == 0;
}

void RestoreDefault(int signal) {
  struct sigaction action = {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
}

}  // namespace

ExitSignals::ExitSignals(QObject* parent) : QObject(parent) {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalPipe) != 0) return;
  if (!InstallHandler(SIGTERM) || !InstallHandler(SIGINT)) return;
  notifier_ = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &ExitSignals::Drain);
}

ExitSignals::~ExitSignals() {
  RestoreDefault(SIGTERM);
  RestoreDefault(SIGINT);
  notifier_.reset();
  for (int& end : signalPipe) {
    if (end >= 0) ::close(end);
    end = -1;
  }
}

void ExitSignals::Drain() {
  char bytes[16];
  while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
  }
  emit exitRequested();
}

}  // namespace vrel::app
