#include "app/picture/png_decoder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "tests/picture/png_builder.h"

namespace kestrune {
namespace {

using test::Bytes;
using test::Concat;
using test::EncodePng;
using test::IhdrData;
using test::PngChunk;
using test::PngOptions;
using test::PngSignature;
using test::PngWithStream;
using test::SampleImage;

Picture Decode(const Bytes& png) { return DecodePng(std::span<const std::uint8_t>(png)); }

std::uint8_t Scale16(unsigned v) { return static_cast<std::uint8_t>((v * 255U + 32767U) / 65535U); }

// What the decoder must produce for `image`, worked out from the samples
// rather than from the file bytes.
Bytes ExpectedRgba(const SampleImage& image, const Bytes& palette = {}, const Bytes& trns = {}) {
  Bytes out;
  const unsigned max = (1U << image.bitDepth) - 1U;
  const auto to8 = [&](unsigned v) {
    return image.bitDepth == 16 ? Scale16(v) : static_cast<std::uint8_t>(v * 255U / max);
  };
  const auto key = [&](std::size_t i) { return (unsigned{trns[2 * i]} << 8) | trns[2 * i + 1]; };
  for (std::uint32_t y = 0; y < image.height; ++y) {
    for (std::uint32_t x = 0; x < image.width; ++x) {
      const auto s = [&](unsigned c) { return unsigned{image.At(x, y, c)}; };
      switch (image.colourType) {
        case 0: {
          const bool clear = trns.size() == 2 && s(0) == key(0);
          out.insert(out.end(), {to8(s(0)), to8(s(0)), to8(s(0)), std::uint8_t(clear ? 0 : 255)});
          break;
        }
        case 2: {
          const bool clear = trns.size() == 6 && s(0) == key(0) && s(1) == key(1) && s(2) == key(2);
          out.insert(out.end(), {to8(s(0)), to8(s(1)), to8(s(2)), std::uint8_t(clear ? 0 : 255)});
          break;
        }
        case 3: {
          const unsigned i = s(0);
          out.insert(out.end(), {palette[3 * i], palette[3 * i + 1], palette[3 * i + 2],
                                 std::uint8_t(i < trns.size() ? trns[i] : 255)});
          break;
        }
        case 4:
          out.insert(out.end(), {to8(s(0)), to8(s(0)), to8(s(0)), to8(s(1))});
          break;
        default:
          out.insert(out.end(), {to8(s(0)), to8(s(1)), to8(s(2)), to8(s(3))});
          break;
      }
    }
  }
  return out;
}

Bytes RandomPalette(unsigned entries, unsigned seed) {
  std::mt19937 random(seed);
  Bytes palette(entries * 3U);
  for (auto& b : palette) {
    b = static_cast<std::uint8_t>(random());
  }
  return palette;
}

struct Layout {
  std::uint8_t colourType;
  std::uint8_t bitDepth;
};

// Every colour type and bit depth PNG allows.
const std::vector<Layout> kAllLayouts = {
    {0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8}, {2, 16}, {3, 1},
    {3, 2}, {3, 4}, {3, 8}, {4, 8}, {4, 16}, {6, 8}, {6, 16},
};

// Encodes a random picture of the given layout and checks every pixel.
void ExpectRoundTrip(Layout layout, std::uint32_t width, std::uint32_t height, PngOptions options,
                     unsigned seed) {
  SCOPED_TRACE("colour type " + std::to_string(layout.colourType) + ", depth " +
               std::to_string(layout.bitDepth) + ", " + std::to_string(width) + "x" +
               std::to_string(height) + (options.interlaced ? ", Adam7" : ""));
  const unsigned paletteSize = layout.colourType == 3 ? std::min(256U, 1U << layout.bitDepth) : 0U;
  const SampleImage image =
      test::RandomImage(width, height, layout.bitDepth, layout.colourType, seed, paletteSize);
  if (layout.colourType == 3) {
    options.palette = RandomPalette(paletteSize, seed);
  }
  const Picture picture = Decode(EncodePng(image, options));
  ASSERT_EQ(picture.width, static_cast<int>(width));
  ASSERT_EQ(picture.height, static_cast<int>(height));
  EXPECT_EQ(picture.rgba, ExpectedRgba(image, options.palette));
}

// ---------------------------------------------------------------------------
// Row filters

TEST(PngFilters, HandComputedRowsCoverFirstRowFirstColumnAndOverflow) {
  // 2 x 6 greyscale. Each row: filter type, then the filtered bytes worked
  // out by hand from the pixels in the comment.
  const Bytes stream = {
      3, 100, 30,   // Average, first row: above is zero -> 100, 80
      4, 10, 10,    // Paeth: col 0 predicts up (100); col 1 pb == pc tie -> up (80): 110, 90
      4, 40, 10,    // Paeth: col 1 pa == pc tie -> left (150): 150, 160
      3, 180, 56,   // Average: (0+150)/2 = 75; (255+160)/2 = 207 needs 9 bits: 255, 7
      1, 5, 245,    // Sub, first column uses 0: 5, 250
      2, 1, 10,     // Up: 6, 4
  };
  const Picture picture = Decode(PngWithStream(IhdrData(2, 6, 8, 0), stream));
  const Bytes greys = {100, 80, 110, 90, 150, 160, 255, 7, 5, 250, 6, 4};
  ASSERT_EQ(picture.rgba.size(), greys.size() * 4);
  for (std::size_t i = 0; i < greys.size(); ++i) {
    EXPECT_EQ(picture.rgba[4 * i], greys[i]) << "pixel " << i;
    EXPECT_EQ(picture.rgba[4 * i + 3], 255) << "pixel " << i;
  }
}

TEST(PngFilters, EveryFilterTypeOnEveryPixelLayout) {
  // Filtering works on bytes with a step of one pixel (at least one byte), so
  // each layout exercises a different step: 1 for packed and 8-bit grey, up
  // to 8 for 16-bit RGBA.
  const std::vector<std::vector<std::uint8_t>> filterSets = {{0}, {1}, {2}, {3}, {4}, {4, 3, 2, 1, 0}};
  unsigned seed = 1;
  for (const Layout& layout : kAllLayouts) {
    for (const auto& filters : filterSets) {
      for (const std::uint32_t width : {1U, 5U, 13U}) {
        SCOPED_TRACE("first filter " + std::to_string(filters[0]));
        PngOptions options;
        options.filters = filters;
        ExpectRoundTrip(layout, width, 7, options, seed++);
      }
    }
  }
}

TEST(PngFilters, UnknownFilterTypeIsRefused) {
  const Bytes stream = {0, 1, 2, 5, 3, 4};  // second row has filter type 5
  EXPECT_THROW(Decode(PngWithStream(IhdrData(2, 2, 8, 0), stream)), PictureError);
  const Bytes high = {255, 1, 2};
  EXPECT_THROW(Decode(PngWithStream(IhdrData(2, 1, 8, 0), high)), PictureError);
}

// ---------------------------------------------------------------------------
// Sample formats and interlacing

TEST(PngFormats, SixteenBitSamplesRoundToNearest) {
  // 65535 / 255 = 257: 128 is just under half a step, 129 just over.
  SampleImage image{8, 1, 16, 0, {0, 128, 129, 32896, 65406, 65407, 65534, 65535}};
  const Picture picture = Decode(EncodePng(image));
  const Bytes greys = {0, 0, 1, 128, 254, 255, 255, 255};
  for (std::size_t i = 0; i < greys.size(); ++i) {
    EXPECT_EQ(picture.rgba[4 * i], greys[i]) << "sample " << image.samples[i];
  }
}

TEST(PngFormats, PackedGreyScalesToFullRange) {
  const std::vector<std::pair<std::uint8_t, Bytes>> cases = {
      {1, {0, 255}},
      {2, {0, 85, 170, 255}},
      {4, {0, 17, 34, 119, 238, 255}},
  };
  for (const auto& [depth, greys] : cases) {
    SampleImage image{static_cast<std::uint32_t>(greys.size()), 1, depth, 0, {}};
    for (const std::uint8_t g : greys) {
      image.samples.push_back(static_cast<std::uint16_t>(g * ((1U << depth) - 1U) / 255U));
    }
    const Picture picture = Decode(EncodePng(image));
    for (std::size_t i = 0; i < greys.size(); ++i) {
      EXPECT_EQ(picture.rgba[4 * i], greys[i]) << "depth " << int{depth} << ", pixel " << i;
    }
  }
}

TEST(PngFormats, Adam7GivesTheSamePixelsAsNonInterlaced) {
  // Small sizes leave some of the seven passes empty; those have no rows and
  // no filter bytes at all.
  const std::vector<std::pair<std::uint32_t, std::uint32_t>> sizes = {
      {1, 1}, {2, 2}, {3, 7}, {8, 8}, {9, 9}, {13, 5}, {1, 10}, {10, 1}, {33, 17}};
  unsigned seed = 100;
  for (const Layout& layout : kAllLayouts) {
    for (const auto& [width, height] : sizes) {
      PngOptions options;
      options.interlaced = true;
      options.filters = {0, 1, 2, 3, 4};
      ExpectRoundTrip(layout, width, height, options, seed++);
    }
  }
}

TEST(PngFormats, LargerPictureWithManyIdatChunks) {
  PngOptions options;
  options.filters = {4, 1, 3, 2, 0};
  options.idatPieces = 37;
  ExpectRoundTrip({6, 8}, 300, 200, options, 7);
  options.interlaced = true;
  ExpectRoundTrip({2, 16}, 129, 65, options, 8);
}

// ---------------------------------------------------------------------------
// Transparency

TEST(PngTransparency, GreyColourKeyMakesOnlyThatValueClear) {
  SampleImage image{4, 1, 8, 0, {0, 7, 8, 255}};
  PngOptions options;
  options.transparency = {0, 7};
  const Picture picture = Decode(EncodePng(image, options));
  EXPECT_EQ(picture.rgba, ExpectedRgba(image, {}, options.transparency));
  EXPECT_EQ(picture.rgba[7], 0);
  EXPECT_EQ(picture.rgba[11], 255);
}

TEST(PngTransparency, GreyColourKeyAtPackedDepth) {
  SampleImage image{4, 1, 2, 0, {0, 1, 2, 3}};
  PngOptions options;
  options.transparency = {0, 2};
  const Picture picture = Decode(EncodePng(image, options));
  EXPECT_EQ(picture.rgba, ExpectedRgba(image, {}, options.transparency));
  EXPECT_EQ(picture.rgba[11], 0);
}

TEST(PngTransparency, RgbColourKeyComparesFullSixteenBitSamples) {
  // The second pixel differs from the key only in the low byte of blue, which
  // disappears when rounded to 8 bits, so it must still be opaque.
  SampleImage image{3, 1, 16, 2, {0x1234, 0x5678, 0x9ABC, 0x1234, 0x5678, 0x9ABD, 1, 2, 3}};
  PngOptions options;
  options.transparency = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};
  const Picture picture = Decode(EncodePng(image, options));
  EXPECT_EQ(picture.rgba, ExpectedRgba(image, {}, options.transparency));
  EXPECT_EQ(picture.rgba[3], 0);
  EXPECT_EQ(picture.rgba[7], 255);
}

TEST(PngTransparency, PaletteAlphaTableMayBeShorterThanPalette) {
  SampleImage image{4, 2, 4, 3, {0, 1, 2, 3, 3, 2, 1, 0}};
  PngOptions options;
  options.palette = {10, 20, 30, 40, 50, 60, 70, 80, 90, 200, 210, 220};
  options.transparency = {0, 128};  // entries 2 and 3 stay opaque
  const Picture picture = Decode(EncodePng(image, options));
  EXPECT_EQ(picture.rgba, ExpectedRgba(image, options.palette, options.transparency));
  EXPECT_EQ(picture.rgba[3], 0);
  EXPECT_EQ(picture.rgba[7], 128);
  EXPECT_EQ(picture.rgba[15], 255);
}

TEST(PngTransparency, AlphaChannelIsKeptStraight) {
  // Half-transparent red must stay (255, 0, 0, 128), not be premultiplied.
  SampleImage image{1, 1, 8, 6, {255, 0, 0, 128}};
  EXPECT_EQ(Decode(EncodePng(image)).rgba, (Bytes{255, 0, 0, 128}));
}

// ---------------------------------------------------------------------------
// Chunk layout that must be accepted

TEST(PngChunks, AncillaryChunksSkippedAndBytesAfterIendIgnored) {
  SampleImage image = test::RandomImage(3, 3, 8, 2, 3);
  const Bytes plain = EncodePng(image);
  // Put a text chunk, an unknown private chunk and a suggested palette after
  // IHDR (33 bytes in), and junk after IEND.
  Bytes png(plain.begin(), plain.begin() + 33);
  png = Concat({png, PngChunk("tEXt", {'a', 0, 'b'}), PngChunk("prVt", {1, 2, 3}),
                PngChunk("PLTE", {1, 2, 3, 4, 5, 6}), Bytes(plain.begin() + 33, plain.end()),
                Bytes{0xDE, 0xAD}});
  EXPECT_EQ(Decode(png).rgba, ExpectedRgba(image));
}

TEST(PngChunks, ImageDataSplitIntoEmptyAndOneByteChunks) {
  const SampleImage image = test::RandomImage(16, 16, 8, 6, 4);
  const Bytes compressed = test::ZlibCompress(test::ImageStream(image, {}));
  Bytes png = Concat({PngSignature(), PngChunk("IHDR", IhdrData(16, 16, 8, 6)), PngChunk("IDAT", {})});
  for (const std::uint8_t b : compressed) {
    png = Concat({png, PngChunk("IDAT", {b})});
  }
  png = Concat({png, PngChunk("IDAT", {}), PngChunk("IEND", {})});
  EXPECT_EQ(Decode(png).rgba, ExpectedRgba(image));
}

// ---------------------------------------------------------------------------
// Corrupt and hostile input: always PictureError

Bytes ValidPalettePng() {
  SampleImage image = test::RandomImage(7, 5, 4, 3, 11, 12);
  PngOptions options;
  options.palette = RandomPalette(12, 11);
  options.transparency = {0, 50, 100};
  options.filters = {0, 1, 2, 3, 4};
  options.idatPieces = 2;
  Bytes png = EncodePng(image, options);
  // An ancillary chunk too, so truncation also cuts through one of those.
  return Concat({Bytes(png.begin(), png.begin() + 33), PngChunk("tEXt", {'k', 0, 'v'}),
                 Bytes(png.begin() + 33, png.end())});
}

TEST(PngCorrupt, ValidReferenceFileDecodes) {
  // The files the tests below damage are themselves fine.
  EXPECT_NO_THROW(Decode(ValidPalettePng()));
}

TEST(PngCorrupt, TruncatedAtEveryByteThrows) {
  const Bytes png = ValidPalettePng();
  for (std::size_t size = 0; size < png.size(); ++size) {
    const Bytes cut(png.begin(), png.begin() + static_cast<std::ptrdiff_t>(size));
    EXPECT_THROW(Decode(cut), PictureError) << "cut at " << size << " of " << png.size();
  }
}

TEST(PngCorrupt, BadSignatureThrows) {
  const Bytes png = ValidPalettePng();
  for (std::size_t i = 0; i < 8; ++i) {
    Bytes bad = png;
    bad[i] ^= 0x20;
    EXPECT_THROW(Decode(bad), PictureError) << "byte " << i;
  }
  EXPECT_THROW(Decode(Bytes{}), PictureError);
}

TEST(PngCorrupt, AnyFlippedBitInAnyChunkFailsItsCrc) {
  const Bytes png = ValidPalettePng();
  // Every byte after the signature belongs to some chunk's length, type,
  // data or CRC; flipping one must never give a picture.
  for (std::size_t i = 8; i < png.size(); ++i) {
    Bytes bad = png;
    bad[i] ^= 0x01;
    EXPECT_THROW(Decode(bad), PictureError) << "byte " << i;
  }
}

TEST(PngCorrupt, ChunkLengthPastEndOfFile) {
  const Bytes ihdr = PngChunk("IHDR", IhdrData(1, 1, 8, 0));
  for (const std::uint32_t length : {0x7FFFFFFFU, 0x80000000U, 0xFFFFFFFFU, 0xFFFFFFF4U, 1U}) {
    Bytes idat = {static_cast<std::uint8_t>(length >> 24), static_cast<std::uint8_t>(length >> 16),
                  static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length),
                  'I', 'D', 'A', 'T'};
    // Claims `length` bytes of data; gets only a CRC's worth and nothing else.
    idat.insert(idat.end(), {0, 0, 0, 0});
    EXPECT_THROW(Decode(Concat({PngSignature(), ihdr, idat})), PictureError) << length;
  }
}

