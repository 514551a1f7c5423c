#include "platform/win32/win32_picture.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace kestrune::win32 {

namespace {

std::uint8_t Blend(std::uint8_t over, std::uint8_t under, std::uint8_t alpha) {
  // Rounded (over*a + under*(255-a)) / 255, exact for a = 0 and a = 255.
  const unsigned mixed = over * alpha + under * (255u - alpha) + 127u;
  return static_cast<std::uint8_t>(mixed / 255u);
}

}  // namespace

PictureBitmap BitmapOnBackground(const Picture& picture, COLORREF background) {
  if (picture.width <= 0 || picture.height <= 0) return {};
  const auto width = static_cast<std::size_t>(picture.width);
  const auto height = static_cast<std::size_t>(picture.height);
  if (picture.rgba.size() != width * height * 4) return {};

  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = picture.width;
  info.bmiHeader.biHeight = -picture.height;  // top row first, as decoded
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  BitmapHandle bitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap || !bits) return {};

  const std::uint8_t backRed = GetRValue(background);
  const std::uint8_t backGreen = GetGValue(background);
  const std::uint8_t backBlue = GetBValue(background);
  auto* out = static_cast<std::uint8_t*>(bits);
  const std::uint8_t* in = picture.rgba.data();
  for (std::size_t i = 0; i < width * height; ++i, in += 4, out += 4) {
    // DIB pixels are blue, green, red, unused.
    out[0] = Blend(in[2], backBlue, in[3]);
    out[1] = Blend(in[1], backGreen, in[3]);
    out[2] = Blend(in[0], backRed, in[3]);
    out[3] = 0;
  }
  return {std::move(bitmap), picture.width, picture.height};
}

PictureBitmap BitmapOnBackground(const std::optional<Picture>& picture, COLORREF background) {
  if (!picture) return {};
  return BitmapOnBackground(*picture, background);
}

void DrawPicture(HDC dc, const RECT& bounds, const PictureBitmap& picture, COLORREF background) {
  // The stock DC brush takes any colour without a brush to create and free.
  ::SetDCBrushColor(dc, background);
  ::FillRect(dc, &bounds, static_cast<HBRUSH>(::GetStockObject(DC_BRUSH)));
  if (!picture.bitmap) return;

  const MemoryDC memory(::CreateCompatibleDC(dc));
  if (!memory) return;
  const SelectedObject selected(memory.get(), picture.bitmap.get());
  const int width = std::min<int>(picture.width, static_cast<int>(bounds.right - bounds.left));
  const int height = std::min<int>(picture.height, static_cast<int>(bounds.bottom - bounds.top));
  ::BitBlt(dc, bounds.left, bounds.top, width, height, memory.get(), 0, 0, SRCCOPY);
}

}  // namespace kestrune::win32
