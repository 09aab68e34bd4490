#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "net/ascii_text.h"
#include "net/download.h"
#include "net/json_feed.h"

namespace vrel {
namespace {

// How long the worker sleeps when nothing happens; Start, Abort and Stop
// wake it at once.
constexpr int kIdleWaitMs = 1000;
constexpr const char* kAborted = "download aborted";
// The response headers of all the answers of a transfer, redirects included.
constexpr size_t kMaxHeaderBytes = 256 * 1024;

DownloadResult Failure(std::string error) {
  DownloadResult result;
  result.error = std::move(error);
  return result;
}

// Follows the redirects of a transfer as their answers arrive, to learn
// where the permanent ones at the start of the chain lead.
struct RedirectTrail {
  explicit RedirectTrail(std::string url) : current(std::move(url)) {}

  void Answer(long status) { lastStatus = status; }

  void Location(std::string_view location) {
    const bool permanent = lastStatus == 301 || lastStatus == 308;
    const bool followed = permanent || lastStatus == 302 || lastStatus == 303 || lastStatus == 307;
    if (!followed) return;
    current = ResolveUrl(current, std::string(location));
    if (permanent && onlyPermanent) {
      permanentUrl = current;
    } else {
      onlyPermanent = false;
    }
  }

  std::string current;
  std::string permanentUrl;
  long lastStatus = 0;
  bool onlyPermanent = true;
};

// A header line with its end of line trimmed off.
std::string_view TrimmedLine(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' ')) line.remove_suffix(1);
  return line;
}

// A header value fit to be sent back: a line break in it would start a
// header of its own.
bool IsSingleLine(std::string_view value) { return value.find_first_of("\r\n") == std::string_view::npos; }

// The If-None-Match and If-Modified-Since lines for validators; null when
// there are none.
curl_slist* ConditionalHeaders(const Validators& validators) {
  curl_slist* headers = nullptr;
  if (!validators.etag.empty() && IsSingleLine(validators.etag))
    headers = curl_slist_append(headers, ("If-None-Match: " + validators.etag).c_str());
  if (!validators.lastModified.empty() && IsSingleLine(validators.lastModified))
    headers = curl_slist_append(headers, ("If-Modified-Since: " + validators.lastModified).c_str());
  return headers;
}

struct Transfer {
  Transfer(std::string url, DownloadKind kind, size_t maxBodyBytes, const Validators& validators)
      : url(std::move(url)),
        host(HostOf(this->url)),
        kind(kind),
        maxBodyBytes(maxBodyBytes),
        conditionalHeaders(ConditionalHeaders(validators)),
        redirects(this->url) {}
  ~Transfer() { curl_slist_free_all(conditionalHeaders); }
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;

  const std::string url;
  const std::string host;
  std::string fallbackUrl;  // http:// for an https:// url typed without a scheme; set before the start
  const DownloadKind kind;
  const size_t maxBodyBytes;
  curl_slist* const conditionalHeaders;  // null for a plain request

  // Touched only by the worker thread.
  CURL* easy = nullptr;
  std::string body;
  std::string statusLine;  // of the last response, e.g. "HTTP/1.1 404 Not Found"
  RedirectTrail redirects;
  bool tooLarge = false;
  size_t headerBytes = 0;
  bool headerTooLarge = false;
  bool fellBack = false;  // now over fallbackUrl
  char errorBuffer[CURL_ERROR_SIZE] = {};

  std::atomic<bool> abortRequested{false};

  // The outcome is written once, under the mutex, and never changed after.
  mutable std::mutex mutex;
  bool finished = false;
  DownloadResult result;

  // Records the outcome unless one is recorded already; true if this one was.
  bool Finish(DownloadResult outcome) {
    std::lock_guard lock(mutex);
    if (finished) return false;
    result = std::move(outcome);
    finished = true;
    return true;
  }
};