TEST(PngCorrupt, ImageDataTooShortOrTooLong) {
  const SampleImage image = test::RandomImage(5, 4, 8, 2, 21);
  const Bytes ihdr = IhdrData(5, 4, 8, 2);
  const Bytes stream = test::ImageStream(image, {});
  ASSERT_NO_THROW(Decode(PngWithStream(ihdr, stream)));

  const Bytes oneByteShort(stream.begin(), stream.end() - 1);
  const Bytes oneRowShort(stream.begin(), stream.end() - 16);
  Bytes oneByteLong = stream;
  oneByteLong.push_back(0);
  Bytes oneRowLong = stream;
  oneRowLong.insert(oneRowLong.end(), 16, 0);
  EXPECT_THROW(Decode(PngWithStream(ihdr, oneByteShort)), PictureError);
  EXPECT_THROW(Decode(PngWithStream(ihdr, oneRowShort)), PictureError);
  EXPECT_THROW(Decode(PngWithStream(ihdr, oneByteLong)), PictureError);
  EXPECT_THROW(Decode(PngWithStream(ihdr, oneRowLong)), PictureError);
  EXPECT_THROW(Decode(PngWithStream(ihdr, {})), PictureError);
}

TEST(PngCorrupt, BrokenZlibStreams) {
  const Bytes ihdr = PngChunk("IHDR", IhdrData(2, 2, 8, 0));
  const auto withIdat = [&](const Bytes& idat) {
    return Concat({PngSignature(), ihdr, PngChunk("IDAT", idat), PngChunk("IEND", {})});
  };
  const Bytes good = test::ZlibCompress({0, 1, 2, 0, 3, 4});
  ASSERT_NO_THROW(Decode(withIdat(good)));
  // All rows arrive, but the stream's end and checksum do not.
  EXPECT_THROW(Decode(withIdat(Bytes(good.begin(), good.end() - 4))), PictureError);
  // Wrong Adler-32 checksum.
  Bytes badSum = good;
  badSum.back() ^= 1;
  EXPECT_THROW(Decode(withIdat(badSum)), PictureError);
  // Deflate block type 3 does not exist.
  EXPECT_THROW(Decode(withIdat({0x78, 0x9C, 0xFF, 0xFF, 0xFF})), PictureError);
  // Preset dictionary requested (FDICT); PNG never provides one.
  EXPECT_THROW(Decode(withIdat({0x78, 0x20, 0, 0, 0, 1, 0x63, 0, 0})), PictureError);
  // Not a zlib header at all.
  EXPECT_THROW(Decode(withIdat({0x00, 0x00, 0x00})), PictureError);
}

