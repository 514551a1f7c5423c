// The decoded pictures as GDI bitmaps.
#pragma once

#include "platform/win32/win32_windows.h"

#include "app/picture/picture.h"
#include "platform/win32/win32_handles.h"

namespace kestrune::win32 {

struct PictureBitmap {
  BitmapHandle bitmap;  // null when the picture could not be decoded
  int width = 0;
  int height = 0;
};

// The picture blended over an opaque background (the window's white), so
// it is drawn with a plain BitBlt whatever the picture's alpha.
PictureBitmap BitmapOnBackground(const Picture& picture, COLORREF background);

// Decodes the embedded logo and help icon; an undecodable picture gives an
// empty PictureBitmap and the control stays blank.
PictureBitmap LogoBitmap(COLORREF background);
PictureBitmap HelpIconBitmap(COLORREF background);

// Draws the picture unstretched with its top-left corner at the top-left
// of bounds, clipped to bounds; the rest of bounds gets the background.
void DrawPicture(HDC dc, const RECT& bounds, const PictureBitmap& picture, COLORREF background);

}  // namespace kestrune::win32
