#include "cli/session.h"

#include <pwd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "feeds/ini_settings_store.h"
#include "markup/markup_terminal.h"
#include "xml/xml_encoding.h"

namespace vrel::cli {

namespace {

std::unique_ptr<SettingsStore> ChooseStore(const GlobalOptions& options) {
  if (options.dataPath.empty()) return std::make_unique<IniSettingsStore>();
  return std::make_unique<MemorySettingsStore>();
}

// Where the tray program listens for later starts: the user's runtime
// folder as Qt finds it.
std::string TrayProgramSocketPath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::string folder;
  if (runtime && *runtime) {
    folder = runtime;
  } else {
    const passwd* user = getpwuid(getuid());
    folder = "/tmp/runtime-" + std::string(user ? user->pw_name : std::to_string(getuid()));
  }
  return folder + "/brackenfoldNewsInterProcess_WM";
}

bool TrayProgramRuns() {
  const std::string path = TrayProgramSocketPath();
  sockaddr_un address = {};
  if (path.size() >= sizeof address.sun_path) return false;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (probe < 0) return false;
  const bool listening = connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  close(probe);
  return listening;
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code error;
  return std::filesystem::weakly_canonical(a, error) == std::filesystem::weakly_canonical(b, error);
}

[[noreturn]] void Refuse(const std::string& why) {
  PrintLine(stderr, "vrel-cli: " + why);
  std::exit(1);
}

}  // namespace

bool RefuseWhileTrayProgramRuns(const std::string& command, const GlobalOptions& options) {
  if (!options.changesDataFile) return false;
  if (!options.dataPath.empty() && !SameFile(options.dataPath, IniSettingsStore().GetString("DataFile"))) return false;
  if (!TrayProgramRuns()) return false;
  std::fprintf(stderr,
               "vrel-cli: the reader vrel is running and keeps this data file; '%s' would change it behind its "
               "back, so nothing was done. Do it in vrel, or choose \"Exit\" in its tray menu first.\n",
               command.c_str());
  return true;
}

Session::Session(const GlobalOptions& options) : store_(ChooseStore(options)), engine_(*store_) {
  const std::string path = ChooseDataFile(options);
  if (options.changesDataFile) LockDataFile(path);
  const Outcome loaded = engine_.LoadDataFile(path);
  for (const std::string& message : engine_.StatusMessages()) PrintLine(stderr, "vrel-cli: " + PlainText(message));
  if (!loaded) Refuse(loaded.Message());
}

// As the tray program chooses it, unless --data names it.
std::string Session::ChooseDataFile(const GlobalOptions& options) {
  if (!options.dataPath.empty()) return options.dataPath;
  if (const Outcome loaded = engine_.LoadSettings(); !loaded) engine_.AddStatusMessage(loaded.Message());
  return engine_.Settings().dataFile;
}

void Session::LockDataFile(const std::string& path) {
  const Outcome locked = engine_.LockDataFile(path, kDataFileLockWait, [](const std::string& why) {
    PrintLine(stderr, "vrel-cli: " + why + "; waiting for it");
    std::fflush(stderr);
  });
  if (!locked) Refuse(locked.Message());
}

bool Session::Save() {
  const Outcome saved = engine_.Save();
  if (!saved.Message().empty()) PrintLine(stderr, "vrel-cli: " + saved.Message());
  return saved.Ok();
}

std::string PlainText(std::string_view markup) {
  std::string text;
  bool inTag = false;
  for (const char c : markup) {
    if (inTag) {
      inTag = c != '>';
    } else if (c == '<') {
      inTag = true;
    } else if (c != '\r') {
      text += c;
    }
  }
  return TerminalText(FromMarkupText(text));
}

void PrintLine(std::FILE* out, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), out);
  std::fputc('\n', out);
}

void StatusLinePrinter::StatusLineChanged(const std::string& text) {
  PrintLine(stdout, PlainText(text));
  std::fflush(stdout);
}

void PrintLatestStatusMessage(const NewsEngine& engine, std::FILE* out) {
  const std::vector<std::string> messages = engine.StatusMessages();
  if (!messages.empty()) PrintLine(out, PlainText(messages.front()));
}

const DownloadResult& AwaitDownload(Download& download) {
  while (!download.Poll()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  return download.Result();
}

}  // namespace vrel::cli