TEST(PngCorrupt, ZeroAndHugeDimensions) {
  const std::vector<std::pair<std::uint32_t, std::uint32_t>> sizes = {
      {0, 1}, {1, 0}, {0, 0}, {8193, 1}, {1, 8193}, {4097, 4097}, {8192, 8192},
      {0x7FFFFFFF, 1}, {0x80000000, 1}, {0xFFFFFFFF, 0xFFFFFFFF}};
  for (const auto& [width, height] : sizes) {
    // Enough data for a 1 x 1 picture only; the header alone must be refused
    // before anything is allocated for it.
    const Bytes png = PngWithStream(IhdrData(width, height, 8, 6), {0, 1, 2, 3, 4});
    EXPECT_THROW(Decode(png), PictureError) << width << " x " << height;
  }
  // The largest allowed side still decodes.
  const SampleImage wide = test::RandomImage(8192, 1, 8, 0, 5);
  EXPECT_EQ(Decode(EncodePng(wide)).width, 8192);
}

TEST(PngCorrupt, InvalidHeaderFields) {
  const std::vector<Layout> invalid = {{1, 8}, {5, 8}, {7, 8}, {0, 3}, {0, 32}, {2, 4},
                                       {3, 16}, {4, 4}, {6, 1}, {255, 8}};
  for (const Layout& layout : invalid) {
    EXPECT_THROW(Decode(PngWithStream(IhdrData(1, 1, layout.bitDepth, layout.colourType), {0, 0})),
                 PictureError)
        << "colour type " << int{layout.colourType} << ", depth " << int{layout.bitDepth};
  }
  Bytes ihdr = IhdrData(1, 1, 8, 0);
  for (const std::size_t field : {10U, 11U, 12U}) {  // compression, filter, interlace
    Bytes bad = ihdr;
    bad[field] = 2;
    EXPECT_THROW(Decode(PngWithStream(bad, {0, 0})), PictureError) << "field " << field;
  }
  Bytes shortIhdr(ihdr.begin(), ihdr.end() - 1);
  Bytes longIhdr = ihdr;
  longIhdr.push_back(0);
  EXPECT_THROW(Decode(PngWithStream(shortIhdr, {0, 0})), PictureError);
  EXPECT_THROW(Decode(PngWithStream(longIhdr, {0, 0})), PictureError);
}

