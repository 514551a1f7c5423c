#pragma once

// A decoded picture as the rest of the program wants it, whatever the file
// format: 8-bit RGBA, rows top to bottom, straight alpha.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace kestrune {

// Limits applied before any pixel memory is allocated, so a few bytes of
// hostile header cannot make a decoder ask for gigabytes. At the pixel cap the
// RGBA result is 64 MiB, far more than any picture the launcher shows.
inline constexpr std::uint32_t kMaxPictureSide = 8192;
inline constexpr std::uint64_t kMaxPicturePixels = 4096ULL * 4096ULL;

struct Picture {
  int width = 0;
  int height = 0;
  // Row-major, top row first, 4 bytes per pixel (R, G, B, A), straight
  // (non-premultiplied) alpha. Size is width * height * 4.
  std::vector<std::uint8_t> rgba;
};

// Thrown for any input a decoder cannot or will not turn into a Picture:
// corrupt, truncated, unsupported or over the size limits.
class PictureError : public std::runtime_error {
 public:
  explicit PictureError(const std::string& message) : std::runtime_error(message) {}
};

// Throws PictureError unless width x height is non-empty and within the
// limits above. `format` names the decoder in the message ("PNG", "JPEG").
void CheckPictureSize(std::uint64_t width, std::uint64_t height, const char* format);

}  // namespace kestrune
