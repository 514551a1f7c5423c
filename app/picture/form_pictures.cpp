#include "app/picture/form_pictures.h"

#include "app/picture/jpeg_decoder.h"
#include "app/picture/png_decoder.h"
#include "resources/embedded.h"

namespace kestrune {

namespace {

template <typename Decoder>
std::optional<Picture> DecodeOrNothing(Decoder decode, std::span<const std::uint8_t> bytes) {
  try {
    return decode(bytes);
  } catch (const PictureError&) {
    return std::nullopt;
  }
}

}  // namespace

FormPictures DecodeFormPictures() {
  return FormPictures{DecodeOrNothing(&DecodeJpeg, resources::LogoJpeg()),
                      DecodeOrNothing(&DecodePng, resources::HelpIconPng())};
}

std::optional<Picture> DecodeProgramIcon() {
  return DecodeOrNothing(&DecodePng, resources::ProgramIconPng());
}

}  // namespace kestrune