TEST(PngCorrupt, ChunkOrderAndPresence) {
  const Bytes sig = PngSignature();
  const Bytes ihdr = PngChunk("IHDR", IhdrData(1, 1, 8, 2));
  const Bytes idat = PngChunk("IDAT", test::ZlibCompress({0, 1, 2, 3}));
  const Bytes iend = PngChunk("IEND", {});
  const Bytes text = PngChunk("tEXt", {'a', 0});
  ASSERT_NO_THROW(Decode(Concat({sig, ihdr, idat, iend})));

  EXPECT_THROW(Decode(Concat({sig, ihdr, idat})), PictureError) << "no IEND";
  EXPECT_THROW(Decode(Concat({sig, ihdr, iend})), PictureError) << "no IDAT";
  EXPECT_THROW(Decode(Concat({sig, text, ihdr, idat, iend})), PictureError) << "IHDR not first";
  EXPECT_THROW(Decode(Concat({sig, ihdr, ihdr, idat, iend})), PictureError) << "two IHDR";
  EXPECT_THROW(Decode(Concat({sig, ihdr, PngChunk("IEND", {0}), idat, iend})), PictureError)
      << "IEND with data";

  // The zlib stream split over two IDATs with another chunk in between.
  const Bytes compressed = test::ZlibCompress({0, 1, 2, 3});
  const Bytes first = PngChunk("IDAT", Bytes(compressed.begin(), compressed.begin() + 4));
  const Bytes second = PngChunk("IDAT", Bytes(compressed.begin() + 4, compressed.end()));
  ASSERT_NO_THROW(Decode(Concat({sig, ihdr, first, second, iend})));
  EXPECT_THROW(Decode(Concat({sig, ihdr, first, text, second, iend})), PictureError);

  // Critical chunks we do not know cannot be skipped.
  EXPECT_THROW(Decode(Concat({sig, ihdr, PngChunk("ABCD", {}), idat, iend})), PictureError);
  // Chunk types are letters only.
  EXPECT_THROW(Decode(Concat({sig, ihdr, PngChunk("ab1d", {}), idat, iend})), PictureError);
  // PLTE after the image data.
  EXPECT_THROW(Decode(Concat({sig, ihdr, idat, PngChunk("PLTE", {1, 2, 3}), iend})), PictureError);
}

