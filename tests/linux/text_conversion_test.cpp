// The manifest's ANSI text through iconv, and the request addresses made
// from manifest names.
#include <gtest/gtest.h>

#include <string>

#include "platform/posix/posix_ansi_code_page.h"
#include "platform/posix/posix_request_url.h"

namespace kestrune {
namespace {

using posix::Cp1252Decoder;
using posix::EncodeRequestUrl;

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

// Hex digits come in libcurl's lower case; to a server "%c3" is "%C3".
TEST(RequestUrl, PathIsEncodedAsWindowsSendsIt) {
  EXPECT_EQ(EncodeRequestUrl("http://h:8080/serverlist/my file.exe"),
            "http://h:8080/serverlist/my%20file.exe");
  EXPECT_EQ(EncodeRequestUrl("http://h/serverlist/\xC3\xA9t\xC3\xA9.txt"),
            "http://h/serverlist/%c3%a9t%c3%a9.txt");
  EXPECT_EQ(EncodeRequestUrl("http://h/serverlist/tools\\setup.exe"),
            "http://h/serverlist/tools/setup.exe");
  EXPECT_EQ(EncodeRequestUrl("http://h/serverlist/a\"<>{}|^`.txt"),
            "http://h/serverlist/a%22%3c%3e%7b%7d%7c%5e%60.txt");
  // Past '?' a backslash is no separator, and a space is no '+'.
  EXPECT_EQ(EncodeRequestUrl("http://h/serverlist/a b?c d\\e"),
            "http://h/serverlist/a%20b?c%20d%5ce");
}

TEST(RequestUrl, WhatIsAlreadyFitIsLeftAlone) {
  for (const char* url : {"http://h/serverlist/a%20b.txt", "https://user@h:1/p?q=1&r=a/b",
                          "http://h/serverlist/", "http://h/serverlist/(x)+y,z;!$'*=@:.txt"}) {
    EXPECT_EQ(EncodeRequestUrl(url), url);
  }
  // The same request: an empty path is "/".
  EXPECT_EQ(EncodeRequestUrl("http://h"), "http://h/");
}

}  // namespace
}  // namespace kestrune