size_t StoreBody(char* data, size_t size, size_t count, void* user) {
  auto& transfer = *static_cast<Transfer*>(user);
  const size_t length = size * count;
  if (length > transfer.maxBodyBytes - transfer.body.size()) {
    transfer.tooLarge = true;
    return 0;  // anything short of length stops the transfer
  }
  transfer.body.append(data, length);
  return length;
}

// The status code of a status line such as "HTTP/1.1 404 Not Found".
long StatusCode(std::string_view statusLine) {
  const size_t code = statusLine.find(' ');
  if (code == std::string_view::npos) return 0;
  long status = 0;
  const size_t end = std::min(statusLine.size(), code + 4);  // three digits
  for (size_t i = code + 1; i < end && statusLine[i] >= '0' && statusLine[i] <= '9'; ++i)
    status = status * 10 + (statusLine[i] - '0');
  return status;
}

size_t StoreHeader(char* data, size_t size, size_t count, void* user) {
  auto& transfer = *static_cast<Transfer*>(user);
  transfer.headerBytes += size * count;
  if (transfer.headerBytes > kMaxHeaderBytes) {
    transfer.headerTooLarge = true;
    return 0;  // anything short of the length stops the transfer
  }
  const std::string_view line = TrimmedLine(std::string_view(data, size * count));
  constexpr std::string_view kLocation = "location:";
  if (line.starts_with("HTTP/")) {
    transfer.statusLine = line;
    transfer.redirects.Answer(StatusCode(line));
  } else if (StartsWithNoCase(line, kLocation)) {
    std::string_view location = line.substr(kLocation.size());
    location.remove_prefix(std::min(location.size(), location.find_first_not_of(" \t")));
    transfer.redirects.Location(location);
  }
  return size * count;
}

// "HTTP error 404 Not Found", the reason phrase taken from the status line
// in printable ASCII; HTTP/2 responses carry none.
std::string HttpError(long status, std::string_view statusLine) {
  std::string error = "HTTP error " + std::to_string(status);
  const size_t code = statusLine.find(' ');
  const size_t reason = code == std::string_view::npos ? code : statusLine.find(' ', code + 1);
  if (reason == std::string_view::npos) return error;
  for (const char c : statusLine.substr(reason)) {
    if (c >= ' ' && c <= '~') error += c;
  }
  return error;
}

std::string TransferError(const Transfer& transfer, CURLcode code, const std::string& url) {
  const std::string error = transfer.errorBuffer[0] != '\0' ? transfer.errorBuffer : curl_easy_strerror(code);
  return url.empty() ? error : error + " (" + url + ")";
}

std::string HeaderValue(CURL* easy, const char* name) {
  curl_header* header = nullptr;
  if (curl_easy_header(easy, name, 0, CURLH_HEADER, -1, &header) != CURLHE_OK) return {};
  return header->value;
}

// Every header of that name, joined with commas as HTTP allows.
std::string HeaderValues(CURL* easy, const char* name) {
  std::string values;
  curl_header* header = nullptr;
  for (size_t index = 0; curl_easy_header(easy, name, index, CURLH_HEADER, -1, &header) == CURLHE_OK; ++index) {
    if (!values.empty()) values += ',';
    values += header->value;
    if (index + 1 >= header->amount) break;
  }
  return values;
}

std::string InfoText(CURL* easy, CURLINFO info) {
  char* text = nullptr;
  curl_easy_getinfo(easy, info, &text);
  return text != nullptr ? text : "";
}

// Where the permanent redirects led; libcurl's own reading of the address
// when every redirect was permanent.
std::string PermanentUrl(const RedirectTrail& redirects, const std::string& finalUrl) {
  if (redirects.permanentUrl.empty()) return {};
  return redirects.onlyPermanent ? finalUrl : redirects.permanentUrl;
}

