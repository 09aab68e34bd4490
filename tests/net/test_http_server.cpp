#include "test_http_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

extern char** environ;

namespace vrel::test {
namespace {

// Reads the first line the server prints, giving up after timeoutMs.
std::string ReadLine(int fd, int timeoutMs) {
  std::string line;
  pollfd waiting{fd, POLLIN, 0};
  char c = 0;
  while (poll(&waiting, 1, timeoutMs) == 1 && read(fd, &c, 1) == 1 && c != '\n') line += c;
  return line;
}

bool Exited(pid_t pid, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace

TestHttpServer::TestHttpServer() {
  const std::filesystem::path folder = std::filesystem::path(__FILE__).parent_path();
  int toServer[2];
  int fromServer[2];
  if (pipe2(toServer, O_CLOEXEC) != 0) {
    startError_ = "no pipe";
    return;
  }
  if (pipe2(fromServer, O_CLOEXEC) != 0) {
    close(toServer[0]);
    close(toServer[1]);
    startError_ = "no pipe";
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, toServer[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, fromServer[1], STDOUT_FILENO);
  std::string program = "python3";
  std::string noSite = "-S";  // the standard library is all it needs; starts faster
  std::string script = (folder / "http_test_server.py").string();
  std::string corpus = VREL_CORPUS_DIR;
  std::string certificate = (folder / "self_signed.pem").string();
  char* argv[] = {program.data(), noSite.data(), script.data(), corpus.data(), certificate.data(), nullptr};
  const int spawned = posix_spawnp(&pid_, "python3", &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(toServer[0]);
  close(fromServer[1]);
  input_ = toServer[1];
  if (spawned != 0) {
    pid_ = -1;
    startError_ = "cannot run python3";
  } else if (std::sscanf(ReadLine(fromServer[0], 10'000).c_str(), "%d %d", &httpPort_, &httpsPort_) != 2) {
    httpPort_ = 0;
    startError_ = "the test server did not report its ports";
  }
  close(fromServer[0]);
}

TestHttpServer::~TestHttpServer() {
  if (input_ >= 0) close(input_);
  if (pid_ > 0 && !Exited(pid_, std::chrono::seconds(5))) {
    kill(pid_, SIGKILL);
    Exited(pid_, std::chrono::seconds(5));
  }
}

std::string TestHttpServer::Url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(httpPort_) + std::string(path);
}

std::string TestHttpServer::SecureUrl(std::string_view path) const {
  return "https://127.0.0.1:" + std::to_string(httpsPort_) + std::string(path);
}

std::string PercentEncode(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    encoded += '%';
    encoded += kHex[byte >> 4];
    encoded += kHex[byte & 15];
  }
  return encoded;
}

}  // namespace vrel::test
