// markup_png FILE WIDTH OUT.png [MARGIN]: lays out the mark-up in FILE with the
// real control at WIDTH pixels and saves the whole text as a picture.
#include <QApplication>
#include <QPixmap>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "markup/widget/markup_view.h"

int main(int argc, char** argv) {
  if (argc < 4 || argc > 5) {
    std::fprintf(stderr, "usage: markup_png FILE WIDTH OUT.png [MARGIN]\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "markup_png: cannot read %s\n", argv[1]);
    return 1;
  }
  std::ostringstream markup;
  markup << in.rdbuf();
  int width = std::atoi(argv[2]);
  int margin = argc == 5 ? std::atoi(argv[4]) : 0;
  if (width < 1 || width > 10000 || margin < 0) {
    std::fprintf(stderr, "markup_png: width must be 1 to 10000 and the margin not negative\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  vrel::markup::MarkupView view;
  view.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  view.SetMargins(margin, margin);
  view.SetText(markup.str(), true);
  // Shown (off screen) so that resizing takes effect at once.
  view.setAttribute(Qt::WA_DontShowOnScreen);
  view.show();
  view.resize(width, 10);
  view.resize(width, std::max(1, view.ContentHeight()));
  if (!view.grab().save(QString::fromLocal8Bit(argv[3]))) {
    std::fprintf(stderr, "markup_png: cannot write %s\n", argv[3]);
    return 1;
  }
  return 0;
}