// The body as UTF-8, and a JSON Feed as its RSS equivalent.
void ReadBody(const Transfer& transfer, DownloadResult& result) {
  DecodedText decoded = DecodeToUtf8(transfer.body, result.contentType, transfer.kind);
  result.charset = std::move(decoded.charset);
  if (transfer.kind == DownloadKind::XmlDocument) {
    JsonFeedConversion conversion = ConvertJsonFeed(decoded.text, result.contentType);
    if (conversion.isJsonFeed) {
      result.error = std::move(conversion.error);
      result.ok = result.error.empty();
      if (result.ok) result.text = std::move(conversion.rss);
      result.convertedFromJsonFeed = result.ok;
      return;
    }
  }
  result.text = std::move(decoded.text);
  result.ok = true;
}

DownloadResult Outcome(Transfer& transfer, CURLcode code) {
  DownloadResult result;
  result.finalUrl = InfoText(transfer.easy, CURLINFO_EFFECTIVE_URL);
  result.contentType = InfoText(transfer.easy, CURLINFO_CONTENT_TYPE);
  curl_easy_getinfo(transfer.easy, CURLINFO_RESPONSE_CODE, &result.httpStatus);
  result.etag = HeaderValue(transfer.easy, "ETag");
  result.lastModified = HeaderValue(transfer.easy, "Last-Modified");
  if (result.httpStatus == 429 || result.httpStatus == 503)
    result.retryAfterSeconds = ParseRetryAfter(HeaderValue(transfer.easy, "Retry-After"), std::time(nullptr));
  result.freshSeconds = ParseFreshLifetime(HeaderValues(transfer.easy, "Cache-Control"),
                                           HeaderValue(transfer.easy, "Expires"), HeaderValue(transfer.easy, "Date"),
                                           std::time(nullptr));
  if (transfer.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
    result.error = "response too large";
  } else if (transfer.headerTooLarge || (code == CURLE_OUT_OF_MEMORY && transfer.body.empty())) {
    // libcurl refuses a single header line of over 100 KiB as out of memory.
    result.error = "response header too large";
  } else if (code != CURLE_OK) {
    result.error = TransferError(transfer, code, result.finalUrl.empty() ? transfer.url : result.finalUrl);
  } else if (result.httpStatus >= 400) {
    result.error = HttpError(result.httpStatus, transfer.statusLine);
  } else if (result.httpStatus == 304 && transfer.conditionalHeaders != nullptr) {
    result.notModified = true;
    result.ok = true;
  } else {
    ReadBody(transfer, result);
  }
  if (result.ok) result.permanentUrl = PermanentUrl(transfer.redirects, result.finalUrl);
  if (result.ok && transfer.fellBack && result.permanentUrl.empty()) result.permanentUrl = transfer.fallbackUrl;
  return result;
}

