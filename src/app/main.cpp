// vrel: the brackenfold News Reader tray program.
#include <QApplication>
#include <QIcon>
#include <clocale>
#include <string>
#include <vector>

#include "app/news_app.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  // The dialog lives on hidden in the tray; only "Exit" ends the program.
  QApplication::setQuitOnLastWindowClosed(false);
  // The same picture in the tray, on the windows and in the desktop entry.
  QApplication::setWindowIcon(QIcon(":/icons/vrel.svg"));
  // Dates follow the user's locale; numbers stay as the data file writes them.
  std::setlocale(LC_ALL, "");
  std::setlocale(LC_NUMERIC, "C");
  // QApplication has taken its own options (-platform, -display...) out.
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  return vrel::app::NewsApp().Run(arguments);
}
