#include "platform/qt/qt_display_start.h"

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

namespace kestrune::qt {

namespace {

QtMessageHandler handlerBeforeStart = nullptr;

// While QApplication is being made, a fatal message can only be Qt finding
// no display: the user learns why on stderr, and the program ends with a
// status instead of a core that points at no fault of its own.
void EndWithoutDisplay(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (handlerBeforeStart) handlerBeforeStart(type, context, text);
  if (type != QtFatalMsg) return;
  std::fputs("kestrune: no display could be opened, so Kestrune cannot show its window\n", stderr);
  std::_Exit(EXIT_FAILURE);
}

}  // namespace

DisplayStart::DisplayStart() {
  const auto deadline = std::chrono::steady_clock::now() + kDisplayWait;
  for (;;) {
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const int error = xcb_connection_has_error(connection);
    if (error == 0) {
      connection_ = connection;
      break;
    }
    xcb_disconnect(connection);
    // Only a refused or dropped connection may be a server starting or
    // resetting; no DISPLAY, or one that names no X display, never changes.
    if (error != XCB_CONN_ERROR || std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  previous_ = qInstallMessageHandler(EndWithoutDisplay);
  handlerBeforeStart = previous_;
}

DisplayStart::~DisplayStart() {
  qInstallMessageHandler(previous_);
  handlerBeforeStart = nullptr;
  if (connection_) xcb_disconnect(connection_);
}

}  // namespace kestrune::qt
