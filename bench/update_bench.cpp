// Updating many feeds at once: `vrel-cli update` of 500 never-downloaded
// feeds served from 127.0.0.1, timed against Newsboat's `newsboat -x reload`
// of the same addresses with a fresh cache, in the same run. The feeds are
// the well-formed RSS and Atom files of the corpus, served by a small HTTP
// server in this program (keep-alive, Content-Length), so that the server is
// never what is measured. Newsboat is given as many download threads as
// vrel-cli runs downloads side by side. When Newsboat is not installed, only
// vrel-cli is timed.
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kFeeds = 500;
constexpr int kRuns = 3;
constexpr int kParallel = 8;  // vrel-cli update's downloads side by side

std::string ReadWhole(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> Split(const std::string& line, char separator) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  for (std::string field; std::getline(in, field, separator);) fields.push_back(field);
  return fields;
}

// The well-formed RSS and Atom feeds of the corpus that have items, by the
// manifest.
std::vector<std::string> CorpusFeeds() {
  std::vector<std::string> feeds;
  std::ifstream manifest(fs::path(VREL_CORPUS_DIR) / "MANIFEST.tsv");
  std::string line;
  std::getline(manifest, line);
  const std::vector<std::string> header = Split(line, '\t');
  const auto column = [&](const char* name) {
    return size_t(std::find(header.begin(), header.end(), name) - header.begin());
  };
  const size_t file = column("file"), format = column("format"), wellFormed = column("xml_wellformed"),
               items = column("item_count");
  while (std::getline(manifest, line)) {
    const std::vector<std::string> fields = Split(line, '\t');
    if (fields.size() <= std::max({file, format, wellFormed, items}) || fields[wellFormed] != "yes" ||
        std::atoi(fields[items].c_str()) == 0)
      continue;
    if (fields[format].starts_with("RSS") || fields[format].starts_with("Atom"))
      feeds.push_back(ReadWhole(fs::path(VREL_CORPUS_DIR) / fields[file]));
  }
  return feeds;
}

// Serves GET /feed/N with bodies[N % count], one thread per connection.
class FeedServer {
 public:
  explicit FeedServer(std::vector<std::string> bodies) : bodies_(std::move(bodies)) {
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

  ~FeedServer() {
    shutdown(listener_, SHUT_RDWR);
    if (acceptor_.joinable()) acceptor_.join();
    close(listener_);
    std::lock_guard lock(mutex_);
    for (const int connection : connections_) shutdown(connection, SHUT_RDWR);
    for (std::thread& worker : workers_) worker.join();
    for (const int connection : connections_) close(connection);
  }

  int Port() const { return port_; }

 private:
  void Accept() {
    for (int connection; (connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
      const int on = 1;
      setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      std::lock_guard lock(mutex_);
      connections_.push_back(connection);
      workers_.emplace_back([this, connection] { Serve(connection); });
    }
  }

  void Serve(int connection) {
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

  bool Answer(int connection, const std::string& request) {
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

  std::vector<std::string> bodies_;
  int listener_ = -1;
  int port_ = 0;
  std::thread acceptor_;
  std::mutex mutex_;
  std::vector<int> connections_;
  std::vector<std::thread> workers_;
};

// Runs a program with its output in a file; the wall time in milliseconds,
// or a negative value when it did not exit with status 0.
double TimeProgram(std::vector<std::string> args, const fs::path& output, const std::vector<std::string>& env) {
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
  const auto start = Clock::now();
  pid_t pid = 0;
  int status = -1;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) waitpid(pid, &status, 0);
  const double milliseconds = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  posix_spawn_file_actions_destroy(&actions);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? milliseconds : -1;
}

bool OnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  for (const std::string& folder : Split(path ? path : "", ':'))
    if (!folder.empty() && access((fs::path(folder) / program).c_str(), X_OK) == 0) return true;
  return false;
}

double Best(const std::vector<double>& times) {
  if (std::find_if(times.begin(), times.end(), [](double t) { return t < 0; }) != times.end()) return -1;
  return *std::min_element(times.begin(), times.end());
}

}  // namespace

int main() {
  const fs::path cli = fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "src/cli/vrel-cli";
  if (access(cli.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "update_bench: %s is missing; build vrel-cli first\n", cli.c_str());
    return 1;
  }
  const std::vector<std::string> bodies = CorpusFeeds();
  if (bodies.empty()) {
    std::fprintf(stderr, "update_bench: no feeds in %s\n", VREL_CORPUS_DIR);
    return 1;
  }
  FeedServer server(bodies);
  if (server.Port() == 0) {
    std::fprintf(stderr, "update_bench: cannot listen on 127.0.0.1\n");
    return 1;
  }
  size_t bytes = 0;
  std::string database = "<FEEDSTATUS>\r\n", urls;
  for (int i = 0; i < kFeeds; ++i) {
    const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/feed/" + std::to_string(i);
    database += "<FEED uri=\"" + url + "\" title=\"Feed " + std::to_string(i) + "\"/>\r\n";
    urls += url + "\n";
    bytes += bodies[size_t(i) % bodies.size()].size();
  }
  database += "</FEEDSTATUS>\r\n";

  char pattern[] = "/tmp/vrel-update-bench-XXXXXX";
  const fs::path dir = mkdtemp(pattern);
  const fs::path data = dir / "feedstatus.xml", output = dir / "output";
  std::ofstream(dir / "urls") << urls;
  std::ofstream(dir / "config") << "reload-threads " << kParallel << "\n";
  const std::vector<std::string> home{"HOME=" + dir.string()};

  std::printf("%d feeds (%zu distinct corpus feeds, %.1f MiB) from 127.0.0.1, best of %d runs\n", kFeeds,
              bodies.size(), double(bytes) / (1 << 20), kRuns);
  std::vector<double> vrel, newsboat;
  const bool haveNewsboat = OnPath("newsboat");
  for (int run = 0; run < kRuns; ++run) {
    std::ofstream(data, std::ios::binary) << database;  // never downloaded
    vrel.push_back(TimeProgram({cli.string(), "--data", data.string(), "update"}, output, home));
    const std::string summary = ReadWhole(output);
    if (summary != std::to_string(kFeeds) + " of " + std::to_string(kFeeds) + " feeds updated\n") {
      std::fprintf(stderr, "update_bench: vrel-cli said: %s\n", summary.substr(0, 1000).c_str());
      vrel.back() = -1;
    }
    if (!haveNewsboat) continue;
    fs::remove(dir / "cache.db");
    newsboat.push_back(TimeProgram({"newsboat", "-x", "reload", "-u", (dir / "urls").string(), "-c",
                                    (dir / "cache.db").string(), "-C", (dir / "config").string()},
                                   output, home));
  }
  const double vrelTime = Best(vrel);
  std::printf("  vrel-cli update (%d side by side)   %9.1f ms\n", kParallel, vrelTime);
  int status = vrelTime < 0 ? 1 : 0;
  if (!haveNewsboat) {
    std::printf("  newsboat -x reload                  not installed (apt-get install newsboat), not compared\n");
  } else {
    const double newsboatTime = Best(newsboat);
    std::printf("  newsboat -x reload (%d threads)     %9.1f ms\n", kParallel, newsboatTime);
    if (newsboatTime < 0) {
      std::fprintf(stderr, "update_bench: newsboat failed: %s\n", ReadWhole(output).substr(0, 1000).c_str());
      status = 1;
    } else if (vrelTime > 0) {
      std::printf("  vrel-cli / newsboat                 %9.2f\n", vrelTime / newsboatTime);
    }
  }
  std::error_code ignored;
  fs::remove_all(dir, ignored);
  return status;
}
