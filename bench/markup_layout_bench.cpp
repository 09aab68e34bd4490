// Mark-up layout at scale: a feed view of a large feed (1 MB of mark-up) laid
// out with the real font metrics, and a repaint of a full screen of it.
// Runs under the offscreen platform.
#include <QApplication>
#include <QImage>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "markup/layout/markup_layout.h"
#include "markup/widget/markup_view.h"
#include "markup/widget/qt_text_measurer.h"

namespace {

using Clock = std::chrono::steady_clock;
using vrel::markup::MarkupView;

constexpr std::size_t kTextSize = 1 << 20;
constexpr int kWidth = 1000;
constexpr int kRounds = 7;

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Items as the feed view writes them: a linked bold title, a small date line,
// a description with entities and a blank line.
std::string FeedViewMarkup() {
  static const char* const kWords[] = {"news",  "market", "update",   "council", "weather", "the",  "of",
                                       "report", "and",   "science",  "election", "&amp;",  "a",    "storm",
                                       "city",  "&#8217;s", "results", "team",    "new",     "plan", "in"};
  std::uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
  auto words = [&](int count) {
    std::string out;
    for (int i = 0; i < count; ++i) out += std::string(i ? " " : "") + kWords[(next() >> 16) % std::size(kWords)];
    return out;
  };
  std::string text;
  for (int item = 0; text.size() < kTextSize; ++item) {
    text += "<a href=\"http://news.example.com/story/" + std::to_string(item) +
            "\" feedid=\"7\" firsttime=\"20261208 101500\" seq=\"" + std::to_string(item) + "\"><B>" + words(8) +
            "</B></a>\r\n<SMALL><font color=\"100,100,100\">Tue, 8 Dec 2026 10:15</font></SMALL>\r\n" +
            words(60 + static_cast<int>(next() >> 16) % 60) + "\r\n\r\n";
  }
  return text;
}

struct Figures {
  double best = 0, median = 0;
};

template <typename Work>
Figures Time(Work work) {
  std::vector<double> times;
  for (int round = 0; round < kRounds; ++round) {
    Clock::time_point start = Clock::now();
    work();
    times.push_back(MillisecondsSince(start));
  }
  std::sort(times.begin(), times.end());
  return {times.front(), times[times.size() / 2]};
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const std::string markup = FeedViewMarkup();

  vrel::markup::QtTextMeasurer measurer(vrel::markup::MarkupBaseFont());
  std::size_t runs = 0;
  Figures layout = Time([&] {
    auto result = vrel::markup::LayOutMarkup(markup, {kWidth, 4, 4}, measurer);
    runs = result.runs.size();
  });
  std::printf("layout of %zu bytes of mark-up at %d px (%zu runs): best %.1f ms, median %.1f ms (goal < 50 ms)\n",
              markup.size(), kWidth, runs, layout.best, layout.median);

  MarkupView view;
  view.setAttribute(Qt::WA_DontShowOnScreen);
  view.show();
  view.resize(1920, 1080);
  view.SetText(markup, true);
  view.ScrollBy(view.ContentHeight() / 2);
  QImage screen(view.size(), QImage::Format_RGB32);
  Figures repaint = Time([&] { view.render(&screen); });
  Figures relayout = Time([&] {
    view.SetText(markup, false);
    view.render(&screen);
  });
  std::printf("repaint of a 1920x1080 screen of that text: best %.2f ms, median %.2f ms\n", repaint.best,
              repaint.median);
  std::printf("repaint with a new layout (new text): best %.1f ms, median %.1f ms\n", relayout.best,
              relayout.median);
  return 0;
}
