// Decodes PNGs written by ImageMagick (made at build time by
// make-imagemagick-samples.sh when convert is installed) and compares them
// with the pixels ImageMagick reads back from the same files. This checks the
// decoder against an encoder we did not write, including its ancillary chunks.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/picture/png_decoder.h"

namespace kestrune {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Sample {
  const char* name;
  int colourType;
  int bitDepth;
};

// What each file must be, so a change in how ImageMagick writes them cannot
// quietly drop a layout from the test.
const Sample kSamples[] = {
    {"rgba8", 6, 8},       {"rgba16", 6, 16},     {"rgb8", 2, 8},         {"rgb16", 2, 16},
    {"rgb8-key", 2, 8},    {"greyalpha8", 4, 8},  {"greyalpha16", 4, 16}, {"grey8-key", 0, 8},
    {"grey1", 0, 1},       {"grey2", 0, 2},       {"grey4", 0, 4},        {"grey8", 0, 8},
    {"grey16", 0, 16},     {"palette1", 3, 1},    {"palette2", 3, 2},     {"palette4", 3, 4},
    {"palette8", 3, 8},    {"palette-key", 3, 8},
};

TEST(PngFromImageMagick, EveryLayoutMatchesImageMagicksOwnReading) {
  const std::filesystem::path dir = KESTRUNE_IMAGEMAGICK_SAMPLES;
  if (dir.empty()) {
    GTEST_SKIP() << "ImageMagick's convert was not found when configuring";
  }
  for (const Sample& sample : kSamples) {
    for (const std::string suffix : {"", "-adam7"}) {
      const std::string name = sample.name + suffix;
      SCOPED_TRACE(name);
      const Bytes png = ReadFile(dir / (name + ".png"));
      const Bytes expected = ReadFile(dir / (name + ".rgba"));
      ASSERT_GT(png.size(), 29U) << "sample file missing";
      EXPECT_EQ(png[24], sample.bitDepth);
      EXPECT_EQ(png[25], sample.colourType);
      EXPECT_EQ(png[28], suffix.empty() ? 0 : 1) << "interlace method";

      const Picture picture = DecodePng(png);
      ASSERT_EQ(picture.width, 37);
      ASSERT_EQ(picture.height, 29);
      ASSERT_EQ(picture.rgba.size(), expected.size());
      // ImageMagick truncates some 16-bit samples to 8 bits where we round
      // to nearest, so those may differ by one.
      const int tolerance = sample.bitDepth == 16 ? 1 : 0;
      std::size_t mismatches = 0;
      for (std::size_t i = 0; i < expected.size(); ++i) {
        // Under a fully transparent pixel the colour is invisible, and the
        // two readers need not agree on it.
        const bool clear = expected[i | 3U] == 0;
        if (std::abs(picture.rgba[i] - expected[i]) > tolerance && !(clear && (i & 3U) != 3U)) {
          ++mismatches;
        }
      }
      EXPECT_EQ(mismatches, 0U);
    }
  }
}

}  // namespace
}  // namespace kestrune
