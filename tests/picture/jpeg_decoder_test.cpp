#include "app/picture/jpeg_decoder.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "resources/embedded.h"

namespace kestrune {
namespace {

using Bytes = std::vector<std::uint8_t>;

Picture Decode(const Bytes& jpeg) { return DecodeJpeg(std::span<const std::uint8_t>(jpeg)); }

Bytes Logo() {
  const auto logo = resources::LogoJpeg();
  return Bytes(logo.begin(), logo.end());
}

struct EncodeOptions {
  J_COLOR_SPACE space = JCS_RGB;  // of the samples given
  int components = 3;
  bool adobeMarker = true;  // libjpeg's default for CMYK
  bool progressive = false;
  bool fullChroma = true;  // 4:4:4 rather than libjpeg's default 4:2:0
  int quality = 100;
};

// Writes a JPEG with libjpeg's compressor, so the decoder is checked against
// real files of every colour space, not only the one committed logo.
Bytes EncodeJpeg(const Bytes& samples, int width, int height, const EncodeOptions& options) {
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_CreateCompress(&info, JPEG_LIB_VERSION, sizeof(info));
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = options.components;
  info.in_color_space = options.space;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, options.quality, TRUE);
  if (options.space == JCS_CMYK) {
    jpeg_set_colorspace(&info, JCS_CMYK);
    info.write_Adobe_marker = options.adobeMarker ? TRUE : FALSE;
  }
  if (options.fullChroma) {
    for (int c = 0; c < info.num_components; ++c) {
      info.comp_info[c].h_samp_factor = 1;
      info.comp_info[c].v_samp_factor = 1;
    }
  }
  if (options.progressive) {
    jpeg_simple_progression(&info);
  }
  jpeg_start_compress(&info, TRUE);
  const auto stride = static_cast<std::size_t>(width * options.components);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(samples.data() + info.next_scanline * stride);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  Bytes out(buffer, buffer + size);
  std::free(buffer);
  return out;
}

// A colourful picture where every channel changes differently in x and y, so
// swapped channels, rows or strides show up.
Bytes Gradient(int width, int height) {
  Bytes rgb;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      rgb.push_back(static_cast<std::uint8_t>(x * 255 / (width - 1)));
      rgb.push_back(static_cast<std::uint8_t>(y * 255 / (height - 1)));
      rgb.push_back(static_cast<std::uint8_t>(255 - (x + y) * 255 / (width + height - 2)));
    }
  }
  return rgb;
}

// Largest difference between the decoded RGB and `rgb`; also checks alpha.
int MaxError(const Picture& picture, const Bytes& rgb) {
  int worst = 0;
  for (std::size_t i = 0; i < rgb.size() / 3; ++i) {
    for (std::size_t c = 0; c < 3; ++c) {
      worst = std::max(worst, std::abs(int{picture.rgba[4 * i + c]} - int{rgb[3 * i + c]}));
    }
    EXPECT_EQ(picture.rgba[4 * i + 3], 255) << "pixel " << i;
  }
  return worst;
}

// ---------------------------------------------------------------------------
// Good files

TEST(JpegDecode, EmbeddedLogoIs77SquareTealWithWhiteBird) {
  const Picture logo = DecodeJpeg(resources::LogoJpeg());
  ASSERT_EQ(logo.width, 77);
  ASSERT_EQ(logo.height, 77);
  ASSERT_EQ(logo.rgba.size(), 77U * 77U * 4U);
  const auto pixel = [&](int x, int y) {
    const auto at = static_cast<std::size_t>(y * 77 + x) * 4U;
    return std::vector<int>{logo.rgba[at], logo.rgba[at + 1], logo.rgba[at + 2], logo.rgba[at + 3]};
  };
  // Corner: deep teal #17606a. JPEG is lossy, so allow a little.
  const std::vector<int> corner = pixel(1, 1);
  EXPECT_NEAR(corner[0], 0x17, 8);
  EXPECT_NEAR(corner[1], 0x60, 8);
  EXPECT_NEAR(corner[2], 0x6a, 8);
  // Below the left wing: the lighter teal disc #2b8791.
  const std::vector<int> disc = pixel(15, 50);
  EXPECT_NEAR(disc[0], 0x2b, 8);
  EXPECT_NEAR(disc[1], 0x87, 8);
  EXPECT_NEAR(disc[2], 0x91, 8);
  // The bird's body and tail are white.
  for (const int y : {44, 56}) {
    for (const int v : pixel(38, y)) {
      EXPECT_GE(v, 235) << "y " << y;
    }
  }
  for (std::size_t i = 3; i < logo.rgba.size(); i += 4) {
    ASSERT_EQ(logo.rgba[i], 255);
  }
}

