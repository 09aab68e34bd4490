// A test suite that shares one test HTTP server, started once per suite.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "test_http_server.h"

namespace vrel::test {

class ServedTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = new TestHttpServer(); }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(server_->Running()) << server_->StartError(); }

  static std::string Url(std::string_view path) { return server_->Url(path); }
  static std::string SecureUrl(std::string_view path) { return server_->SecureUrl(path); }
  // An address whose answer is body, served as contentType.
  static std::string Echo(std::string_view body, std::string_view contentType) {
    return Url("/echo?body=" + PercentEncode(body) + "&type=" + PercentEncode(contentType));
  }

 private:
  inline static TestHttpServer* server_ = nullptr;
};

}  // namespace vrel::test
