// A small HTTP server for the benchmarks that download (keep-alive,
// Content-Length, one thread per connection), so that the server is never
// what is measured, and a way to time a program run.
#pragma once

#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vrel::bench {

// Serves GET /feed/N with bodies[N % count] on 127.0.0.1.
class FeedServer {
 public:
  explicit FeedServer(std::vector<std::string> bodies);
  ~FeedServer();
  FeedServer(const FeedServer&) = delete;
  FeedServer& operator=(const FeedServer&) = delete;

  int Port() const { return port_; }  // 0 when it could not listen

 private:
  void Accept();
  void Serve(int connection);
  bool Answer(int connection, const std::string& request);

  std::vector<std::string> bodies_;
  int listener_ = -1;
  int port_ = 0;
  std::thread acceptor_;
  std::mutex mutex_;
  std::vector<int> connections_;
  std::vector<std::thread> workers_;
};

// Runs a program with its output in a file and env added to the
// environment (replacing HOME when env sets it); the wall time in
// milliseconds, or a negative value when it did not exit with status 0.
double TimeProgram(std::vector<std::string> args, const std::filesystem::path& output,
                   const std::vector<std::string>& env);

}  // namespace vrel::bench
