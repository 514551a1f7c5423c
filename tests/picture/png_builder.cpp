#include "tests/picture/png_builder.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <stdexcept>

namespace kestrune::test {
namespace {

void PutBe32(Bytes& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v >> 24));
  out.push_back(static_cast<std::uint8_t>(v >> 16));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
  out.push_back(static_cast<std::uint8_t>(v));
}

struct Pass {
  std::uint32_t x0, y0, dx, dy;
};
constexpr Pass kAdam7[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                            {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};

// Packs the pixels (x0, y), (x0 + dx, y), ... into PNG row bytes: samples
// big-endian at 16 bits, packed high bits first below 8.
Bytes PackRow(const SampleImage& image, std::uint32_t y, std::uint32_t x0, std::uint32_t dx) {
  const unsigned depth = image.bitDepth;
  Bytes row;
  unsigned bitsUsed = 0;  // in the last byte, for depths below 8
  for (std::uint32_t x = x0; x < image.width; x += dx) {
    for (unsigned c = 0; c < image.Channels(); ++c) {
      const std::uint16_t s = image.At(x, y, c);
      if (depth == 16) {
        row.push_back(static_cast<std::uint8_t>(s >> 8));
        row.push_back(static_cast<std::uint8_t>(s));
      } else if (depth == 8) {
        row.push_back(static_cast<std::uint8_t>(s));
      } else {
        if (bitsUsed == 0) {
          row.push_back(0);
        }
        row.back() = static_cast<std::uint8_t>(row.back() | (s << (8U - depth - bitsUsed)));
        bitsUsed = (bitsUsed + depth) % 8U;
      }
    }
  }
  return row;
}

}  // namespace

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) {
    out.insert(out.end(), p.begin(), p.end());
  }
  return out;
}

Bytes PngSignature() { return {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}; }

Bytes PngChunk(std::string_view type, const Bytes& data) {
  if (type.size() != 4) {
    throw std::invalid_argument("chunk type must be 4 letters");
  }
  Bytes out;
  PutBe32(out, static_cast<std::uint32_t>(data.size()));
  out.insert(out.end(), type.begin(), type.end());
  out.insert(out.end(), data.begin(), data.end());
  uLong crc = crc32(0L, out.data() + 4, static_cast<uInt>(4 + data.size()));
  PutBe32(out, static_cast<std::uint32_t>(crc));
  return out;
}

Bytes IhdrData(std::uint32_t width, std::uint32_t height, std::uint8_t bitDepth,
               std::uint8_t colourType, std::uint8_t interlace) {
  Bytes out;
  PutBe32(out, width);
  PutBe32(out, height);
  out.insert(out.end(), {bitDepth, colourType, 0, 0, interlace});
  return out;
}

Bytes ZlibCompress(const Bytes& raw) {
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  Bytes out(size);
  if (compress2(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()), 9) != Z_OK) {
    throw std::runtime_error("compress2 failed");
  }
  out.resize(size);
  return out;
}

unsigned SampleImage::Channels() const {
  switch (colourType) {
    case 2:
      return 3;
    case 4:
      return 2;
    case 6:
      return 4;
    default:
      return 1;
  }
}

std::uint16_t SampleImage::At(std::uint32_t x, std::uint32_t y, unsigned channel) const {
  return samples.at((std::size_t{y} * width + x) * Channels() + channel);
}

SampleImage RandomImage(std::uint32_t width, std::uint32_t height, std::uint8_t bitDepth,
                        std::uint8_t colourType, unsigned seed, unsigned paletteSize) {
  SampleImage image{width, height, bitDepth, colourType, {}};
  std::mt19937 random(seed);
  unsigned limit = (1U << bitDepth) - 1U;
  if (colourType == 3) {
    limit = std::min(limit, paletteSize - 1U);
  }
  std::uniform_int_distribution<unsigned> sample(0, limit);
  image.samples.resize(std::size_t{width} * height * image.Channels());
  for (auto& s : image.samples) {
    s = static_cast<std::uint16_t>(sample(random));
  }
  return image;
}

