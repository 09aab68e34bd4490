// The window the screen saver paints: full screen, or inside a window of
// another program (the preview, or XScreenSaver's window).
#pragma once

#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "saver/anim_scene.h"
#include "saver/saver_input.h"
#include "saver/saver_screens.h"
#include "saver/widget/qt_anim_canvas.h"

namespace vrel {
class NewsEngine;
}

namespace vrel::saver {

class X11WindowProbe;

class CSaverWnd : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kTickMs = 20;

  // Called once when a full-screen saver closes: the feed picked with G,
  // empty when none.
  using EndReport = std::function<void(const std::string& feedId)>;

  // A full-screen saver when onEnd is given; without it the window is
  // embedded and ignores keys and the mouse.
  CSaverWnd(NewsEngine& engine, uint32_t seed, EndReport onEnd = {});
  ~CSaverWnd() override;

  // A frameless window above all others over the primary screen.
  void ShowFullScreen();
  // A child of the foreign X11 window, following its size; false (and
  // nothing shown) when there is no such window.
  bool EmbedIn(unsigned long x11Window);

  // One 20 ms step; the timer calls it. The window's accessible description
  // follows what it shows.
  void Tick();

  SaverScreens& Screens() { return screens_; }
  bool IsPreview() const { return !onEnd_; }

 signals:
  // The foreign window that held this one is gone.
  void parentWindowGone();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void SetUpScene();
  void FollowParentWindow();
  void TellWhatIsShown();
  void CloseLater();

  QtAnimCanvas canvas_;
  AnimScene scene_;
  SaverScreens screens_;
  SaverInput input_;
  EndReport onEnd_;
  QTimer timer_;
  std::unique_ptr<X11WindowProbe> parentProbe_;
  int ticksSinceProbe_ = 0;
  bool wasActive_ = false;
};

}  // namespace vrel::saver
