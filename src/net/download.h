// Downloads of feeds and web pages.
//
// A DownloadSource starts transfers; each is a Download that the caller polls
// on its own timer. Nothing here blocks the caller: the transfers run on the
// source's own thread. Downloader is the real source (libcurl); tests of the
// code that schedules downloads put a fake DownloadSource in its place.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "net/charset.h"
#include "version.h"

namespace vrel {

struct DownloadOptions {
  std::chrono::milliseconds connectTimeout{30'000};
  std::chrono::milliseconds transferTimeout{120'000};  // the whole transfer
  size_t maxBodyBytes = size_t{32} << 20;              // more is "response too large"
  long maxRedirects = 10;
  // More transfers to one host wait their turn, unstarted: their time-outs
  // run from when they start.
  size_t maxTransfersPerHost = 2;
  std::string userAgent = std::string("brackenfold News Reader/") + kReleaseVersion;
};

// What is known of an earlier download of an address; sent as
// If-None-Match and If-Modified-Since, so that a server with nothing newer
// answers 304 Not Modified without a body.
struct Validators {
  std::string etag;
  std::string lastModified;
};

// The longest a server's Retry-After is heeded.
inline constexpr int64_t kMaxRetryAfterSeconds = 24 * 60 * 60;

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
  // A 304 answer to a conditional request: ok, with an empty text; the
  // caller's stored copy is still current.
  bool notModified = false;
  // Where the permanent redirects (301, 308) at the start of the redirect
  // chain led; empty when the first answer was no permanent redirect.
  std::string permanentUrl;
  // Seconds a 429 or 503 answer asked the client to wait (Retry-After, at
  // most kMaxRetryAfterSeconds); -1 when it did not say.
  int64_t retryAfterSeconds = -1;
  // How long the server says the answer stays fresh (Cache-Control max-age,
  // else Expires), at most kMaxRetryAfterSeconds; 0 when it did not say.
  int64_t freshSeconds = 0;
  // The body was a JSON Feed and text is its RSS 2.0 equivalent.
  bool convertedFromJsonFeed = false;
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
  // The same as a conditional request; sources that cannot make one start a
  // plain download.
  virtual std::unique_ptr<Download> StartConditional(const std::string& address, DownloadKind kind,
                                                     const Validators& /*validators*/) {
    return Start(address, kind);
  }
  // listener is called, on the source's own thread, each time a transfer
  // ends, so that its owner can look at its downloads at once rather than
  // on its next tick. It must not block; an empty one stops the calls.
  // Sources that end their downloads only when polled never call it.
  virtual void SetFinishedListener(std::function<void()> /*listener*/) {}
  // The same for an https:// address that the user typed without a scheme:
  // when the https connection is refused, the transfer goes over http://
  // instead, and the result's permanentUrl names the http:// address.
  // Sources that cannot fall back start a plain download.
  virtual std::unique_ptr<Download> StartWithHttpFallback(const std::string& address, DownloadKind kind) {
    return Start(address, kind);
  }
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
  std::unique_ptr<Download> StartConditional(const std::string& address, DownloadKind kind,
                                             const Validators& validators) override;
  void SetFinishedListener(std::function<void()> listener) override;
  std::unique_ptr<Download> StartWithHttpFallback(const std::string& address, DownloadKind kind) override;

 private:
  std::shared_ptr<DownloadEngine> engine_;
};

// The network library's process-wide set-up, done once, before the first
// Downloader; a program calls it before starting threads of its own. False
// when downloads cannot work.
bool PrepareDownloads();

// What transfers to one host share for the limit of transfers per host: the
// scheme, host and port of an address; the address itself when it is no URL.
std::string HostOf(const std::string& address);

// The URL for an address: URLs stay as they are, a local path (anything
// without a "scheme://") becomes an absolute file:// URL.
std::string AddressToUrl(const std::string& address);

// reference (absolute, or relative as in an HTML href) resolved against the
// URL base; empty when either cannot be read.
std::string ResolveUrl(const std::string& base, const std::string& reference);

// Seconds from now that a Retry-After value (delta seconds or an HTTP date)
// names, clamped to 0..kMaxRetryAfterSeconds; -1 when it cannot be read.
int64_t ParseRetryAfter(std::string_view value, std::time_t now);

// Seconds an answer stays fresh by its Cache-Control (max-age) or, without
// one, its Expires date counted from its Date (else from now), clamped to
// 0..kMaxRetryAfterSeconds; 0 when neither says, or says no-store/no-cache.
int64_t ParseFreshLifetime(std::string_view cacheControl, std::string_view expires, std::string_view date,
                           std::time_t now);

}  // namespace vrel
