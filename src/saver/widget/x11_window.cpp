#include "saver/widget/x11_window.h"

#include <xcb/xcb.h>

#include <cstdlib>

namespace vrel::saver {

// A connection of our own: it works whatever platform Qt runs on, and a
// failed request only yields an error reply instead of ending the program.
struct X11WindowProbe::Connection {
  xcb_connection_t* xcb = nullptr;
  ~Connection() {
    if (xcb) xcb_disconnect(xcb);
  }
};

X11WindowProbe::X11WindowProbe(unsigned long window) : connection_(std::make_unique<Connection>()), window_(window) {
  connection_->xcb = xcb_connect(nullptr, nullptr);
}

X11WindowProbe::~X11WindowProbe() = default;

std::optional<QSize> X11WindowProbe::Size() const {
  xcb_connection_t* xcb = connection_->xcb;
  if (!xcb || xcb_connection_has_error(xcb) || window_ == 0) return std::nullopt;
  xcb_generic_error_t* error = nullptr;
  xcb_get_geometry_reply_t* reply =
      xcb_get_geometry_reply(xcb, xcb_get_geometry(xcb, xcb_drawable_t(window_)), &error);
  std::free(error);
  if (!reply) return std::nullopt;
  const QSize size(reply->width, reply->height);
  std::free(reply);
  return size;
}

}  // namespace vrel::saver
