#include "app/picture/png_decoder.h"

// zlib declares next_in as pointer-to-const with this set, so IDAT data can be
// fed to inflate without casting away const.
#define ZLIB_CONST
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace kestrune {
namespace {

constexpr std::array<std::uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

// PNG caps chunk lengths and picture sides at 2^31 - 1.
constexpr std::uint32_t kMaxPngNumber = 0x7FFFFFFFU;

// Length, type and CRC: the bytes every chunk has besides its data.
constexpr std::size_t kChunkOverhead = 12;

[[noreturn]] void Fail(const std::string& why) { throw PictureError("PNG: " + why); }

std::uint32_t ReadBe32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         std::uint32_t{p[3]};
}

unsigned ReadBe16(const std::uint8_t* p) { return (unsigned{p[0]} << 8) | unsigned{p[1]}; }

// Rounds a 16-bit sample to the nearest 8-bit one (65535 / 255 == 257).
std::uint8_t To8Bits(unsigned sample16) { return static_cast<std::uint8_t>((sample16 + 128U) / 257U); }

enum ColourType : std::uint8_t {
  kGrey = 0,
  kRgb = 2,
  kPalette = 3,
  kGreyAlpha = 4,
  kRgba = 6,
};

struct Header {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  unsigned bitDepth = 0;
  std::uint8_t colourType = 0;
  bool interlaced = false;
  unsigned bitsPerPixel = 0;
};

bool DepthAllowed(std::uint8_t colourType, unsigned depth) {
  switch (colourType) {
    case kGrey:
      return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case kPalette:
      return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case kRgb:
    case kGreyAlpha:
    case kRgba:
      return depth == 8 || depth == 16;
    default:
      return false;
  }
}

unsigned ChannelCount(std::uint8_t colourType) {
  switch (colourType) {
    case kRgb:
      return 3;
    case kGreyAlpha:
      return 2;
    case kRgba:
      return 4;
    default:
      return 1;
  }
}

Header ParseHeader(std::span<const std::uint8_t> data) {
  if (data.size() != 13) {
    Fail("IHDR chunk is " + std::to_string(data.size()) + " bytes long instead of 13");
  }
  Header h;
  h.width = ReadBe32(data.data());
  h.height = ReadBe32(data.data() + 4);
  if (h.width > kMaxPngNumber || h.height > kMaxPngNumber) {
    Fail("picture size in IHDR is out of range");
  }
  CheckPictureSize(h.width, h.height, "PNG");
  h.bitDepth = data[8];
  h.colourType = data[9];
  if (h.colourType == 1 || h.colourType == 5 || h.colourType > kRgba) {
    Fail("unknown colour type " + std::to_string(h.colourType));
  }
  if (!DepthAllowed(h.colourType, h.bitDepth)) {
    Fail("bit depth " + std::to_string(h.bitDepth) + " is not valid for colour type " +
         std::to_string(h.colourType));
  }
  if (data[10] != 0) {
    Fail("unknown compression method " + std::to_string(data[10]));
  }
  if (data[11] != 0) {
    Fail("unknown filter method " + std::to_string(data[11]));
  }
  if (data[12] > 1) {
    Fail("unknown interlace method " + std::to_string(data[12]));
  }
  h.interlaced = data[12] == 1;
  h.bitsPerPixel = ChannelCount(h.colourType) * h.bitDepth;
  return h;
}

// Palette entries with their alpha (from tRNS, else opaque), and the single
// transparent colour grey and RGB pictures may name in tRNS.
struct Colours {
  std::array<std::array<std::uint8_t, 4>, 256> palette{};
  std::size_t paletteSize = 0;
  bool hasTransparentColour = false;
  std::array<unsigned, 3> transparentColour{};  // raw samples: grey, or R, G, B
};

// A sub-image the rows of the inflated data belong to: the whole picture, or
// one of the seven Adam7 passes (start and step in each direction).
struct Pass {
  std::uint32_t x0, y0, dx, dy;
};
constexpr Pass kWholePicture = {0, 0, 1, 1};
constexpr std::array<Pass, 7> kAdam7 = {{
    {0, 0, 8, 8},
    {4, 0, 8, 8},
    {0, 4, 4, 8},
    {2, 0, 4, 4},
    {0, 2, 2, 4},
    {1, 0, 2, 2},
    {0, 1, 1, 2},
}};

std::uint32_t PassExtent(std::uint32_t size, std::uint32_t start, std::uint32_t step) {
  return size > start ? (size - start + step - 1) / step : 0;
}

// Takes the inflated stream as it arrives, a row at a time: undoes the row
// filter against the previous row and writes the pixels to the picture. Only
// two rows are buffered, so memory follows the data actually present rather
// than what the header promises.
class RowDecoder {
 public:
  RowDecoder(const Header& header, const Colours& colours, Picture& picture)
      : header_(header),
        colours_(colours),
        picture_(picture),
        passes_(header.interlaced ? std::span<const Pass>(kAdam7)
                                  : std::span<const Pass>(&kWholePicture, 1)),
        filterStep_(std::max(1U, header.bitsPerPixel / 8U)) {
    BeginPass();
  }

  bool Done() const { return passIndex_ >= passes_.size(); }

  // Where the next inflated bytes go: the unfilled rest of the current row
  // (filter type byte first). Empty once every row has arrived.
  std::span<std::uint8_t> FreeSpace() {
    if (Done()) {
      return {};
    }
    return std::span<std::uint8_t>(current_).subspan(filled_);
  }

  void Commit(std::size_t count) {
    filled_ += count;
    if (filled_ == current_.size()) {
      FinishRow();
    }
  }

 private:
  // Moves to the next pass that has any pixels (Adam7 passes are empty for
  // narrow or short pictures and then have no rows, not even filter bytes).
  void BeginPass() {
    for (; passIndex_ < passes_.size(); ++passIndex_) {
      const Pass& pass = passes_[passIndex_];
      passWidth_ = PassExtent(header_.width, pass.x0, pass.dx);
      passRows_ = PassExtent(header_.height, pass.y0, pass.dy);
      if (passWidth_ != 0 && passRows_ != 0) {
        break;
      }
    }
    if (Done()) {
      return;
    }
    const std::size_t rowBytes =
        (std::size_t{passWidth_} * header_.bitsPerPixel + 7U) / 8U;
    // Byte 0 holds the filter type; the row above starts as all zeros.
    current_.assign(rowBytes + 1, 0);
    previous_.assign(rowBytes + 1, 0);
    row_ = 0;
    filled_ = 0;
  }

  void FinishRow() {
    Unfilter();
    EmitPixels();
    std::swap(current_, previous_);
    filled_ = 0;
    if (++row_ == passRows_) {
      ++passIndex_;
      BeginPass();
    }
  }

  void Unfilter() {
    std::uint8_t* row = current_.data() + 1;
    const std::uint8_t* up = previous_.data() + 1;
    const std::size_t size = current_.size() - 1;
    const std::size_t step = filterStep_;
    switch (current_[0]) {
      case 0:  // None
        break;
      case 1:  // Sub
        for (std::size_t i = step; i < size; ++i) {
          row[i] = static_cast<std::uint8_t>(row[i] + row[i - step]);
        }
        break;
      case 2:  // Up
        for (std::size_t i = 0; i < size; ++i) {
          row[i] = static_cast<std::uint8_t>(row[i] + up[i]);
        }
        break;
      case 3:  // Average, of left and up, computed without 8-bit overflow
        for (std::size_t i = 0; i < size; ++i) {
          const unsigned left = i >= step ? row[i - step] : 0U;
          row[i] = static_cast<std::uint8_t>(row[i] + ((left + up[i]) >> 1U));
        }
        break;
      case 4:  // Paeth
        for (std::size_t i = 0; i < size; ++i) {
          const int a = i >= step ? row[i - step] : 0;
          const int b = up[i];
          const int c = i >= step ? up[i - step] : 0;
          const int p = a + b - c;
          const int pa = p > a ? p - a : a - p;
          const int pb = p > b ? p - b : b - p;
          const int pc = p > c ? p - c : c - p;
          const int predictor = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
          row[i] = static_cast<std::uint8_t>(row[i] + predictor);
        }
        break;
      default:
        Fail("unknown row filter type " + std::to_string(current_[0]));
    }
  }

  // The i-th sample of a row packed at 1, 2 or 4 bits, leftmost in the high bits.
  unsigned PackedSample(const std::uint8_t* row, std::size_t i) const {
    const std::size_t bit = i * header_.bitDepth;
    const unsigned shift = 8U - header_.bitDepth - static_cast<unsigned>(bit % 8U);
    return (unsigned{row[bit / 8U]} >> shift) & ((1U << header_.bitDepth) - 1U);
  }

  // A grey or palette sample at any depth, as stored.
  unsigned RawSample(const std::uint8_t* row, std::size_t i) const {
    switch (header_.bitDepth) {
      case 16:
        return ReadBe16(row + 2 * i);
      case 8:
        return row[i];
      default:
        return PackedSample(row, i);
    }
  }

  std::uint8_t GreyTo8Bits(unsigned raw) const {
    if (header_.bitDepth == 16) {
      return To8Bits(raw);
    }
    // Scale 0..2^depth-1 to 0..255 so white stays white at every depth.
    return static_cast<std::uint8_t>(raw * 255U / ((1U << header_.bitDepth) - 1U));
  }

  void EmitPixels() {
    const Pass& pass = passes_[passIndex_];
    const std::uint8_t* row = current_.data() + 1;
    const std::size_t y = pass.y0 + std::size_t{row_} * pass.dy;
    const std::size_t pixelStep = std::size_t{pass.dx} * 4U;
    std::uint8_t* out =
        picture_.rgba.data() + (y * header_.width + pass.x0) * 4U;
    const bool wide = header_.bitDepth == 16;

    for (std::size_t i = 0; i < passWidth_; ++i, out += pixelStep) {
      switch (header_.colourType) {
        case kGrey: {
          const unsigned raw = RawSample(row, i);
          const std::uint8_t grey = GreyTo8Bits(raw);
          const bool clear = colours_.hasTransparentColour && raw == colours_.transparentColour[0];
          out[0] = grey;
          out[1] = grey;
          out[2] = grey;
          out[3] = clear ? 0 : 255;
          break;
        }
        case kRgb: {
          std::array<unsigned, 3> raw{};
          for (std::size_t c = 0; c < 3; ++c) {
            raw[c] = wide ? ReadBe16(row + 6 * i + 2 * c) : unsigned{row[3 * i + c]};
            out[c] = wide ? To8Bits(raw[c]) : static_cast<std::uint8_t>(raw[c]);
          }
          const bool clear = colours_.hasTransparentColour && raw == colours_.transparentColour;
          out[3] = clear ? 0 : 255;
          break;
        }
        case kPalette: {
          const unsigned index = RawSample(row, i);
          if (index >= colours_.paletteSize) {
            Fail("palette index " + std::to_string(index) + " is outside the " +
                 std::to_string(colours_.paletteSize) + "-entry palette");
          }
          std::memcpy(out, colours_.palette[index].data(), 4);
          break;
        }
        case kGreyAlpha: {
          const std::uint8_t grey = wide ? To8Bits(ReadBe16(row + 4 * i)) : row[2 * i];
          out[0] = grey;
          out[1] = grey;
          out[2] = grey;
          out[3] = wide ? To8Bits(ReadBe16(row + 4 * i + 2)) : row[2 * i + 1];
          break;
        }
        default: {  // kRgba
          for (std::size_t c = 0; c < 4; ++c) {
            out[c] = wide ? To8Bits(ReadBe16(row + 8 * i + 2 * c)) : row[4 * i + c];
          }
          break;
        }
      }
    }
  }

  const Header& header_;
  const Colours& colours_;
  Picture& picture_;
  std::span<const Pass> passes_;
  std::size_t filterStep_;
  std::size_t passIndex_ = 0;
  std::uint32_t passWidth_ = 0;
  std::uint32_t passRows_ = 0;
  std::uint32_t row_ = 0;
  std::vector<std::uint8_t> current_;
  std::vector<std::uint8_t> previous_;
  std::size_t filled_ = 0;
};

// zlib's inflate over the concatenated IDAT data. Owns the z_stream, which
// must not move once initialised (zlib keeps a pointer back to it).
class Inflater {
 public:
  Inflater() {
    if (inflateInit(&stream_) != Z_OK) {
      Fail("cannot start zlib's inflate");
    }
  }
  ~Inflater() { inflateEnd(&stream_); }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;

  bool Finished() const { return finished_; }

  void Feed(std::span<const std::uint8_t> input, RowDecoder& rows) {
    if (finished_) {
      return;  // Bytes after the end of the zlib stream carry nothing; ignore them.
    }
    stream_.next_in = input.data();
    stream_.avail_in = static_cast<uInt>(input.size());  // chunk lengths are < 2^31
    while (stream_.avail_in > 0) {
      // Once every row is in, inflate into a scratch byte: the rest of the
      // stream may only hold its end and checksum, never more pixels.
      std::uint8_t scratch = 0;
      const std::span<std::uint8_t> space =
          rows.Done() ? std::span<std::uint8_t>(&scratch, 1) : rows.FreeSpace();
      stream_.next_out = space.data();
      stream_.avail_out = static_cast<uInt>(space.size());
      const int rc = inflate(&stream_, Z_NO_FLUSH);
      const std::size_t produced = space.size() - stream_.avail_out;
      if (produced > 0) {
        if (rows.Done()) {
          Fail("compressed image data holds more than the picture's rows");
        }
        rows.Commit(produced);
      }
      if (rc == Z_STREAM_END) {
        finished_ = true;
        return;
      }
      if (rc != Z_OK) {
        // With input and output space both available, anything but Z_OK means
        // the stream is broken (Z_DATA_ERROR, Z_NEED_DICT, ...).
        Fail(std::string("corrupt compressed image data") +
             (stream_.msg != nullptr ? std::string(" (") + stream_.msg + ")" : std::string()));
      }
    }
  }

 private:
  z_stream stream_{};
  bool finished_ = false;
};

bool IsChunk(const std::uint8_t* type, const char (&name)[5]) { return std::memcmp(type, name, 4) == 0; }

}  // namespace

