// The internet services on WinINet.
#pragma once

#include "common/internet.h"

namespace kestrune::win32 {

class Win32Internet final : public Internet {
 public:
  std::unique_ptr<InternetSession> OpenSession(std::string_view agent) override;
  std::uint64_t MonotonicMilliseconds() override;
};

}  // namespace kestrune::win32
