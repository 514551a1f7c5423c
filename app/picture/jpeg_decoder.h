#pragma once

// JPEG decoding through libjpeg, with its error handling turned into
// PictureError instead of its default of ending the process.

#include <cstdint>
#include <span>

#include "app/picture/picture.h"

namespace kestrune {

// Decodes a JPEG file held in memory (baseline or progressive; greyscale,
// YCbCr/RGB or CMYK/YCCK) to RGBA with alpha 255. Throws PictureError for
// data libjpeg rejects and for pictures over the size limits. A file cut
// short after its header decodes with the missing part filled in by libjpeg
// (grey), as other viewers show it.
Picture DecodeJpeg(std::span<const std::uint8_t> bytes);

}  // namespace kestrune