// The local path of a file:// URL; empty for any other URL.
std::string LocalPath(const std::string& url) {
  std::string path;
  CURLU* parts = curl_url();
  char* scheme = nullptr;
  char* decoded = nullptr;
  if (parts != nullptr && curl_url_set(parts, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK &&
      curl_url_get(parts, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK && std::string_view(scheme) == "file" &&
      curl_url_get(parts, CURLUPART_PATH, &decoded, CURLU_URLDECODE) == CURLUE_OK) {
    path = decoded;
  }
  curl_free(decoded);
  curl_free(scheme);
  curl_url_cleanup(parts);
  return path;
}

// libcurl reads a directory named by a file:// URL as an empty file.
bool NamesDirectory(const std::string& url) {
  const std::string path = LocalPath(url);
  std::error_code ignored;
  return !path.empty() && std::filesystem::is_directory(path, ignored);
}

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool IsAsciiAlnum(char c) { return IsAsciiLetter(c) || (c >= '0' && c <= '9'); }

bool IsSchemeChar(char c) { return IsAsciiAlnum(c) || c == '+' || c == '-' || c == '.'; }

bool HasScheme(std::string_view address) {
  const size_t end = address.find("://");
  if (end == std::string_view::npos || end == 0 || !IsAsciiLetter(address[0])) return false;
  return std::all_of(address.begin(), address.begin() + static_cast<std::ptrdiff_t>(end), IsSchemeChar);
}

}  // namespace

// The libcurl multi handle and the worker thread that drives it. Shared by
// the Downloader and its Downloads, so a Download may outlive the Downloader.
// Transfers beyond the limit per host wait here, not inside libcurl, so that
// their time-outs do not run while they wait.
class DownloadEngine {
 public:
  explicit DownloadEngine(DownloadOptions options)
      : options_(std::move(options)), multi_(PrepareDownloads() ? curl_multi_init() : nullptr) {
    if (multi_ == nullptr) return;
    worker_ = std::thread([this] { Run(); });
  }

  ~DownloadEngine() {
    Stop();
    if (multi_ != nullptr) curl_multi_cleanup(multi_);
  }

  const DownloadOptions& Options() const { return options_; }

  void Add(const std::shared_ptr<Transfer>& transfer) {
    bool queued = false;
    {
      std::lock_guard lock(mutex_);
      if (multi_ != nullptr && !stopping_) {
        incoming_.push_back(transfer);
        queued = true;
      }
    }
    if (queued) {
      Wake();
    } else {
      transfer->Finish(Failure("the download component could not start"));
    }
  }

  void Wake() {
    if (multi_ != nullptr) curl_multi_wakeup(multi_);
  }

  void SetFinishedListener(std::function<void()> listener) {
    std::lock_guard lock(listenerMutex_);
    listener_ = std::move(listener);
  }

  // Ends every transfer as aborted and joins the worker.
  void Stop() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    Wake();
    if (worker_.joinable()) worker_.join();
  }

 private:
  void Run() {
    while (TakeIncoming()) {
      DropAborted();
      int running = 0;
      curl_multi_perform(multi_, &running);
      CollectFinished();
      TellListener();
      curl_multi_poll(multi_, nullptr, 0, kIdleWaitMs, nullptr);
    }
    while (!active_.empty()) End(*active_.back(), Failure(kAborted));
    for (auto& [host, waiting] : waiting_)
      for (auto& transfer : waiting) transfer->Finish(Failure(kAborted));
  }

  // Starts the transfers added since the last round, or lines them up
  // behind their host's; false once stopping.
  bool TakeIncoming() {
    std::vector<std::shared_ptr<Transfer>> taken;
    bool stopping = false;
    {
      std::lock_guard lock(mutex_);
      taken.swap(incoming_);
      stopping = stopping_;
    }
    for (auto& transfer : taken) {
      if (stopping) {
        transfer->Finish(Failure(kAborted));
      } else if (HostIsFull(transfer->host)) {
        waiting_[transfer->host].push_back(transfer);
      } else {
        Begin(transfer);
      }
    }
    return !stopping;
  }

  bool HostIsFull(const std::string& host) const {
    const size_t limit = options_.maxTransfersPerHost;
    return limit != 0 && std::count_if(active_.begin(), active_.end(), [&](const auto& transfer) {
                            return transfer->host == host;
                          }) >= static_cast<std::ptrdiff_t>(limit);
  }

  // The next transfer waiting for host, now that one of its own ended.
  void StartWaiting(const std::string& host) {
    const auto found = waiting_.find(host);
    if (found == waiting_.end()) return;
    std::deque<std::shared_ptr<Transfer>>& waiting = found->second;
    while (!waiting.empty() && !HostIsFull(host)) {
      std::shared_ptr<Transfer> next = std::move(waiting.front());
      waiting.pop_front();
      if (!next->abortRequested) Begin(next);
    }
    if (waiting.empty()) waiting_.erase(found);
  }

  void Begin(const std::shared_ptr<Transfer>& transfer) {
    if (NamesDirectory(transfer->url)) {
      FinishUnstarted(*transfer,
                      Failure(std::make_error_code(std::errc::is_a_directory).message() + " (" + transfer->url + ")"));
      return;
    }
    transfer->easy = NewEasyHandle(*transfer);
    if (transfer->easy == nullptr || curl_multi_add_handle(multi_, transfer->easy) != CURLM_OK) {
      if (transfer->easy != nullptr) curl_easy_cleanup(transfer->easy);
      transfer->easy = nullptr;
      FinishUnstarted(*transfer, Failure("the download could not start (" + transfer->url + ")"));
      return;
    }
    active_.push_back(transfer);
  }

  void FinishUnstarted(Transfer& transfer, DownloadResult outcome) {
    if (transfer.Finish(std::move(outcome))) finishedSinceTold_ = true;
  }

  CURL* NewEasyHandle(Transfer& transfer) const {
    CURL* easy = curl_easy_init();
    if (easy == nullptr) return nullptr;
    curl_easy_setopt(easy, CURLOPT_URL, transfer.url.c_str());
    curl_easy_setopt(easy, CURLOPT_PRIVATE, &transfer);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, StoreBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, StoreHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer.errorBuffer);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https,file");
    // A web server must not be able to send us to a local file.
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, options_.maxRedirects);
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");  // every compression libcurl knows
    curl_easy_setopt(easy, CURLOPT_USERAGENT, options_.userAgent.c_str());
    if (transfer.conditionalHeaders != nullptr) curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer.conditionalHeaders);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options_.connectTimeout.count()));
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(options_.transferTimeout.count()));
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(options_.maxBodyBytes));
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    return easy;
  }

  void DropAborted() {
    for (size_t i = active_.size(); i-- > 0;) {
      if (active_[i]->abortRequested) End(*active_[i], Failure(kAborted));
    }
  }

  void CollectFinished() {
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
      if (message->msg != CURLMSG_DONE) continue;
      const CURLcode code = message->data.result;
      char* data = nullptr;
      curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &data);
      auto& transfer = *reinterpret_cast<Transfer*>(data);
      if (RetryOverHttp(transfer, code)) continue;
      End(transfer, Outcome(transfer, code));
    }
  }

  // An https:// connection refused, or not speaking TLS, for an address
  // typed without a scheme: the same transfer once more over http://.
  bool RetryOverHttp(Transfer& transfer, CURLcode code) {
    if (transfer.fallbackUrl.empty() || transfer.fellBack) return false;
    if (code != CURLE_COULDNT_CONNECT && code != CURLE_SSL_CONNECT_ERROR) return false;
    transfer.fellBack = true;
    transfer.redirects = RedirectTrail(transfer.fallbackUrl);
    transfer.errorBuffer[0] = '\0';
    transfer.headerBytes = 0;
    curl_multi_remove_handle(multi_, transfer.easy);
    curl_easy_setopt(transfer.easy, CURLOPT_URL, transfer.fallbackUrl.c_str());
    return curl_multi_add_handle(multi_, transfer.easy) == CURLM_OK;
  }

  // Records the outcome (an abort may have recorded one first), lets go of
  // the transfer and starts one that waited for its host.
  void End(Transfer& transfer, DownloadResult outcome) {
    if (transfer.Finish(std::move(outcome))) finishedSinceTold_ = true;
    curl_multi_remove_handle(multi_, transfer.easy);
    curl_easy_cleanup(transfer.easy);
    transfer.easy = nullptr;
    std::string().swap(transfer.body);
    const std::string host = transfer.host;
    std::erase_if(active_, [&](const std::shared_ptr<Transfer>& item) { return item.get() == &transfer; });
    StartWaiting(host);
  }

  // Once a round in which transfers ended, however many.
  void TellListener() {
    if (!finishedSinceTold_) return;
    finishedSinceTold_ = false;
    std::lock_guard lock(listenerMutex_);
    if (listener_) listener_();
  }

  const DownloadOptions options_;
  CURLM* const multi_;
  std::mutex mutex_;
  std::vector<std::shared_ptr<Transfer>> incoming_;  // under mutex_
  bool stopping_ = false;                            // under mutex_
  // Worker thread only.
  std::vector<std::shared_ptr<Transfer>> active_;
  std::map<std::string, std::deque<std::shared_ptr<Transfer>>> waiting_;
  bool finishedSinceTold_ = false;
  std::mutex listenerMutex_;
  std::function<void()> listener_;  // under listenerMutex_
  std::thread worker_;
};

