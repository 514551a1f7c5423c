// The desktop for tests of the internet and file services: it answers what
// a download needs (the program's own path) from the real process, and any
// box or shell request fails the test, since none may happen there.
#pragma once

#include <gtest/gtest.h>

#include "platform/posix/process_info.h"
#include "platform/services.h"

namespace kestrune::testing {

class HeadlessDesktop final : public Desktop {
 public:
  void ShellOpen(const std::string& target) override { ADD_FAILURE() << "ShellOpen " << target; }
  bool Confirm(const std::string& text) override {
    ADD_FAILURE() << "Confirm " << text;
    return false;
  }
  void ShowInformation(const std::string& text) override { ADD_FAILURE() << "Information " << text; }
  void ShowError(const std::string& text) override { ADD_FAILURE() << "Error " << text; }
  void Terminate() override { ADD_FAILURE() << "Terminate"; }
  void Sleep(int milliseconds) override { posix::SleepMilliseconds(milliseconds); }
  std::string OwnExecutablePath() override { return posix::OwnExecutablePath(); }
  std::string AnsiToUtf8(std::string_view ansi) override { return std::string(ansi); }
};

}  // namespace kestrune::testing