TEST(JpegDecode, RgbBaselineAndProgressiveMatchTheEncodedPixels) {
  for (const bool progressive : {false, true}) {
    for (const auto& [width, height] : {std::pair{37, 23}, {1, 9}, {9, 1}, {64, 64}}) {
      SCOPED_TRACE((progressive ? "progressive " : "baseline ") + std::to_string(width) + "x" +
                   std::to_string(height));
      const Bytes rgb = Gradient(std::max(width, 2), std::max(height, 2));
      const Bytes cropped = [&] {
        Bytes out;
        const int fullWidth = std::max(width, 2);
        for (int y = 0; y < height; ++y) {
          out.insert(out.end(), rgb.begin() + y * fullWidth * 3, rgb.begin() + (y * fullWidth + width) * 3);
        }
        return out;
      }();
      EncodeOptions options;
      options.progressive = progressive;
      const Picture picture = Decode(EncodeJpeg(cropped, width, height, options));
      ASSERT_EQ(picture.width, width);
      ASSERT_EQ(picture.height, height);
      EXPECT_LE(MaxError(picture, cropped), 6);
    }
  }
}

TEST(JpegDecode, ChromaSubsampledFileKeepsColoursRoughly) {
  const Bytes rgb = Gradient(50, 30);
  EncodeOptions options;
  options.fullChroma = false;
  options.quality = 90;
  const Picture picture = Decode(EncodeJpeg(rgb, 50, 30, options));
  EXPECT_LE(MaxError(picture, rgb), 24);
}

TEST(JpegDecode, GreyscaleBecomesGreyRgb) {
  Bytes grey;
  for (int i = 0; i < 16 * 8; ++i) {
    grey.push_back(static_cast<std::uint8_t>(i * 2));
  }
  EncodeOptions options;
  options.space = JCS_GRAYSCALE;
  options.components = 1;
  const Picture picture = Decode(EncodeJpeg(grey, 16, 8, options));
  ASSERT_EQ(picture.rgba.size(), grey.size() * 4);
  for (std::size_t i = 0; i < grey.size(); ++i) {
    EXPECT_NEAR(picture.rgba[4 * i], grey[i], 3) << i;
    EXPECT_EQ(picture.rgba[4 * i + 1], picture.rgba[4 * i]) << i;
    EXPECT_EQ(picture.rgba[4 * i + 2], picture.rgba[4 * i]) << i;
    EXPECT_EQ(picture.rgba[4 * i + 3], 255) << i;
  }
}

TEST(JpegDecode, CmykWithAndWithoutAdobeMarker) {
  // Inks for cyan, magenta, yellow, 50% black, paper white, full black.
  const std::vector<std::vector<int>> inks = {
      {255, 0, 0, 0}, {0, 255, 0, 0}, {0, 0, 255, 0}, {0, 0, 0, 128}, {0, 0, 0, 0}, {0, 0, 0, 255}};
  const std::vector<std::vector<int>> colours = {
      {0, 255, 255}, {255, 0, 255}, {255, 255, 0}, {127, 127, 127}, {255, 255, 255}, {0, 0, 0}};
  for (const bool adobe : {true, false}) {
    SCOPED_TRACE(adobe ? "Adobe (inverted) CMYK" : "plain CMYK");
    // 8 x 8 blocks of each ink side by side, so each is one flat JPEG block.
    const int width = 8 * static_cast<int>(inks.size());
    Bytes samples;
    for (int y = 0; y < 8; ++y) {
      for (int x = 0; x < width; ++x) {
        for (const int ink : inks[static_cast<std::size_t>(x / 8)]) {
          samples.push_back(static_cast<std::uint8_t>(adobe ? 255 - ink : ink));
        }
      }
    }
    EncodeOptions options;
    options.space = JCS_CMYK;
    options.components = 4;
    options.adobeMarker = adobe;
    const Picture picture = Decode(EncodeJpeg(samples, width, 8, options));
    ASSERT_EQ(picture.width, width);
    for (std::size_t block = 0; block < inks.size(); ++block) {
      const std::size_t at = (4 * static_cast<std::size_t>(width) + block * 8 + 4) * 4;  // row 4, mid-block
      for (std::size_t c = 0; c < 3; ++c) {
        EXPECT_NEAR(picture.rgba[at + c], colours[block][c], 4) << "block " << block << " channel " << c;
      }
      EXPECT_EQ(picture.rgba[at + 3], 255);
    }
  }
}

