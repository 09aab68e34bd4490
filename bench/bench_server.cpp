#include "bench_server.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

extern char** environ;

namespace vrel::bench {

FeedServer::FeedServer(std::vector<std::string> bodies) : bodies_(std::move(bodies)) {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(listener_, 128) != 0 ||
      getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return;
  port_ = ntohs(address.sin_port);
  acceptor_ = std::thread([this] { Accept(); });
}

FeedServer::~FeedServer() {
  shutdown(listener_, SHUT_RDWR);
  if (acceptor_.joinable()) acceptor_.join();
  close(listener_);
  std::lock_guard lock(mutex_);
  for (const int connection : connections_) shutdown(connection, SHUT_RDWR);
  for (std::thread& worker : workers_) worker.join();
  for (const int connection : connections_) close(connection);
}

void FeedServer::Accept() {
  for (int connection; (connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
    const int on = 1;
    setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    std::lock_guard lock(mutex_);
    connections_.push_back(connection);
    workers_.emplace_back([this, connection] { Serve(connection); });
  }
}

void FeedServer::Serve(int connection) {
  std::string pending;
  char buffer[16384];
  for (;;) {
    const size_t end = pending.find("\r\n\r\n");
    if (end == std::string::npos) {
      const ssize_t got = read(connection, buffer, sizeof buffer);
      if (got <= 0) break;
      pending.append(buffer, size_t(got));
      continue;
    }
    const std::string request = pending.substr(0, end);
    pending.erase(0, end + 4);
    if (!Answer(connection, request)) break;
  }
  shutdown(connection, SHUT_RDWR);
}

bool FeedServer::Answer(int connection, const std::string& request) {
  int n = -1;
  std::string reply;
  if (std::sscanf(request.c_str(), "GET /feed/%d", &n) == 1 && n >= 0) {
    const std::string& body = bodies_[size_t(n) % bodies_.size()];
    reply = "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: " + std::to_string(body.size()) +
            "\r\n\r\n" + body;
  } else {
    reply = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n";
  }
  for (size_t sent = 0; sent < reply.size();) {
    const ssize_t wrote = send(connection, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
    if (wrote <= 0) return false;
    sent += size_t(wrote);
  }
  return request.find("Connection: close") == std::string::npos;
}

double TimeProgram(std::vector<std::string> args, const std::filesystem::path& output, const std::vector<std::string>& env) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::vector<std::string> environment(env);
  for (char** variable = environ; *variable; ++variable) {
    const std::string entry = *variable;
    if (!entry.starts_with("HOME=")) environment.push_back(entry);
  }
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  int status = -1;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) waitpid(pid, &status, 0);
  const double milliseconds = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  posix_spawn_file_actions_destroy(&actions);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? milliseconds : -1;
}

}  // namespace vrel::bench