Bytes FilterRow(std::uint8_t type, const Bytes& row, const Bytes& prior, std::size_t pixelBytes) {
  Bytes out(row.size());
  for (std::size_t i = 0; i < row.size(); ++i) {
    const int a = i >= pixelBytes ? row[i - pixelBytes] : 0;
    const int b = prior[i];
    const int c = i >= pixelBytes ? prior[i - pixelBytes] : 0;
    int predictor = 0;
    switch (type) {
      case 0:
        break;
      case 1:
        predictor = a;
        break;
      case 2:
        predictor = b;
        break;
      case 3:
        predictor = (a + b) / 2;
        break;
      case 4: {
        const int p = a + b - c;
        const int pa = std::abs(p - a);
        const int pb = std::abs(p - b);
        const int pc = std::abs(p - c);
        predictor = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
        break;
      }
      default:
        throw std::invalid_argument("unknown filter type");
    }
    out[i] = static_cast<std::uint8_t>(row[i] - predictor);
  }
  return out;
}

Bytes ImageStream(const SampleImage& image, const PngOptions& options) {
  const std::size_t pixelBytes = std::max<std::size_t>(1, image.Channels() * image.bitDepth / 8U);
  const Pass whole{0, 0, 1, 1};
  Bytes stream;
  std::size_t rowNumber = 0;
  const int passCount = options.interlaced ? 7 : 1;
  for (int p = 0; p < passCount; ++p) {
    const Pass pass = options.interlaced ? kAdam7[p] : whole;
    if (pass.x0 >= image.width || pass.y0 >= image.height) {
      continue;  // empty pass: no rows at all
    }
    Bytes prior;
    for (std::uint32_t y = pass.y0; y < image.height; y += pass.dy) {
      const Bytes row = PackRow(image, y, pass.x0, pass.dx);
      if (prior.empty()) {
        prior.assign(row.size(), 0);
      }
      const std::uint8_t type = options.filters[rowNumber++ % options.filters.size()];
      stream.push_back(type);
      const Bytes filtered = FilterRow(type, row, prior, pixelBytes);
      stream.insert(stream.end(), filtered.begin(), filtered.end());
      prior = row;
    }
  }
  return stream;
}

Bytes EncodePng(const SampleImage& image, const PngOptions& options) {
  Bytes png = Concat({PngSignature(),
                      PngChunk("IHDR", IhdrData(image.width, image.height, image.bitDepth,
                                                image.colourType, options.interlaced ? 1 : 0))});
  if (!options.palette.empty()) {
    png = Concat({png, PngChunk("PLTE", options.palette)});
  }
  if (!options.transparency.empty()) {
    png = Concat({png, PngChunk("tRNS", options.transparency)});
  }
  const Bytes compressed = ZlibCompress(ImageStream(image, options));
  // Split into idatPieces chunks of near-equal size (some may be empty).
  const std::size_t pieces = std::max<std::size_t>(1, options.idatPieces);
  for (std::size_t i = 0; i < pieces; ++i) {
    const std::size_t begin = compressed.size() * i / pieces;
    const std::size_t end = compressed.size() * (i + 1) / pieces;
    png = Concat({png, PngChunk("IDAT", Bytes(compressed.begin() + static_cast<std::ptrdiff_t>(begin),
                                              compressed.begin() + static_cast<std::ptrdiff_t>(end)))});
  }
  return Concat({png, PngChunk("IEND", {})});
}

Bytes PngWithStream(const Bytes& ihdr, const Bytes& stream, const Bytes& palette) {
  Bytes png = Concat({PngSignature(), PngChunk("IHDR", ihdr)});
  if (!palette.empty()) {
    png = Concat({png, PngChunk("PLTE", palette)});
  }
  return Concat({png, PngChunk("IDAT", ZlibCompress(stream)), PngChunk("IEND", {})});
}

void FixCrcs(Bytes& png) {
  std::size_t pos = 8;
  while (png.size() >= pos + 12) {
    const std::uint32_t length = (std::uint32_t{png[pos]} << 24) | (std::uint32_t{png[pos + 1]} << 16) |
                                 (std::uint32_t{png[pos + 2]} << 8) | std::uint32_t{png[pos + 3]};
    if (length > png.size() - pos - 12) {
      return;
    }
    const uLong crc = crc32(0L, png.data() + pos + 4, static_cast<uInt>(4 + length));
    Bytes crcBytes;
    PutBe32(crcBytes, static_cast<std::uint32_t>(crc));
    std::copy(crcBytes.begin(), crcBytes.end(), png.begin() + static_cast<std::ptrdiff_t>(pos + 8 + length));
    pos += 12 + length;
  }
}

}  // namespace kestrune::test