TEST(PngCorrupt, PaletteProblems) {
  const Bytes sig = PngSignature();
  const Bytes iend = PngChunk("IEND", {});
  const Bytes ihdr = PngChunk("IHDR", IhdrData(2, 1, 8, 3));
  const Bytes idat = PngChunk("IDAT", test::ZlibCompress({0, 0, 1}));
  const Bytes plte2 = PngChunk("PLTE", {1, 2, 3, 4, 5, 6});
  ASSERT_NO_THROW(Decode(Concat({sig, ihdr, plte2, idat, iend})));

  // Index 2 with only two entries.
  EXPECT_THROW(Decode(Concat({sig, ihdr, plte2, PngChunk("IDAT", test::ZlibCompress({0, 0, 2})), iend})),
               PictureError);
  // Index 1 in a one-entry palette, at depth 1 (packed indices).
  EXPECT_THROW(Decode(Concat({sig, PngChunk("IHDR", IhdrData(2, 1, 1, 3)), PngChunk("PLTE", {1, 2, 3}),
                              PngChunk("IDAT", test::ZlibCompress({0, 0x40})), iend})),
               PictureError);
  EXPECT_THROW(Decode(Concat({sig, ihdr, idat, iend})), PictureError) << "no PLTE";
  EXPECT_THROW(Decode(Concat({sig, ihdr, PngChunk("PLTE", {}), idat, iend})), PictureError);
  EXPECT_THROW(Decode(Concat({sig, ihdr, PngChunk("PLTE", {1, 2, 3, 4}), idat, iend})), PictureError);
  EXPECT_THROW(Decode(Concat({sig, ihdr, PngChunk("PLTE", Bytes(257 * 3, 9)), idat, iend})), PictureError);
  EXPECT_THROW(Decode(Concat({sig, ihdr, plte2, plte2, idat, iend})), PictureError) << "two PLTE";
  // tRNS before PLTE, longer than the palette, or repeated.
  EXPECT_THROW(Decode(Concat({sig, ihdr, PngChunk("tRNS", {0}), plte2, idat, iend})), PictureError);
  EXPECT_THROW(Decode(Concat({sig, ihdr, plte2, PngChunk("tRNS", {0, 0, 0}), idat, iend})), PictureError);
  EXPECT_THROW(Decode(Concat({sig, ihdr, plte2, PngChunk("tRNS", {0}), PngChunk("tRNS", {0}), idat, iend})),
               PictureError);
  // A palette in a greyscale picture.
  EXPECT_THROW(Decode(Concat({sig, PngChunk("IHDR", IhdrData(2, 1, 8, 0)), plte2,
                              PngChunk("IDAT", test::ZlibCompress({0, 0, 1})), iend})),
               PictureError);
}

