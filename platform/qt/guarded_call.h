// Nothing thrown by the core may unwind into Qt's event dispatch: every
// slot runs its work through here.
#pragma once

#include <exception>
#include <functional>
#include <new>
#include <string>

namespace kestrune::qt {

// Called with the failure's description; must not throw.
using FailureReporter = std::function<void(const std::string&)>;

template <typename Work>
void GuardedCall(const FailureReporter& report, Work&& work) noexcept {
  std::string failure;
  try {
    std::forward<Work>(work)();
    return;
  } catch (const std::bad_alloc&) {
    failure = "Out of memory";
  } catch (const std::exception& error) {
    try {
      failure = error.what();
    } catch (...) {
    }
  } catch (...) {
    failure = "Unexpected error";
  }
  try {
    if (report) report(failure);
  } catch (...) {
    // Nowhere left to tell; the program carries on as Windows' default
    // exception handler would after its box.
  }
}

}  // namespace kestrune::qt
