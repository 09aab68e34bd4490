#include "saver/widget/foreign_window.h"

#include <QEventLoop>
#include <QPointer>
#include <chrono>
#include <cstdio>

#include "feeds/news_engine.h"
#include "feeds/settings_store.h"
#include "saver/widget/saver_wnd.h"

namespace vrel::saver {

int RunSaverInForeignWindow(unsigned long x11Window, const std::string& dataFile) {
  // A store of its own: this mode reads the data file and nothing else.
  MemorySettingsStore settings;
  NewsEngine engine(settings);
  engine.OpenDataFile(dataFile);
  for (const std::string& message : engine.StatusMessages()) std::fprintf(stderr, "vrel: %s\n", message.c_str());

  const auto seed = uint32_t(std::chrono::system_clock::now().time_since_epoch().count());
  QPointer<CSaverWnd> saver = new CSaverWnd(engine, seed);
  if (!saver->EmbedIn(x11Window)) {
    std::fprintf(stderr, "vrel: there is no X11 window 0x%lx to draw the screen saver in\n", x11Window);
    delete saver.data();
    return 1;
  }
  QEventLoop loop;
  QObject::connect(saver.data(), &QObject::destroyed, &loop, &QEventLoop::quit);
  loop.exec();
  return 0;
}

}  // namespace vrel::saver
