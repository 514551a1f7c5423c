#pragma once

// A small PNG writer for the tests: it lets a test choose every byte that
// matters (filter type per row, chunk order, IDAT split, broken CRCs) to
// check the decoder against pictures whose pixels are known exactly.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace kestrune::test {

using Bytes = std::vector<std::uint8_t>;

Bytes Concat(std::initializer_list<Bytes> parts);

Bytes PngSignature();
// Length, type, data and the correct CRC.
Bytes PngChunk(std::string_view type, const Bytes& data);
Bytes IhdrData(std::uint32_t width, std::uint32_t height, std::uint8_t bitDepth,
               std::uint8_t colourType, std::uint8_t interlace = 0);
Bytes ZlibCompress(const Bytes& raw);

// A picture as PNG samples: Channels() values per pixel, row-major, each
// within the bit depth (palette pictures hold indices).
struct SampleImage {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint8_t bitDepth = 8;
  std::uint8_t colourType = 0;
  std::vector<std::uint16_t> samples;

  unsigned Channels() const;
  std::uint16_t At(std::uint32_t x, std::uint32_t y, unsigned channel) const;
};

// Fills an image with pseudo-random samples (fixed seed) valid for its depth;
// for palette images, indices stay below paletteSize.
SampleImage RandomImage(std::uint32_t width, std::uint32_t height, std::uint8_t bitDepth,
                        std::uint8_t colourType, unsigned seed, unsigned paletteSize = 256);

// Applies PNG filter `type` (0-4) to one row of bytes, given the unfiltered
// row above (all zeros for the first row) and the byte distance of a pixel.
Bytes FilterRow(std::uint8_t type, const Bytes& row, const Bytes& prior, std::size_t pixelBytes);

struct PngOptions {
  bool interlaced = false;
  // Filter type of each row, used in turn (row i gets filters[i % size]).
  std::vector<std::uint8_t> filters{0};
  Bytes palette;       // PLTE data, written when not empty
  Bytes transparency;  // tRNS data, written when not empty
  std::size_t idatPieces = 1;
};

// The uncompressed image data: filter byte plus filtered row, for every row
// (of every Adam7 pass when interlaced).
Bytes ImageStream(const SampleImage& image, const PngOptions& options);

// A whole PNG file: signature, IHDR, PLTE, tRNS, IDAT piece(s), IEND.
Bytes EncodePng(const SampleImage& image, const PngOptions& options = {});

// A PNG whose IDAT holds exactly `stream` (compressed), for tests that break
// the image data itself.
Bytes PngWithStream(const Bytes& ihdr, const Bytes& stream, const Bytes& palette = {});

// Rewrites the CRC of every chunk whose length fits in the file, so damage
// done to chunk contents gets past the CRC check and reaches the parsers.
void FixCrcs(Bytes& png);

}  // namespace kestrune::test
