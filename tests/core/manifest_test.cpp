#include "update/manifest.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_platform.h"

namespace kestrune {
namespace {

using fake::Latin1ToUtf8;

Manifest Read(std::string_view bytes) { return ReadManifest(bytes, Latin1ToUtf8); }

TEST(ManifestShape, EmptyFileHasNoTitleAndNoEntries) {
  const Manifest m = Read("");
  EXPECT_FALSE(m.title.has_value());
  EXPECT_TRUE(m.records.empty());
}

TEST(ManifestShape, TitleOnly) {
  for (std::string_view text : {"Tools", "Tools\n", "Tools\r\n"}) {
    const Manifest m = Read(text);
    ASSERT_TRUE(m.title.has_value()) << text;
    EXPECT_EQ(*m.title, "Tools");
    EXPECT_TRUE(m.records.empty()) << text;
  }
}

TEST(ManifestShape, RecordsInFileOrder) {
  const Manifest m = Read("Title\na.exe\nFirst\nb.pdf\nSecond\n");
  ASSERT_EQ(m.records.size(), 2u);
  EXPECT_EQ(m.records[0].fileName, "a.exe");
  EXPECT_EQ(m.records[0].caption, "First");
  EXPECT_EQ(m.records[1].fileName, "b.pdf");
  EXPECT_EQ(m.records[1].caption, "Second");
}

TEST(ManifestShape, MissingCaptionAtEndReadsAsEmpty) {
  for (std::string_view text : {"T\na.exe\nA\nb.exe", "T\na.exe\nA\nb.exe\n"}) {
    const Manifest m = Read(text);
    ASSERT_EQ(m.records.size(), 2u) << text;
    EXPECT_EQ(m.records[1].fileName, "b.exe");
    EXPECT_EQ(m.records[1].caption, "");
  }
}

TEST(ManifestShape, BlankLinesCountByPosition) {
  const Manifest m = Read("T\n\n\nx\ny\n");
  ASSERT_EQ(m.records.size(), 2u);
  EXPECT_EQ(m.records[0].fileName, "");
  EXPECT_EQ(m.records[0].caption, "");
  EXPECT_EQ(m.records[1].fileName, "x");
  EXPECT_EQ(m.records[1].caption, "y");
}

TEST(ManifestText, TitleKeepsItsBlanksNamesAndCaptionsAreTrimmed) {
  const Manifest m = Read("  My Tools \t\n \t a b.exe \x01\n\x1f Start it  \n");
  EXPECT_EQ(*m.title, "  My Tools \t");
  ASSERT_EQ(m.records.size(), 1u);
  EXPECT_EQ(m.records[0].fileName, "a b.exe");
  EXPECT_EQ(m.records[0].caption, "Start it");
}

TEST(ManifestText, CrLfAndLfReadTheSame) {
  const Manifest lf = Read("T\na\nA\nb\nB\n");
  const Manifest crlf = Read("T\r\na\r\nA\r\nb\r\nB\r\n");
  EXPECT_EQ(*lf.title, *crlf.title);
  ASSERT_EQ(lf.records.size(), crlf.records.size());
  for (std::size_t i = 0; i < lf.records.size(); ++i) {
    EXPECT_EQ(lf.records[i].fileName, crlf.records[i].fileName);
    EXPECT_EQ(lf.records[i].caption, crlf.records[i].caption);
  }
}

TEST(ManifestText, LoneCarriageReturnIsDroppedAndTheLineGoesOn) {
  const Manifest m = Read("Ti\rtle\r\r\nna\rme\ncap\r");
  EXPECT_EQ(*m.title, "Title");
  ASSERT_EQ(m.records.size(), 1u);
  EXPECT_EQ(m.records[0].fileName, "name");
  EXPECT_EQ(m.records[0].caption, "cap");
}

TEST(ManifestText, ByteOrderMarkStaysInFrontOfTheTitle) {
  const Manifest m = Read("\xEF\xBB\xBFTools\n");
  EXPECT_EQ(*m.title, "\xC3\xAF\xC2\xBB\xC2\xBFTools");  // U+00EF U+00BB U+00BF
}

TEST(ManifestText, EightBitTextIsDecodedPlainAsciiIsNot) {
  int calls = 0;
  const AnsiDecoder counting = [&calls](std::string_view s) {
    ++calls;
    return Latin1ToUtf8(s);
  };
  const Manifest m = ReadManifest("Caf\xE9\nplain.exe\nR\xE9sum\xE9\n", counting);
  EXPECT_EQ(*m.title, "Caf\xC3\xA9");
  EXPECT_EQ(m.records[0].fileName, "plain.exe");
  EXPECT_EQ(m.records[0].caption, "R\xC3\xA9sum\xC3\xA9");
  EXPECT_EQ(calls, 2);
}

TEST(ManifestText, VeryLongLine) {
  const std::string name(1 << 20, 'n');
  const Manifest m = Read("T\n" + name + "\ncap\n");
  ASSERT_EQ(m.records.size(), 1u);
  EXPECT_EQ(m.records[0].fileName, name);
}

TEST(ManifestText, NulBytesDoNotEndALine) {
  const Manifest m = Read(std::string("T\0x\na\0b\nc\n", 10));
  EXPECT_EQ(*m.title, std::string("T\0x", 3));
  EXPECT_EQ(m.records[0].fileName, std::string("a\0b", 3));
}

TEST(ManifestEndMark, AtTheStartOfTheTitleEndsEverything) {
  const Manifest m = Read("\x1aTitle\na\nA\n");
  EXPECT_FALSE(m.title.has_value());
  EXPECT_TRUE(m.records.empty());
}

TEST(ManifestEndMark, AtTheStartOfAFileNameLineEndsTheManifest) {
  const Manifest m = Read("T\na\nA\n\x1a" "b\nB\n");
  ASSERT_EQ(m.records.size(), 1u);
  EXPECT_EQ(m.records[0].fileName, "a");
}

TEST(ManifestEndMark, InsideALineEndsItsTextAndSkipsTheRestOfThatLine) {
  const Manifest m = Read("Ti\x1attle junk\na.e\x1axe\nCap\x1a tion\nb\nB\n");
  EXPECT_EQ(*m.title, "Ti");
  ASSERT_EQ(m.records.size(), 2u);
  EXPECT_EQ(m.records[0].fileName, "a.e");
  EXPECT_EQ(m.records[0].caption, "Cap");
  EXPECT_EQ(m.records[1].fileName, "b");
}

TEST(ManifestEndMark, AtTheStartOfACaptionGivesAnEmptyCaptionAndEnds) {
  const Manifest m = Read("T\na\n\x1a" "A\nb\nB\n");
  ASSERT_EQ(m.records.size(), 1u);
  EXPECT_EQ(m.records[0].fileName, "a");
  EXPECT_EQ(m.records[0].caption, "");
}

TEST(ManifestEndMark, ManyEntries) {
  std::string text = "T\n";
  for (int i = 0; i < 100000; ++i) text += "f" + std::to_string(i) + "\nc\n";
  const Manifest m = Read(text);
  ASSERT_EQ(m.records.size(), 100000u);
  EXPECT_EQ(m.records.back().fileName, "f99999");
}

// The maker's tool shows problems at the lines the reader itself read.
TEST(ManifestLayout, EachPartKeepsTheLineItStoodOn) {
  ManifestLayout layout;
  const Manifest m = ReadManifest("Title\r\na.exe\r\nA \rcut\nb.exe\n\x1A tail", nullptr, &layout);
  ASSERT_EQ(m.records.size(), 2u);
  ASSERT_EQ(layout.lines.size(), 4u) << "the last record's missing caption is no line";
  EXPECT_EQ(layout.lines[2].number, 3);
  EXPECT_EQ(layout.lines[2].loneCarriageReturns, 1);
  EXPECT_EQ(layout.lines[3].number, 4);
  EXPECT_EQ(layout.lines[3].text, "b.exe");
  EXPECT_EQ(layout.endMarkLine, 5);
  EXPECT_TRUE(layout.textAfterEndMark);
}

TEST(Trim, RemovesEverythingUpToSpaceFromBothEnds) {
  EXPECT_EQ(TrimControlAndSpace(" \t\x01 a b \x1f\x20"), "a b");
  EXPECT_EQ(TrimControlAndSpace(" \t "), "");
  EXPECT_EQ(TrimControlAndSpace("\xC3\xA9"), "\xC3\xA9");  // non-ASCII is kept
}

}  // namespace
}  // namespace kestrune
