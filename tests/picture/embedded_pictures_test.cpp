#include "resources/embedded.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/picture/png_decoder.h"

namespace kestrune {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << "cannot open " << path;
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ResourcePath(const std::string& name) { return std::string(KESTRUNE_RESOURCES_DIR) + "/" + name; }

Bytes ToBytes(std::span<const std::uint8_t> span) { return Bytes(span.begin(), span.end()); }

std::array<std::uint8_t, 4> PixelAt(const Picture& picture, int x, int y) {
  const auto at = static_cast<std::size_t>(y * picture.width + x) * 4U;
  return {picture.rgba[at], picture.rgba[at + 1], picture.rgba[at + 2], picture.rgba[at + 3]};
}

TEST(EmbeddedResources, BytesAreTheCommittedFiles) {
  // Catches a stale or broken generated array: the program must carry exactly
  // what is in resources/.
  EXPECT_EQ(ToBytes(resources::LogoJpeg()), ReadFile(ResourcePath("logo.jpg")));
  EXPECT_EQ(ToBytes(resources::HelpIconPng()), ReadFile(ResourcePath("help.png")));
  EXPECT_EQ(ToBytes(resources::ProgramIconPng()), ReadFile(ResourcePath("kestrune-48.png")));
}

TEST(EmbeddedResources, HelpIconIsGreyDiscWithWhiteQuestionMark) {
  const Picture icon = DecodePng(resources::HelpIconPng());
  ASSERT_EQ(icon.width, 31);
  ASSERT_EQ(icon.height, 31);
  // Transparent outside the disc.
  for (const auto& [x, y] : {std::pair{0, 0}, {30, 0}, {0, 30}, {30, 30}, {2, 2}}) {
    EXPECT_EQ(PixelAt(icon, x, y)[3], 0) << x << "," << y;
  }
  // Light grey, opaque, inside the disc but away from the question mark
  // (left and right edges, and the hole in the hook).
  for (const auto& [x, y] : {std::pair{3, 15}, {27, 15}, {15, 11}, {8, 24}}) {
    const auto p = PixelAt(icon, x, y);
    EXPECT_EQ(p[3], 255) << x << "," << y;
    EXPECT_GE(p[0], 150) << x << "," << y;
    EXPECT_LE(p[0], 230) << x << "," << y;
    EXPECT_NEAR(p[0], p[2], 12) << "grey, not coloured, at " << x << "," << y;
  }
  // White stroke: top of the hook, the stem and the dot, on the centre line.
  for (const auto& [x, y] : {std::pair{15, 6}, {15, 19}, {15, 25}}) {
    EXPECT_EQ(PixelAt(icon, x, y), (std::array<std::uint8_t, 4>{255, 255, 255, 255})) << x << "," << y;
  }
  // Anti-aliased rim: some pixels are partly transparent.
  int partial = 0;
  for (std::size_t i = 3; i < icon.rgba.size(); i += 4) {
    partial += icon.rgba[i] != 0 && icon.rgba[i] != 255;
  }
  EXPECT_GT(partial, 20);
}

TEST(EmbeddedResources, ProgramIconPngHasTransparentRoundedCorners) {
  const Picture icon = DecodePng(resources::ProgramIconPng());
  ASSERT_EQ(icon.width, 48);
  ASSERT_EQ(icon.height, 48);
  for (const auto& [x, y] : {std::pair{0, 0}, {47, 0}, {0, 47}, {47, 47}}) {
    EXPECT_EQ(PixelAt(icon, x, y)[3], 0) << x << "," << y;
  }
  EXPECT_EQ(PixelAt(icon, 24, 3)[3], 255);
  // The stem of the white K.
  EXPECT_EQ(PixelAt(icon, 16, 24), (std::array<std::uint8_t, 4>{255, 255, 255, 255}));
}

std::uint32_t Le32(const Bytes& b, std::size_t at) {
  return std::uint32_t{b.at(at)} | std::uint32_t{b.at(at + 1)} << 8 | std::uint32_t{b.at(at + 2)} << 16 |
         std::uint32_t{b.at(at + 3)} << 24;
}
unsigned Le16(const Bytes& b, std::size_t at) { return unsigned{b.at(at)} | unsigned{b.at(at + 1)} << 8; }

TEST(EmbeddedResources, IcoFileHoldsTheSame48PixelPictureAt32Bits) {
  // The Windows build takes the icon from the ICO, Linux from the PNG; they
  // must show the same picture.
  const Bytes ico = ReadFile(KESTRUNE_TEST_ICON_FILE);
  ASSERT_GE(ico.size(), 22U);
  EXPECT_EQ(Le16(ico, 0), 0U);
  EXPECT_EQ(Le16(ico, 2), 1U) << "type 1 = icon";
  ASSERT_EQ(Le16(ico, 4), 1U) << "one image";
  EXPECT_EQ(ico[6], 48);
  EXPECT_EQ(ico[7], 48);
  EXPECT_EQ(Le16(ico, 12), 32U) << "32 bits per pixel";
  const std::size_t offset = Le32(ico, 18);
  ASSERT_EQ(Le32(ico, 14), ico.size() - offset);

  // The image is a BMP without file header: BITMAPINFOHEADER, BGRA rows
  // bottom-up, then the 1-bit AND mask.
  ASSERT_EQ(Le32(ico, offset), 40U);
  EXPECT_EQ(Le32(ico, offset + 4), 48U);
  EXPECT_EQ(Le32(ico, offset + 8), 96U) << "height counts colour rows and mask rows";
  EXPECT_EQ(Le16(ico, offset + 14), 32U);
  EXPECT_EQ(Le32(ico, offset + 16), 0U) << "uncompressed";
  ASSERT_GE(ico.size(), offset + 40 + 48 * 48 * 4);

  const Picture png = DecodePng(resources::ProgramIconPng());
  ASSERT_EQ(png.width, 48);
  int differences = 0;
  for (int y = 0; y < 48; ++y) {
    for (int x = 0; x < 48; ++x) {
      const std::size_t at = offset + 40 + static_cast<std::size_t>((47 - y) * 48 + x) * 4U;
      const auto want = PixelAt(png, x, y);
      const std::array<std::uint8_t, 4> got = {ico[at + 2], ico[at + 1], ico[at], ico[at + 3]};
      // Colour under a fully transparent pixel is invisible and may differ.
      const bool same = want[3] == 0 ? got[3] == 0 : got == want;
      differences += !same;
    }
  }
  EXPECT_EQ(differences, 0);
}

}  // namespace
}  // namespace kestrune