// ---------------------------------------------------------------------------
// Bad files: PictureError, or for data cut short a picture, never a crash

TEST(JpegCorrupt, TruncatedAtEveryByteGivesErrorOrWholeSizedPicture) {
  const Bytes logo = Logo();
  int decoded = 0;
  for (std::size_t size = 0; size < logo.size(); ++size) {
    const Bytes cut(logo.begin(), logo.begin() + static_cast<std::ptrdiff_t>(size));
    try {
      const Picture picture = Decode(cut);
      // libjpeg fills in what is missing; the picture is still complete.
      ASSERT_EQ(picture.width, 77) << "cut at " << size;
      ASSERT_EQ(picture.rgba.size(), 77U * 77U * 4U) << "cut at " << size;
      ++decoded;
    } catch (const PictureError&) {
    }
  }
  // Cut inside the header: error; cut inside the scan data: a picture.
  EXPECT_GT(decoded, 0);
  EXPECT_THROW(Decode(Bytes(logo.begin(), logo.begin() + 100)), PictureError);
}

TEST(JpegCorrupt, GarbageIsRefused) {
  std::mt19937 random(99);
  Bytes noise(3000);
  for (auto& b : noise) {
    b = static_cast<std::uint8_t>(random());
  }
  const std::string text = "this is not a picture at all";
  const Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13};
  const Bytes startOnly = {0xFF, 0xD8};
  const Bytes startEnd = {0xFF, 0xD8, 0xFF, 0xD9};
  Bytes startNoise = startOnly;
  startNoise.insert(startNoise.end(), noise.begin(), noise.end());

  EXPECT_THROW(Decode(Bytes{}), PictureError);
  EXPECT_THROW(Decode(noise), PictureError);
  EXPECT_THROW(Decode(Bytes(text.begin(), text.end())), PictureError);
  EXPECT_THROW(Decode(png), PictureError);
  EXPECT_THROW(Decode(startOnly), PictureError);
  EXPECT_THROW(Decode(startEnd), PictureError);
  EXPECT_THROW(Decode(startNoise), PictureError);
}

// Offset of the SOF0 frame header's height field in the logo.
std::size_t FrameSizeOffset(const Bytes& jpeg) {
  for (std::size_t i = 2; i + 1 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
      return i + 5;  // marker, length (2), precision (1), then height, width
    }
  }
  ADD_FAILURE() << "no SOF0 marker: the logo must be a baseline JPEG";
  return 0;
}

TEST(JpegCorrupt, HugeOrEmptyFrameSizeIsRefusedBeforeDecoding) {
  const Bytes logo = Logo();
  const std::size_t at = FrameSizeOffset(logo);
  ASSERT_NE(at, 0U);
  const auto withSize = [&](unsigned height, unsigned width) {
    Bytes jpeg = logo;
    jpeg[at] = static_cast<std::uint8_t>(height >> 8);
    jpeg[at + 1] = static_cast<std::uint8_t>(height);
    jpeg[at + 2] = static_cast<std::uint8_t>(width >> 8);
    jpeg[at + 3] = static_cast<std::uint8_t>(width);
    return jpeg;
  };
  EXPECT_NO_THROW(Decode(withSize(77, 77)));
  EXPECT_THROW(Decode(withSize(77, 9000)), PictureError);
  EXPECT_THROW(Decode(withSize(65535, 65535)), PictureError);
  EXPECT_THROW(Decode(withSize(4100, 4100)), PictureError) << "over the pixel limit";
  EXPECT_THROW(Decode(withSize(0, 77)), PictureError);
  EXPECT_THROW(Decode(withSize(77, 0)), PictureError);
}

TEST(JpegCorrupt, RandomDamageOnlyEverThrowsPictureError) {
  const Bytes logo = Logo();
  std::mt19937 random(4321);
  int refused = 0;
  for (int round = 0; round < 1500; ++round) {
    Bytes jpeg = logo;
    const int damage = 1 + static_cast<int>(random() % 6);
    for (int d = 0; d < damage; ++d) {
      jpeg[2 + random() % (jpeg.size() - 2)] = static_cast<std::uint8_t>(random());
    }
    try {
      const Picture picture = Decode(jpeg);
      ASSERT_EQ(picture.rgba.size(), std::size_t(picture.width) * std::size_t(picture.height) * 4U);
    } catch (const PictureError&) {
      ++refused;
    }
  }
  EXPECT_GT(refused, 0);
}

}  // namespace
}  // namespace kestrune
