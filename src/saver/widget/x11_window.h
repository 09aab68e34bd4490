// Asks the X server about a window another program owns: Qt cannot tell the
// size of a foreign window, nor when it goes away.
#pragma once

#include <memory>
#include <optional>

#include <QSize>

namespace vrel::saver {

class X11WindowProbe {
 public:
  explicit X11WindowProbe(unsigned long window);
  ~X11WindowProbe();
  X11WindowProbe(const X11WindowProbe&) = delete;
  X11WindowProbe& operator=(const X11WindowProbe&) = delete;

  // The window's size now; nothing when it does not exist (any more) or no
  // X server can be reached.
  std::optional<QSize> Size() const;

 private:
  struct Connection;
  std::unique_ptr<Connection> connection_;
  unsigned long window_;
};

}  // namespace vrel::saver
