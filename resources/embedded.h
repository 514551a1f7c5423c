#pragma once

// The pictures built into the program. The bytes are the committed files in
// resources/, turned into arrays at build time, so the program needs no
// files beside it to show them. Decode them with kestrune::DecodeJpeg /
// DecodePng.

#include <cstdint>
#include <span>

namespace kestrune::resources {

// The maker's logo: resources/logo.jpg, a 77 x 77 baseline JPEG.
std::span<const std::uint8_t> LogoJpeg();

// The help icon: resources/help.png, a 31 x 31 RGBA PNG.
std::span<const std::uint8_t> HelpIconPng();

// The program icon: resources/kestrune-48.png, a 48 x 48 RGBA PNG (the same
// picture as resources/kestrune.ico), for the window icon where an ICO
// resource is not used.
std::span<const std::uint8_t> ProgramIconPng();

}  // namespace kestrune::resources