TEST(PngCorrupt, TransparencyChunkOfWrongSize) {
  const Bytes sig = PngSignature();
  const Bytes iend = PngChunk("IEND", {});
  const Bytes grey = PngChunk("IHDR", IhdrData(1, 1, 8, 0));
  const Bytes rgb = PngChunk("IHDR", IhdrData(1, 1, 8, 2));
  const Bytes greyData = PngChunk("IDAT", test::ZlibCompress({0, 9}));
  const Bytes rgbData = PngChunk("IDAT", test::ZlibCompress({0, 9, 9, 9}));
  EXPECT_THROW(Decode(Concat({sig, grey, PngChunk("tRNS", {0}), greyData, iend})), PictureError);
  EXPECT_THROW(Decode(Concat({sig, grey, PngChunk("tRNS", {0, 9, 0}), greyData, iend})), PictureError);
  EXPECT_THROW(Decode(Concat({sig, rgb, PngChunk("tRNS", {0, 9, 0, 9}), rgbData, iend})), PictureError);
  // tRNS after the image data.
  EXPECT_THROW(Decode(Concat({sig, grey, greyData, PngChunk("tRNS", {0, 9}), iend})), PictureError);
  // The right size works: 9 is the transparent grey.
  EXPECT_EQ(Decode(Concat({sig, grey, PngChunk("tRNS", {0, 9}), greyData, iend})).rgba[3], 0);
}

