// The Python HTTP server of the download tests (http_test_server.py), run as
// a child process for as long as this object lives.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

namespace vrel::test {

class TestHttpServer {
 public:
  TestHttpServer();
  ~TestHttpServer();
  TestHttpServer(const TestHttpServer&) = delete;
  TestHttpServer& operator=(const TestHttpServer&) = delete;

  bool Running() const { return httpPort_ != 0; }
  const std::string& StartError() const { return startError_; }
  std::string Url(std::string_view path) const;        // http://127.0.0.1:PORT + path
  std::string SecureUrl(std::string_view path) const;  // https://...

 private:
  pid_t pid_ = -1;
  int input_ = -1;  // closing it tells the server to end
  int httpPort_ = 0;
  int httpsPort_ = 0;
  std::string startError_;
};

// Percent-encodes bytes for a query value.
std::string PercentEncode(std::string_view bytes);

}  // namespace vrel::test