namespace {

class CurlDownload final : public Download {
 public:
  CurlDownload(std::shared_ptr<DownloadEngine> engine, std::shared_ptr<Transfer> transfer)
      : engine_(std::move(engine)), transfer_(std::move(transfer)) {}
  ~CurlDownload() override { Abort(); }
  CurlDownload(const CurlDownload&) = delete;
  CurlDownload& operator=(const CurlDownload&) = delete;

  bool Poll() override {
    std::lock_guard lock(transfer_->mutex);
    return transfer_->finished;
  }

  const DownloadResult& Result() const override {
    static const DownloadResult kPending;
    std::lock_guard lock(transfer_->mutex);
    return transfer_->finished ? transfer_->result : kPending;
  }

  void Abort() override {
    if (!transfer_->Finish(Failure(kAborted))) return;
    transfer_->abortRequested = true;
    engine_->Wake();
  }

 private:
  std::shared_ptr<DownloadEngine> engine_;
  std::shared_ptr<Transfer> transfer_;
};

}  // namespace

Downloader::Downloader(DownloadOptions options) : engine_(std::make_shared<DownloadEngine>(std::move(options))) {}

Downloader::~Downloader() { engine_->Stop(); }

std::unique_ptr<Download> Downloader::Start(const std::string& address, DownloadKind kind) {
  return StartConditional(address, kind, {});
}

