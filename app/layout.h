// The main window's designed geometry (pixels at 96 dpi, for a window font
// whose text is 13 px high) and the launcher buttons' run-time constants.
#pragma once

namespace kestrune {

struct Rect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const Rect&, const Rect&) = default;
};

namespace layout {

inline constexpr int kDesignTextHeight = 13;

inline constexpr int kWindowOuterWidth = 434;
inline constexpr int kWindowOuterHeight = 393;

inline constexpr Rect kImage1{8, 8, 81, 81};
inline constexpr Rect kImage2{377, 8, 33, 33};
inline constexpr Rect kLabel1{104, 40, 282, 25};
inline constexpr Rect kExitBtn{297, 320, 89, 25};

// Pictures inside their controls.
inline constexpr int kLogoSize = 77;
inline constexpr int kHelpIconSize = 31;

// Fonts, as pixel heights of the character (the designed -11 and -21).
inline constexpr int kWindowFontPixels = 11;
inline constexpr int kLabelFontPixels = 21;
inline constexpr int kLabelGrey = 128;  // red, green and blue of Label1's text

inline constexpr int kVertScrollButtonSize = 10;

// Launcher buttons: applied as they stand, never scaled.
inline constexpr int kButtonLeft = 35;
inline constexpr int kButtonWidth = 250;
inline constexpr int kButtonHeight = 25;
inline constexpr int kFirstButtonTop = 120;
inline constexpr int kButtonPitch = 40;
inline constexpr int kButtonsWithoutGrowth = 5;
inline constexpr int kGrowthPerButton = 40;

// The downloads' progress window (a build with the maker's option), laid
// out and scaled like the main window, in the window font.
inline constexpr int kProgressOuterWidth = 400;
inline constexpr int kProgressOuterHeight = 130;
inline constexpr Rect kProgressCaption{12, 10, 360, 15};
inline constexpr Rect kProgressCount{12, 28, 360, 15};
inline constexpr Rect kProgressBar{12, 48, 360, 17};
inline constexpr Rect kProgressCancel{297, 71, 75, 23};

}  // namespace layout

// The progress window's layout, scaled as ScaleLayout scales the main one.
struct ScaledProgressLayout {
  int outerWidth;
  int outerHeight;
  Rect caption;
  Rect count;
  Rect bar;
  Rect cancel;
  int fontPixels;
};
ScaledProgressLayout ScaleProgressLayout(int textHeight);

// The designed layout scaled by the ratio of the running system's window
// font text height to the designed 13 px, as the window is created.
struct ScaledLayout {
  int windowOuterWidth;
  int windowOuterHeight;
  Rect image1;
  Rect image2;
  Rect label1;
  Rect exitBtn;
  int windowFontPixels;
  int labelFontPixels;
};

// textHeight <= 0 is taken as the designed height.
ScaledLayout ScaleLayout(int textHeight);

// One value scaled by textHeight / 13, rounded half away from zero.
int ScaleByTextHeight(int value, int textHeight);

}  // namespace kestrune