TEST(PngCorrupt, RandomDamageBehindValidCrcsOnlyEverThrowsPictureError) {
  // Damage chunk contents and re-seal the CRCs so the damage reaches the
  // header, palette, zlib and filter code. Each result must be a picture of
  // the promised size or a PictureError: no other exception, no crash (run
  // under a sanitizer to also catch overreads).
  PngOptions interlaced;
  interlaced.interlaced = true;
  interlaced.filters = {0, 1, 2, 3, 4};
  PngOptions paeth;
  paeth.filters = {4, 3};
  const std::vector<Bytes> seeds = {
      ValidPalettePng(),
      EncodePng(test::RandomImage(9, 9, 16, 6, 31), interlaced),
      EncodePng(test::RandomImage(17, 3, 1, 0, 32), paeth),
  };
  std::mt19937 random(1234);
  int decoded = 0;
  int refused = 0;
  for (int round = 0; round < 3000; ++round) {
    Bytes png = seeds[static_cast<std::size_t>(round) % seeds.size()];
    const int damage = 1 + static_cast<int>(random() % 4);
    for (int d = 0; d < damage; ++d) {
      const std::size_t at = 8 + random() % (png.size() - 8);
      png[at] = static_cast<std::uint8_t>(random());
    }
    test::FixCrcs(png);
    try {
      const Picture picture = Decode(png);
      ASSERT_EQ(picture.rgba.size(), std::size_t(picture.width) * std::size_t(picture.height) * 4U);
      ++decoded;
    } catch (const PictureError&) {
      ++refused;
    }
  }
  // Both outcomes happen; if one never did, the damage would not be reaching
  // the interesting code.
  EXPECT_GT(decoded, 0);
  EXPECT_GT(refused, 0);
}

}  // namespace
}  // namespace kestrune
