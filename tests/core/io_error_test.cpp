#include "common/io_error.h"

#include <new>

#include "common/failure.h"

#include <gtest/gtest.h>

namespace kestrune {
namespace {

TEST(IoErrorText, RuntimeWordsOrTheNumber) {
  EXPECT_EQ(DescribeIoError(IoErrorKind::FileNotFound, 2), "File not found");
  EXPECT_EQ(DescribeIoError(IoErrorKind::PathNotFound, 3), "Path not found");
  EXPECT_EQ(DescribeIoError(IoErrorKind::AccessDenied, 5), "File access denied");
  EXPECT_EQ(DescribeIoError(IoErrorKind::DiskFull, 112), "Disk full");
  EXPECT_EQ(DescribeIoError(IoErrorKind::Other, 1117), "I/O error 1117");
  EXPECT_STREQ(IoError(IoErrorKind::DiskFull, 28).what(), "Disk full");
}

TEST(IoErrorText, FullStopUnlessTheLastCharacterIsAFullStopOrBelow) {
  EXPECT_EQ(ErrorBoxText("Disk full"), "Disk full.");
  EXPECT_EQ(ErrorBoxText("I/O error 5"), "I/O error 5.");
  EXPECT_EQ(ErrorBoxText("Done."), "Done.");
  EXPECT_EQ(ErrorBoxText("Gone!"), "Gone!");     // '!' is 33
  EXPECT_EQ(ErrorBoxText("a-"), "a-");           // '-' is 45
  EXPECT_EQ(ErrorBoxText("a/"), "a/.");          // '/' is 47
  EXPECT_EQ(ErrorBoxText("caf\xC3\xA9"), "caf\xC3\xA9.");
  EXPECT_EQ(ErrorBoxText(""), "");
}

TEST(FailureText, EveryPlatformWordsAFailureTheSameWay) {
  const auto text = [](auto failure) {
    return ErrorBoxText(DescribeFailure(std::make_exception_ptr(failure)));
  };
  EXPECT_EQ(text(IoError(IoErrorKind::DiskFull, 28)), "Disk full.");
  EXPECT_EQ(text(std::bad_alloc()), "Out of memory.");
  EXPECT_EQ(text(std::runtime_error("The main window cannot be created")),
            "The main window cannot be created.");
  EXPECT_EQ(text(42), "Unexpected error.");
}

}  // namespace
}  // namespace kestrune
