// Fuzz target: the PNG decoder.
//
// Input that starts with the PNG signature is decoded as it is, and again
// with every whole chunk's CRC made right, so that mutations reach past the
// CRC check into the chunk contents. Any other input describes a picture:
// a few header bytes, then palette, transparency and the uncompressed image
// stream, which this target compresses and wraps into valid chunks, so that
// the filters, the interlacing and the sample conversion get the bytes.
//
// The decoder may only ever throw PictureError, and a picture it returns
// must be as large as it says and within the limits.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <span>
#include <string_view>
#include <vector>

#include "app/picture/png_decoder.h"

namespace kestrune {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "fuzz_png: %s\n", what);
  std::abort();
}

void Decode(std::span<const std::uint8_t> bytes) {
  try {
    const Picture picture = DecodePng(bytes);
    if (picture.width <= 0 || picture.height <= 0) Fail("empty picture returned");
    const auto width = static_cast<std::uint64_t>(picture.width);
    const auto height = static_cast<std::uint64_t>(picture.height);
    if (width > kMaxPictureSide || height > kMaxPictureSide || width * height > kMaxPicturePixels) {
      Fail("picture over the limits returned");
    }
    if (picture.rgba.size() != width * height * 4) Fail("pixel buffer of the wrong size");
  } catch (const PictureError&) {
    // The one way the decoder may refuse.
  }
}

std::uint32_t ReadBe32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         std::uint32_t{p[3]};
}

void PutBe32(Bytes& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

// Rewrites the CRC of every chunk that lies whole inside the bytes; false
// when none changed.
bool FixCrcs(Bytes& png) {
  bool changed = false;
  std::size_t pos = sizeof kSignature;
  while (pos + 12 <= png.size()) {
    const std::uint32_t length = ReadBe32(&png[pos]);
    if (length > png.size() - pos - 12) break;
    const auto crc = static_cast<std::uint32_t>(
        crc32(0L, &png[pos + 4], static_cast<uInt>(length + 4)));
    std::uint8_t* stored = &png[pos + 8 + length];
    if (ReadBe32(stored) != crc) {
      for (int i = 0; i < 4; ++i) stored[i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
      changed = true;
    }
    pos += 12 + length;
  }
  return changed;
}

void PutChunk(Bytes& out, const char* type, std::span<const std::uint8_t> data) {
  PutBe32(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t typeAt = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  PutBe32(out, static_cast<std::uint32_t>(
                   crc32(0L, &out[typeAt], static_cast<uInt>(data.size() + 4))));
}

struct Format {
  std::uint8_t colourType;
  std::uint8_t bitDepth;
};

// Every pairing PNG allows.
constexpr Format kFormats[] = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8}, {2, 16}, {3, 1},
                               {3, 2}, {3, 4}, {3, 8}, {4, 8}, {4, 16}, {6, 8}, {6, 16}};

// Header bytes of the described picture: width, height, format, flags,
// palette entries, transparency length, IDAT pieces.
constexpr std::size_t kDescriptionHeader = 7;

void DecodeDescribed(std::span<const std::uint8_t> in) {
  if (in.size() < kDescriptionHeader) return;
  const std::uint32_t width = 1u + in[0] % 48u;
  const std::uint32_t height = 1u + in[1] % 48u;
  const Format format = kFormats[in[2] % std::size(kFormats)];
  const bool interlaced = (in[3] & 1) != 0;
  const bool withPalette = (in[3] & 2) != 0 || format.colourType == 3;
  const std::size_t paletteEntries = 1u + in[4];
  const std::size_t transparencyLength = (in[3] & 4) != 0 ? in[5] % 64u : 0u;
  const std::size_t pieces = 1u + in[6] % 4u;
  std::span<const std::uint8_t> rest = in.subspan(kDescriptionHeader);

  auto take = [&rest](std::size_t n) {
    n = std::min(n, rest.size());
    std::span<const std::uint8_t> part = rest.first(n);
    rest = rest.subspan(n);
    return part;
  };
  const std::span<const std::uint8_t> palette = withPalette ? take(paletteEntries * 3) : take(0);
  const std::span<const std::uint8_t> transparency = take(transparencyLength);
  const std::span<const std::uint8_t> stream = rest;

  Bytes compressed(compressBound(static_cast<uLong>(stream.size())));
  uLongf compressedSize = static_cast<uLongf>(compressed.size());
  if (compress2(compressed.data(), &compressedSize, stream.data(), static_cast<uLong>(stream.size()),
                1) != Z_OK) {
    return;
  }
  compressed.resize(compressedSize);

  Bytes png(std::begin(kSignature), std::end(kSignature));
  Bytes ihdr;
  PutBe32(ihdr, width);
  PutBe32(ihdr, height);
  ihdr.insert(ihdr.end(), {format.bitDepth, format.colourType, 0, 0, interlaced ? std::uint8_t{1} : std::uint8_t{0}});
  PutChunk(png, "IHDR", ihdr);
  if (withPalette) PutChunk(png, "PLTE", palette);
  if (!transparency.empty()) PutChunk(png, "tRNS", transparency);
  const std::size_t pieceSize = compressed.size() / pieces + 1;
  for (std::size_t at = 0; at < compressed.size(); at += pieceSize) {
    PutChunk(png, "IDAT",
             std::span<const std::uint8_t>(compressed).subspan(at, std::min(pieceSize, compressed.size() - at)));
  }
  PutChunk(png, "IEND", {});
  Decode(png);
}

}  // namespace
}  // namespace kestrune

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kestrune;
  const std::span<const std::uint8_t> bytes(data, size);
  if (size >= sizeof kSignature && std::equal(std::begin(kSignature), std::end(kSignature), data)) {
    Decode(bytes);
    Bytes fixed(bytes.begin(), bytes.end());
    if (FixCrcs(fixed)) Decode(fixed);
  } else {
    DecodeDescribed(bytes);
  }
  return 0;
}
