// Downloads of feeds and web pages.
//
// A DownloadSource starts transfers; each is a Download that the caller polls
// on its own timer. Nothing here blocks the caller: the transfers run on the
// source's own thread. Downloader is the real source (libcurl); tests of the
// code that schedules downloads put a fake DownloadSource in its place.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

#include "net/charset.h"

namespace vrel {

struct DownloadOptions {
  std::chrono::milliseconds connectTimeout{30'000};
  std::chrono::milliseconds transferTimeout{120'000};  // the whole transfer
  size_t maxBodyBytes = size_t{32} << 20;              // more is "response too large"
  long maxRedirects = 10;
  std::string userAgent = "brackenfold News Reader/1.2.1";
};

struct DownloadResult {
  bool ok = false;
  std::string text;      // the body as UTF-8 (see charset.h); empty on failure
  std::string error;     // why the download failed; empty on success
  std::string finalUrl;  // the address after redirects
  long httpStatus = 0;   // 0 for file:// and for failures before a response
  std::string contentType;
  std::string etag;
  std::string lastModified;
  std::string charset;  // what the body was read as
};

class Download {
 public:
  virtual ~Download() = default;
  // True once the transfer has ended, well or not. Never blocks.
  virtual bool Poll() = 0;
  // The outcome; an empty failure until Poll() has returned true.
  virtual const DownloadResult& Result() const = 0;
  // Ends the transfer; from then on Poll() is true and the error is
  // "download aborted". Does nothing once the transfer has ended.
  virtual void Abort() = 0;
};

class DownloadSource {
 public:
  virtual ~DownloadSource() = default;
  // Starts a transfer of address: an http://, https:// or file:// URL, or a
  // local path. The transfer ends when the returned Download is destroyed.
  virtual std::unique_ptr<Download> Start(const std::string& address, DownloadKind kind) = 0;
};

class DownloadEngine;

// Runs any number of transfers at once over libcurl on one worker thread.
class Downloader final : public DownloadSource {
 public:
  explicit Downloader(DownloadOptions options = {});
  ~Downloader() override;  // aborts what still runs
  Downloader(const Downloader&) = delete;
  Downloader& operator=(const Downloader&) = delete;

  std::unique_ptr<Download> Start(const std::string& address, DownloadKind kind) override;

 private:
  std::shared_ptr<DownloadEngine> engine_;
};

// The URL for an address: URLs stay as they are, a local path (anything
// without a "scheme://") becomes an absolute file:// URL.
std::string AddressToUrl(const std::string& address);

}  // namespace vrel
