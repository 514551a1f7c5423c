// The pictures the main window shows, decoded once from the copies built
// into the program; the platforms only turn them into native images.
#pragma once

#include <optional>

#include "app/picture/picture.h"

namespace kestrune {

struct FormPictures {
  std::optional<Picture> logo;      // Image1: the maker's logo (JPEG)
  std::optional<Picture> helpIcon;  // Image2: the help icon (PNG)
};

// A picture that cannot be decoded is left out: its control stays blank
// rather than keeping the program from starting.
FormPictures DecodeFormPictures();

// The 48 x 48 program icon, for platforms that take the window icon as a
// picture rather than from an icon resource.
std::optional<Picture> DecodeProgramIcon();

}  // namespace kestrune
