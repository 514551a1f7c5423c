// The start of QApplication, made safe for a display that is not there yet
// or is resetting.
//
// NOTE: Qt ends the program with abort() (and a core) when no platform
// plugin can reach a display. An X server refuses clients for a moment while
// it starts, and each time it resets after its last client left (Xvfb's
// default, and sessions that restart their server); a launcher started in
// that moment, by a script or an autostart entry, died before its first box.
#pragma once

#include <QtGlobal>

#include <chrono>

struct xcb_connection_t;

namespace kestrune::qt {

// Long enough for an X server that is still starting; a reset takes far less.
inline constexpr std::chrono::milliseconds kDisplayWait{5000};

// Made just before QApplication and ended just after it.
class DisplayStart {
 public:
  // Waits up to kDisplayWait for the X display named by DISPLAY and keeps a
  // connection to it open: with a client connected the server cannot reset
  // before Qt has made its own connection. Returns at once when DISPLAY
  // names no display; Qt then decides which platform to use. Until the
  // end, Qt finding no display at all ends the program with a reason on
  // stderr and status 1 instead of a core.
  DisplayStart();
  ~DisplayStart();
  DisplayStart(const DisplayStart&) = delete;
  DisplayStart& operator=(const DisplayStart&) = delete;

 private:
  xcb_connection_t* connection_ = nullptr;
  QtMessageHandler previous_ = nullptr;
};

}  // namespace kestrune::qt
