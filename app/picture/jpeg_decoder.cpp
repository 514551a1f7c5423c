#include "app/picture/jpeg_decoder.h"

// jpeglib.h expects FILE and size_t to be declared already.
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include <csetjmp>
#include <climits>
#include <cstring>
#include <string>

namespace kestrune {
namespace {

// libjpeg reports fatal errors through error_exit, which by default prints
// and calls exit(). Ours records the message and longjmps back to the
// setjmp in the step that called into libjpeg. Exceptions must not unwind
// through libjpeg's C frames, so the steps below that call libjpeg hold
// nothing with a destructor, report failure by return value, and the C++
// caller turns that into PictureError.
struct ErrorManager {
  jpeg_error_mgr base;  // first member: libjpeg hands us a jpeg_error_mgr*
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

extern "C" void OnJpegError(j_common_ptr info) {
  // base is the first member of the standard-layout ErrorManager, so the
  // pointer libjpeg holds is also a pointer to the whole manager.
  auto* manager = reinterpret_cast<ErrorManager*>(info->err);
  (*info->err->format_message)(info, manager->message);
  std::longjmp(manager->jump, 1);
}

// Warnings (e.g. "premature end of data") are not errors for us, and a GUI
// program has no console to print them to.
extern "C" void OnJpegMessage(j_common_ptr /*info*/) {}

// Everything libjpeg needs for one decode, kept outside the setjmp frames so
// its contents stay valid after a longjmp.
struct Decoder {
  jpeg_decompress_struct info;
  ErrorManager errors;
};

// Each step below is a plain function whose frame has only trivially
// destructible locals: longjmp skipping C++ destructors is undefined.

bool ReadHeader(Decoder& d, const std::uint8_t* data, unsigned long size) {
  if (setjmp(d.errors.jump) != 0) {
    return false;
  }
  // What the jpeg_create_decompress macro expands to, minus its C cast.
  jpeg_CreateDecompress(&d.info, JPEG_LIB_VERSION, sizeof(jpeg_decompress_struct));
  // Older libjpeg headers take a non-const buffer; libjpeg only reads it.
  jpeg_mem_src(&d.info, const_cast<unsigned char*>(data), size);
  jpeg_read_header(&d.info, TRUE);
  return true;
}

bool StartDecompress(Decoder& d) {
  if (setjmp(d.errors.jump) != 0) {
    return false;
  }
  switch (d.info.jpeg_color_space) {
    case JCS_GRAYSCALE:
      d.info.out_color_space = JCS_GRAYSCALE;
      break;
    case JCS_CMYK:
    case JCS_YCCK:
      d.info.out_color_space = JCS_CMYK;
      break;
    default:
      d.info.out_color_space = JCS_RGB;
      break;
  }
  jpeg_start_decompress(&d.info);
  return true;
}

// Reads every scanline into `pixels`, one row per `rowStride` bytes; a row
// holds output_components bytes per pixel at its start.
bool ReadScanlines(Decoder& d, std::uint8_t* pixels, std::size_t rowStride) {
  if (setjmp(d.errors.jump) != 0) {
    return false;
  }
  while (d.info.output_scanline < d.info.output_height) {
    JSAMPROW row = pixels + std::size_t{d.info.output_scanline} * rowStride;
    if (jpeg_read_scanlines(&d.info, &row, 1) != 1) {
      // The memory source never suspends, so no progress means a broken stream.
      std::strcpy(d.errors.message, "decoder made no progress");
      return false;
    }
  }
  return true;
}

// Destroys the libjpeg object however the decode ends. jpeg_destroy only
// frees memory, cannot raise an error, and does nothing to a zeroed object
// (as when jpeg_create_decompress itself failed).
class DecoderGuard {
 public:
  explicit DecoderGuard(Decoder& d) : d_(d) {}
  ~DecoderGuard() { jpeg_destroy_decompress(&d_.info); }
  DecoderGuard(const DecoderGuard&) = delete;
  DecoderGuard& operator=(const DecoderGuard&) = delete;

 private:
  Decoder& d_;
};

[[noreturn]] void Fail(const std::string& why) { throw PictureError("JPEG: " + why); }

[[noreturn]] void FailFromLibjpeg(const Decoder& d) { Fail(std::string(d.errors.message)); }

// Spreads the output_components bytes per pixel at the start of a row over
// the whole row as RGBA, in place, working from the right end so no source
// byte is overwritten before it is read.
void ExpandRowToRgba(std::uint8_t* row, std::size_t width, int components, bool invertedCmyk) {
  for (std::size_t x = width; x-- > 0;) {
    std::uint8_t* out = row + 4 * x;
    if (components == 1) {
      const std::uint8_t grey = row[x];
      out[0] = grey;
      out[1] = grey;
      out[2] = grey;
    } else if (components == 3) {
      const std::uint8_t r = row[3 * x];
      const std::uint8_t g = row[3 * x + 1];
      const std::uint8_t b = row[3 * x + 2];
      out[0] = r;
      out[1] = g;
      out[2] = b;
    } else {
      // Adobe's CMYK JPEGs store the inks inverted (255 = no ink); others
      // store them straight. Either way, colour = (1 - ink) * (1 - black).
      unsigned ink[4];
      for (std::size_t c = 0; c < 4; ++c) {
        ink[c] = invertedCmyk ? 255U - row[4 * x + c] : row[4 * x + c];
      }
      for (std::size_t c = 0; c < 3; ++c) {
        out[c] = static_cast<std::uint8_t>((255U - ink[c]) * (255U - ink[3]) / 255U);
      }
    }
    out[3] = 255;
  }
}

}  // namespace

Picture DecodeJpeg(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) {
    Fail("file is empty");
  }
  if (bytes.size() > ULONG_MAX) {
    Fail("file is too large");
  }

  Decoder d{};
  d.info.err = jpeg_std_error(&d.errors.base);
  d.errors.base.error_exit = OnJpegError;
  d.errors.base.output_message = OnJpegMessage;
  DecoderGuard guard(d);

  if (!ReadHeader(d, bytes.data(), static_cast<unsigned long>(bytes.size()))) {
    FailFromLibjpeg(d);
  }
  // Checked before libjpeg allocates anything sized by the picture.
  CheckPictureSize(d.info.image_width, d.info.image_height, "JPEG");
  if (!StartDecompress(d)) {
    FailFromLibjpeg(d);
  }
  const std::size_t width = d.info.output_width;
  const std::size_t height = d.info.output_height;
  const int components = d.info.output_components;
  if (width != d.info.image_width || height != d.info.image_height ||
      (components != 1 && components != 3 && components != 4)) {
    Fail("unexpected output format from libjpeg");
  }

  Picture picture;
  picture.width = static_cast<int>(width);
  picture.height = static_cast<int>(height);
  picture.rgba.assign(width * height * 4U, 0);
  // Scanlines are written straight into the RGBA rows (a row of 4 bytes per
  // pixel has room for 1, 3 or 4) and widened in place afterwards.
  if (!ReadScanlines(d, picture.rgba.data(), width * 4U)) {
    FailFromLibjpeg(d);
  }
  const bool invertedCmyk = components == 4 && d.info.saw_Adobe_marker;
  for (std::size_t y = 0; y < height; ++y) {
    ExpandRowToRgba(picture.rgba.data() + y * width * 4U, width, components, invertedCmyk);
  }
  // No jpeg_finish_decompress: every pixel has been read, and whatever
  // follows the last scan must not turn a good picture into an error.
  return picture;
}

}  // namespace kestrune
