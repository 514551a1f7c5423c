#include "app/layout.h"

namespace kestrune {

int ScaleByTextHeight(int value, int textHeight) {
  if (textHeight <= 0 || textHeight == layout::kDesignTextHeight) return value;
  const long long scaled = static_cast<long long>(value) * textHeight;
  const long long half = layout::kDesignTextHeight / 2;
  const long long rounded = scaled >= 0 ? (scaled + half) / layout::kDesignTextHeight
                                        : (scaled - half) / layout::kDesignTextHeight;
  return static_cast<int>(rounded);
}

namespace {

Rect Scale(const Rect& r, int textHeight) {
  return {ScaleByTextHeight(r.left, textHeight), ScaleByTextHeight(r.top, textHeight),
          ScaleByTextHeight(r.width, textHeight), ScaleByTextHeight(r.height, textHeight)};
}

}  // namespace

ScaledLayout ScaleLayout(int textHeight) {
  return ScaledLayout{
      ScaleByTextHeight(layout::kWindowOuterWidth, textHeight),
      ScaleByTextHeight(layout::kWindowOuterHeight, textHeight),
      Scale(layout::kImage1, textHeight),
      Scale(layout::kImage2, textHeight),
      Scale(layout::kLabel1, textHeight),
      Scale(layout::kExitBtn, textHeight),
      ScaleByTextHeight(layout::kWindowFontPixels, textHeight),
      ScaleByTextHeight(layout::kLabelFontPixels, textHeight),
  };
}

ScaledProgressLayout ScaleProgressLayout(int textHeight) {
  return ScaledProgressLayout{
      ScaleByTextHeight(layout::kProgressOuterWidth, textHeight),
      ScaleByTextHeight(layout::kProgressOuterHeight, textHeight),
      Scale(layout::kProgressCaption, textHeight),
      Scale(layout::kProgressCount, textHeight),
      Scale(layout::kProgressBar, textHeight),
      Scale(layout::kProgressCancel, textHeight),
      ScaleByTextHeight(layout::kWindowFontPixels, textHeight),
  };
}

}  // namespace kestrune
