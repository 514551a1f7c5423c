#include "app/picture/picture.h"

namespace kestrune {

void CheckPictureSize(std::uint64_t width, std::uint64_t height, const char* format) {
  const std::string prefix = std::string(format) + ": ";
  if (width == 0 || height == 0) {
    throw PictureError(prefix + "picture has no pixels (width or height is zero)");
  }
  if (width > kMaxPictureSide || height > kMaxPictureSide) {
    throw PictureError(prefix + "picture is " + std::to_string(width) + " x " +
                       std::to_string(height) + ", larger than the " +
                       std::to_string(kMaxPictureSide) + " pixel side limit");
  }
  // Both sides are at most kMaxPictureSide here, so the product cannot wrap.
  if (width * height > kMaxPicturePixels) {
    throw PictureError(prefix + "picture has " + std::to_string(width * height) +
                       " pixels, more than the limit of " + std::to_string(kMaxPicturePixels));
  }
}

}  // namespace kestrune
