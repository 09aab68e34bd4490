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

X11WindowProbe::X11WindowProbe(unsigned long window) : m_connection(std::make_unique<Connection>()), m_window(window) {
  m_connection->xcb = xcb_connect(nullptr, nullptr);
}

X11WindowProbe::~X11WindowProbe() = default;

std::optional<QSize> X11WindowProbe::Size() const {
  xcb_connection_t* xcb = m_connection->xcb;
  if (!xcb || xcb_connection_has_error(xcb) || m_window == 0) return std::nullopt;
  xcb_generic_error_t* error = nullptr;
  xcb_get_geometry_reply_t* reply =
      xcb_get_geometry_reply(xcb, xcb_get_geometry(xcb, xcb_drawable_t(m_window)), &error);
  std::free(error);
  if (!reply) return std::nullopt;
  const QSize size(reply->width, reply->height);
  std::free(reply);
  return size;
}

}  // namespace vrel::saver
