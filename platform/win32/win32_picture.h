// The core's decoded pictures as GDI bitmaps.
#pragma once

#include "platform/win32/win32_windows.h"

#include <optional>

#include "app/picture/picture.h"
#include "platform/win32/win32_handles.h"

namespace kestrune::win32 {

struct PictureBitmap {
  BitmapHandle bitmap;  // null when there is no picture to show
  int width = 0;
  int height = 0;
};

// The picture blended over an opaque background (the window's white), so
// it is drawn with a plain BitBlt whatever the picture's alpha. No picture
// (the core could not decode it) gives an empty PictureBitmap, and its
// control stays blank.
PictureBitmap BitmapOnBackground(const Picture& picture, COLORREF background);
PictureBitmap BitmapOnBackground(const std::optional<Picture>& picture, COLORREF background);

// Draws the picture unstretched with its top-left corner at the top-left
// of bounds, clipped to bounds; the rest of bounds gets the background.
void DrawPicture(HDC dc, const RECT& bounds, const PictureBitmap& picture, COLORREF background);

}  // namespace kestrune::win32
