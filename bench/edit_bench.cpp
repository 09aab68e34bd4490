// Typing into a 1 MB XML text in the multi-line box with colouring on: the
// time of one keystroke at the end and in the middle, with the layout and the
// draw list of the visible lines, and with the widget's full repaint.
// Runs under the offscreen platform.
#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "edit/edit_session.h"
#include "edit/widget/text_edit.h"
#include "markup/widget/qt_text_measurer.h"

namespace {

using Clock = std::chrono::steady_clock;
using vrel::edit::EditSession;
using vrel::edit::TextEdit;

constexpr std::size_t kTextSize = 1 << 20;
constexpr int kWidth = 800, kHeight = 600;
constexpr int kKeystrokes = 200;

// An RSS document of many items; with line_breaks off it is one long line, as
// feeds often arrive.
std::string FeedXml(bool line_breaks) {
  const char* const newline = line_breaks ? "\r\n" : "";
  std::string text = std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?>") + newline + "<rss version=\"2.0\"><channel>" + newline;
  for (int item = 0; text.size() < kTextSize; ++item) {
    const std::string number = std::to_string(item);
    text += std::string("  <item>") + newline + "    <title>Story " + number + " about the council &amp; the weather</title>" +
            newline + "    <link>http://news.example.com/story/" + number + "</link>" + newline +
            "    <description><![CDATA[<p>The council met on Tuesday to discuss the storm and the new plan.</p>]]></description>" +
            newline + "    <!-- item " + number + " -->" + newline + "  </item>" + newline;
  }
  return text + "</channel></rss>";
}

// The first keystroke also computes the colouring checkpoints up to the view.
struct Figures {
  double first = 0, mean = 0, worst = 0;  // mean and worst of the others
};

template <typename Keystroke>
Figures Time(Keystroke keystroke) {
  std::vector<double> times;
  for (int key = 0; key < kKeystrokes; ++key) {
    const Clock::time_point start = Clock::now();
    keystroke(key);
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  Figures figures;
  figures.first = times.front();
  for (auto time = times.begin() + 1; time != times.end(); ++time) figures.mean += *time / (kKeystrokes - 1);
  figures.worst = *std::max_element(times.begin() + 1, times.end());
  return figures;
}

void Report(const char* what, Figures figures) {
  std::printf("%-50s first %7.3f ms   then mean %7.3f ms, worst %7.3f ms\n", what, figures.first, figures.mean,
              figures.worst);
}

// The core alone: the edit, then the layout and draw list of the view.
Figures CoreKeystrokes(const std::string& xml, bool in_middle) {
  vrel::markup::QtTextMeasurer measurer(vrel::markup::MarkupBaseFont());
  EditSession session(measurer, true);
  session.SetClientSize(kWidth, kHeight);
  session.SetText(xml);
  const int at = in_middle ? static_cast<int>(xml.size() / 2) : static_cast<int>(xml.size());
  session.SetSelection(at, at);
  session.Draw();
  return Time([&](int key) {
    session.Type(std::string(1, static_cast<char>('a' + key % 26)));
    session.Draw();
  });
}

// The widget: a key event, then the whole box painted into an image.
Figures WidgetKeystrokes(const std::string& xml, bool in_middle) {
  TextEdit edit(TextEdit::Form::kMultiLine);
  edit.resize(kWidth, kHeight);
  edit.show();
  edit.SetText(xml);
  const int at = in_middle ? static_cast<int>(xml.size() / 2) : static_cast<int>(xml.size());
  edit.SetSelection(at, at);
  QImage screen(edit.size(), QImage::Format_RGB32);
  edit.render(&screen);
  const Figures figures = Time([&](int key) {
    const QString letter(QChar('a' + key % 26));
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A + key % 26, Qt::NoModifier, letter);
    QApplication::sendEvent(&edit, &press);
    edit.render(&screen);
  });
  if (edit.Text().size() != xml.size() + kKeystrokes) std::printf("  (keystrokes were lost)\n");
  return figures;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  for (bool line_breaks : {true, false}) {
    const std::string xml = FeedXml(line_breaks);
    std::printf("%zu bytes of XML, %s, %d keystrokes each (goal: under 5 ms)\n", xml.size(),
                line_breaks ? "lines of an indented document" : "one line without breaks", kKeystrokes);
    Report("  core: type at the end, lay out, draw list", CoreKeystrokes(xml, false));
    Report("  core: type in the middle, lay out, draw list", CoreKeystrokes(xml, true));
    Report("  widget: key event at the end and repaint", WidgetKeystrokes(xml, false));
    Report("  widget: key event in the middle and repaint", WidgetKeystrokes(xml, true));
  }
  return 0;
}
