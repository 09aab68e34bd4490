// Waiting for a download in the tests, with short limits, so that a fault
// shows as a failure, not as a hung suite.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "net/download.h"

namespace vrel::test {

inline DownloadOptions QuickOptions() {
  using namespace std::chrono_literals;
  DownloadOptions options;
  options.connectTimeout = 2s;
  options.transferTimeout = 10s;
  return options;
}

inline DownloadResult Await(Download& download) {
  using namespace std::chrono_literals;
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (!download.Poll()) {
    if (std::chrono::steady_clock::now() > deadline) {
      ADD_FAILURE() << "the download did not end";
      download.Abort();
      break;
    }
    std::this_thread::sleep_for(2ms);
  }
  return download.Result();
}

}  // namespace vrel::test
