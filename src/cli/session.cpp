#include "cli/session.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "feeds/ini_settings_store.h"
#include "xml/xml_encoding.h"

namespace vrel::cli {

namespace {

std::unique_ptr<SettingsStore> ChooseStore(const GlobalOptions& options) {
  if (options.dataPath.empty()) return std::make_unique<IniSettingsStore>();
  return std::make_unique<MemorySettingsStore>();
}

}  // namespace

Session::Session(const GlobalOptions& options) : store_(ChooseStore(options)), engine_(*store_) {
  if (options.dataPath.empty()) {
    engine_.Start();
  } else {
    engine_.OpenDataFile(options.dataPath);
  }
  for (const std::string& message : engine_.StatusMessages())
    std::fprintf(stderr, "vrel-cli: %s\n", PlainText(message).c_str());
}

bool Session::Save() {
  std::string error;
  if (engine_.Save(&error)) return true;
  std::fprintf(stderr, "vrel-cli: %s\n", error.c_str());
  return false;
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
  return FromMarkupText(text);
}

void StatusLinePrinter::StatusLineChanged(const std::string& text) {
  std::printf("%s\n", PlainText(text).c_str());
  std::fflush(stdout);
}

void PrintLatestStatusMessage(const NewsEngine& engine, std::FILE* out) {
  const std::vector<std::string> messages = engine.StatusMessages();
  if (!messages.empty()) std::fprintf(out, "%s\n", PlainText(messages.front()).c_str());
}

const DownloadResult& AwaitDownload(Download& download) {
  while (!download.Poll()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  return download.Result();
}

}  // namespace vrel::cli
