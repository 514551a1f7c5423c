#pragma once

// PNG decoding of our own on top of zlib's inflate (chunks, CRCs, row filters
// and sample conversion are done here).
//
// Supported: every colour type and bit depth PNG allows (grey 1/2/4/8/16,
// RGB 8/16, palette 1/2/4/8, grey+alpha 8/16, RGBA 8/16), PLTE and tRNS
// transparency, Adam7 interlacing. 16-bit samples are rounded to 8 bits.
// Colour-space chunks (gAMA, iCCP, ...) are ignored: samples are taken as
// they are stored.

#include <cstdint>
#include <span>

#include "app/picture/picture.h"

namespace kestrune {

// Decodes a complete PNG file held in memory. Throws PictureError for any
// corrupt, truncated, over-sized or unsupported input; never reads outside
// `bytes`.
Picture DecodePng(std::span<const std::uint8_t> bytes);

}  // namespace kestrune
