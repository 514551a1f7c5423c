// The manifest's ANSI text through iconv, and the request addresses made
// from manifest names.
#include <gtest/gtest.h>

#include <string>

#include "platform/posix/posix_ansi_code_page.h"

namespace kestrune {
namespace {

using posix::Cp1252Decoder;

TEST(Cp1252, HighHalfFollowsWindowsTable) {
  Cp1252Decoder decoder;
  EXPECT_EQ(decoder.Decode("\x80"), "\xE2\x82\xAC");        // euro sign
  EXPECT_EQ(decoder.Decode("\x8A"), "\xC5\xA0");            // S caron
  EXPECT_EQ(decoder.Decode("\x93quoted\x94"), "\xE2\x80\x9Cquoted\xE2\x80\x9D");
  EXPECT_EQ(decoder.Decode("\x9F"), "\xC5\xB8");            // Y diaeresis
  EXPECT_EQ(decoder.Decode("\xA0"), "\xC2\xA0");
  EXPECT_EQ(decoder.Decode("Caf\xE9 \xFF"), "Caf\xC3\xA9 \xC3\xBF");
}

TEST(Cp1252, UndefinedBytesBecomeTheirC1ControlsNotErrors) {
  Cp1252Decoder decoder;
  for (const char byte : {'\x81', '\x8D', '\x8F', '\x90', '\x9D'}) {
    SCOPED_TRACE(static_cast<int>(static_cast<unsigned char>(byte)));
    const std::string in = std::string("a") + byte + "b\x80";
    const std::string expected = std::string("a\xC2") + byte + "b\xE2\x82\xAC";
    EXPECT_EQ(decoder.Decode(in), expected);
  }
}

TEST(Cp1252, LongTextAndRepeatedUseConvertWhole) {
  Cp1252Decoder decoder;
  std::string in;
  std::string expected;
  for (int i = 0; i < 500; ++i) {
    in += "x\x80\x81";
    expected += "x\xE2\x82\xAC\xC2\x81";
  }
  EXPECT_EQ(decoder.Decode(in), expected);
  EXPECT_EQ(decoder.Decode(in), expected);
  EXPECT_EQ(decoder.Decode(""), "");
}

}  // namespace
}  // namespace kestrune