void Downloader::SetFinishedListener(std::function<void()> listener) {
  engine_->SetFinishedListener(std::move(listener));
}

std::unique_ptr<Download> Downloader::StartConditional(const std::string& address, DownloadKind kind,
                                                       const Validators& validators) {
  auto transfer =
      std::make_shared<Transfer>(AddressToUrl(address), kind, engine_->Options().maxBodyBytes, validators);
  engine_->Add(transfer);
  return std::make_unique<CurlDownload>(engine_, std::move(transfer));
}

namespace {

std::string Lowered(std::string_view text) {
  std::string lowered(text);
  for (char& c : lowered) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lowered;
}

// "host:port" or "[v6]:port" without user info, split at the port's colon.
std::pair<std::string_view, std::string_view> SplitHostAndPort(std::string_view authority) {
  size_t colon = authority.rfind(':');
  if (authority.starts_with('[') && colon != std::string_view::npos && authority[colon - 1] != ']')
    colon = std::string_view::npos;  // a colon inside the address, no port
  if (colon == std::string_view::npos) return {authority, {}};
  return {authority.substr(0, colon), authority.substr(colon + 1)};
}

}  // namespace

// Read by hand, not by the URL parser: the scheduler asks for the host of
// every due feed each time a download ends.
std::string HostOf(const std::string& address) {
  const size_t schemeEnd = address.find("://");
  if (schemeEnd == std::string::npos || schemeEnd == 0) return address;
  const size_t start = schemeEnd + 3;
  std::string_view authority = std::string_view(address).substr(start, address.find_first_of("/?#", start) - start);
  if (const size_t at = authority.rfind('@'); at != std::string_view::npos) authority.remove_prefix(at + 1);
  if (authority.empty()) return address;  // a local file is a host of its own
  auto [host, port] = SplitHostAndPort(authority);
  const std::string scheme = Lowered(std::string_view(address).substr(0, schemeEnd));
  if (port.empty()) port = scheme == "https" ? "443" : scheme == "http" ? "80" : "";
  return scheme + "://" + Lowered(host) + ":" + std::string(port);
}

std::unique_ptr<Download> Downloader::StartWithHttpFallback(const std::string& address, DownloadKind kind) {
  auto transfer = std::make_shared<Transfer>(address, kind, engine_->Options().maxBodyBytes, Validators{});
  if (address.starts_with("https://")) transfer->fallbackUrl = "http://" + address.substr(8);
  engine_->Add(transfer);
  return std::make_unique<CurlDownload>(engine_, std::move(transfer));
}