Picture DecodePng(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kSignature.size() ||
      !std::equal(kSignature.begin(), kSignature.end(), bytes.begin())) {
    Fail("not a PNG file (signature missing)");
  }

  Picture picture;
  Header header;
  Colours colours;
  std::optional<RowDecoder> rows;
  std::optional<Inflater> inflater;
  bool seenHeader = false;
  bool seenPalette = false;
  bool seenTransparency = false;
  bool imageDataEnded = false;

  std::size_t pos = kSignature.size();
  for (;;) {
    if (bytes.size() - pos < kChunkOverhead) {
      Fail("file is cut short at byte " + std::to_string(pos) + " (no IEND chunk)");
    }
    const std::uint8_t* chunk = bytes.data() + pos;
    const std::uint32_t length = ReadBe32(chunk);
    if (length > kMaxPngNumber) {
      Fail("chunk length at byte " + std::to_string(pos) + " is out of range");
    }
    if (length > bytes.size() - pos - kChunkOverhead) {
      Fail("chunk at byte " + std::to_string(pos) + " runs past the end of the file");
    }
    const std::uint8_t* type = chunk + 4;
    for (std::size_t i = 0; i < 4; ++i) {
      const bool letter = (type[i] >= 'A' && type[i] <= 'Z') || (type[i] >= 'a' && type[i] <= 'z');
      if (!letter) {
        Fail("chunk at byte " + std::to_string(pos) + " has an invalid type");
      }
    }
    const std::string typeName(reinterpret_cast<const char*>(type), 4);
    const std::span<const std::uint8_t> data = bytes.subspan(pos + 8, length);
    uLong crc = crc32(0L, type, 4);
    crc = crc32(crc, data.data(), static_cast<uInt>(length));
    if (crc != ReadBe32(chunk + 8 + length)) {
      Fail("CRC mismatch in " + typeName + " chunk at byte " + std::to_string(pos));
    }
    pos += kChunkOverhead + length;

    if (!seenHeader && !IsChunk(type, "IHDR")) {
      Fail("file does not start with an IHDR chunk");
    }
    const bool isImageData = IsChunk(type, "IDAT");
    if (inflater && !isImageData) {
      imageDataEnded = true;
    }

    if (IsChunk(type, "IHDR")) {
      if (seenHeader) {
        Fail("second IHDR chunk");
      }
      header = ParseHeader(data);
      seenHeader = true;
    } else if (IsChunk(type, "PLTE")) {
      if (seenPalette || inflater || seenTransparency) {
        Fail("PLTE chunk is repeated or out of order");
      }
      if (header.colourType == kGrey || header.colourType == kGreyAlpha) {
        Fail("PLTE chunk in a greyscale picture");
      }
      if (length == 0 || length % 3 != 0 || length / 3 > 256) {
        Fail("PLTE chunk has an invalid length of " + std::to_string(length));
      }
      seenPalette = true;
      // RGB pictures may carry a suggested palette; only palette pictures use it.
      if (header.colourType == kPalette) {
        colours.paletteSize = length / 3;
        for (std::size_t i = 0; i < colours.paletteSize; ++i) {
          colours.palette[i] = {data[3 * i], data[3 * i + 1], data[3 * i + 2], 255};
        }
      }
    } else if (IsChunk(type, "tRNS")) {
      if (seenTransparency || inflater) {
        Fail("tRNS chunk is repeated or out of order");
      }
      seenTransparency = true;
      switch (header.colourType) {
        case kGrey:
          if (length != 2) {
            Fail("tRNS chunk for a greyscale picture must be 2 bytes long");
          }
          colours.hasTransparentColour = true;
          colours.transparentColour[0] = ReadBe16(data.data());
          break;
        case kRgb:
          if (length != 6) {
            Fail("tRNS chunk for an RGB picture must be 6 bytes long");
          }
          colours.hasTransparentColour = true;
          for (std::size_t c = 0; c < 3; ++c) {
            colours.transparentColour[c] = ReadBe16(data.data() + 2 * c);
          }
          break;
        case kPalette:
          if (!seenPalette) {
            Fail("tRNS chunk comes before PLTE");
          }
          if (length > colours.paletteSize) {
            Fail("tRNS chunk has more entries than the palette");
          }
          for (std::size_t i = 0; i < length; ++i) {
            colours.palette[i][3] = data[i];
          }
          break;
        default:
          // Pictures with an alpha channel have no use for tRNS; other readers
          // ignore a stray one too, so do the same rather than refuse the file.
          break;
      }
    } else if (isImageData) {
      if (imageDataEnded) {
        Fail("IDAT chunks are not consecutive");
      }
      if (!inflater) {
        if (header.colourType == kPalette && !seenPalette) {
          Fail("palette picture without a PLTE chunk");
        }
        // Only now, with the header checked and image data present, is the
        // pixel memory allocated.
        picture.width = static_cast<int>(header.width);
        picture.height = static_cast<int>(header.height);
        picture.rgba.assign(std::size_t{header.width} * header.height * 4U, 0);
        rows.emplace(header, colours, picture);
        inflater.emplace();
      }
      inflater->Feed(data, *rows);
    } else if (IsChunk(type, "IEND")) {
      if (length != 0) {
        Fail("IEND chunk is not empty");
      }
      if (!inflater) {
        Fail("no image data (IDAT chunk)");
      }
      if (!rows->Done()) {
        Fail("image data ends before the last row");
      }
      if (!inflater->Finished()) {
        Fail("compressed image data is cut short");
      }
      // Anything after IEND is not part of the picture and is ignored.
      return picture;
    } else if ((type[0] & 0x20U) == 0) {
      // Bit 5 of the first letter clear (upper case) marks a chunk needed to
      // show the picture correctly; one we do not know means we cannot.
      Fail("unsupported critical chunk " + typeName);
    }
    // Other ancillary chunks (text, gamma, colour profiles, ...) are skipped.
  }
}

}  // namespace kestrune
