// What the main window looks like on this system: the designed layout
// scaled to the window font's text height, and its fonts.
#pragma once

#include <QFont>
#include <QIcon>
#include <QImage>
#include <QRect>
#include <QString>

#include <optional>

#include "app/layout.h"
#include "app/picture/picture.h"

namespace kestrune::qt {

// The client size a standard Windows 10 frame leaves of the designed
// outer size at 96 dpi: 434 x 393 outside is 418 x 354 inside.
inline constexpr int kWindowsFrameWidth = 16;
inline constexpr int kWindowsFrameHeight = 39;

struct WindowLook {
  int textHeight = layout::kDesignTextHeight;
  ScaledLayout layout{};
  int clientWidth = 0;
  int clientHeight = 0;
  QFont windowFont;
  QFont labelFont;
};

// "Tahoma" where installed, else the nearest sans-serif (DejaVu Sans).
QString WindowFontFamily();

// Height of the designed window font's text on this system, in pixels.
int MeasureTextHeight(const QString& family);

// A rectangle of the core's layout as Qt takes it.
inline QRect ToQRect(const Rect& r) { return QRect(r.left, r.top, r.width, r.height); }

// The look for this system's window font.
WindowLook MakeWindowLook();
// The look for a given font family and text height (the scaling rule).
WindowLook MakeWindowLook(const QString& family, int textHeight);

// Straight-alpha RGBA, top row first, as QImage's RGBA8888; a null image
// for no picture.
QImage ToQImage(const std::optional<Picture>& picture);

// The program's icon for its windows; empty if it cannot be decoded.
QIcon ProgramIcon();

}  // namespace kestrune::qt