std::string AddressToUrl(const std::string& address) {
  if (address.empty() || HasScheme(address)) return address;
  std::error_code error;
  const std::filesystem::path path = std::filesystem::absolute(address, error);
  const std::string full = error ? address : path.lexically_normal().string();
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string url = "file://";
  for (const char c : full) {
    const auto byte = static_cast<unsigned char>(c);
    if (IsAsciiAlnum(c) || std::string_view("/-._~").find(c) != std::string_view::npos) {
      url += c;
    } else {
      url += '%';
      url += kHex[byte >> 4];
      url += kHex[byte & 15];
    }
  }
  return url;
}

std::string ResolveUrl(const std::string& base, const std::string& reference) {
  std::string resolved;
  CURLU* url = curl_url();
  char* text = nullptr;
  if (url != nullptr && curl_url_set(url, CURLUPART_URL, base.c_str(), 0) == CURLUE_OK &&
      curl_url_set(url, CURLUPART_URL, reference.c_str(), CURLU_NON_SUPPORT_SCHEME) == CURLUE_OK &&
      curl_url_get(url, CURLUPART_URL, &text, 0) == CURLUE_OK) {
    resolved = text;
  }
  curl_free(text);
  curl_url_cleanup(url);
  return resolved;
}

int64_t ParseRetryAfter(std::string_view value, std::time_t now) {
  value = TrimmedLine(value);
  value.remove_prefix(std::min(value.size(), value.find_first_not_of(' ')));
  if (value.empty()) return -1;
  int64_t seconds = 0;
  if (value.find_first_not_of("0123456789") == std::string_view::npos) {
    for (const char digit : value) {
      seconds = seconds * 10 + (digit - '0');
      if (seconds > kMaxRetryAfterSeconds) break;
    }
  } else {
    const std::time_t when = curl_getdate(std::string(value).c_str(), nullptr);
    if (when == -1) return -1;
    seconds = when - now;
  }
  return std::clamp<int64_t>(seconds, 0, kMaxRetryAfterSeconds);
}

namespace {

// A Cache-Control directive such as max-age=60: its value (quotes dropped;
// empty for a directive without one) when it is there, none when it is not.
std::optional<std::string_view> Directive(std::string_view directives, std::string_view name) {
  while (!directives.empty()) {
    const size_t comma = directives.find(',');
    const std::string_view directive = directives.substr(0, comma);
    directives.remove_prefix(comma == std::string_view::npos ? directives.size() : comma + 1);
    const size_t equals = directive.find('=');
    if (LowerAsciiText(TrimAscii(directive.substr(0, equals))) != name) continue;
    if (equals == std::string_view::npos) return std::string_view();
    std::string_view value = TrimAscii(directive.substr(equals + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    return value;
  }
  return std::nullopt;
}

std::optional<std::time_t> HttpDate(std::string_view text) {
  if (text.empty()) return std::nullopt;
  const std::time_t when = curl_getdate(std::string(text).c_str(), nullptr);
  return when == -1 ? std::nullopt : std::optional<std::time_t>(when);
}

}  // namespace

int64_t ParseFreshLifetime(std::string_view cacheControl, std::string_view expires, std::string_view date,
                           std::time_t now) {
  if (Directive(cacheControl, "no-store") || Directive(cacheControl, "no-cache")) return 0;
  if (const std::optional<std::string_view> maxAge = Directive(cacheControl, "max-age"))
    return maxAge->find_first_not_of("0123456789") == std::string_view::npos ? std::max<int64_t>(ParseRetryAfter(*maxAge, now), 0) : 0;
  const std::optional<std::time_t> expiry = HttpDate(TrimAscii(expires));
  if (!expiry) return 0;
  const std::time_t from = HttpDate(TrimAscii(date)).value_or(now);
  return std::clamp<int64_t>(*expiry - from, 0, kMaxRetryAfterSeconds);
}

bool PrepareDownloads() {
  static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  return ready;
}

}  // namespace vrel
