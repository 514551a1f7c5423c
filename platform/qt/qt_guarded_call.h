// Nothing thrown may unwind into Qt's event dispatch: every slot runs its
// work through here. The form reports its own handlers' failures; this is
// the last resort behind it, worded as the form words them.
#pragma once

#include <functional>
#include <string>
#include <utility>

#include "common/failure.h"

namespace kestrune::qt {

// Called with the error box's text; must not throw.
using FailureReporter = std::function<void(const std::string&)>;

template <typename Work>
void GuardedCall(const FailureReporter& report, Work&& work) noexcept {
  std::string text;
  try {
    std::forward<Work>(work)();
    return;
  } catch (...) {
    try {
      text = CurrentFailureBoxText();
    } catch (...) {
      // No memory even for the words: the box still says something failed.
    }
  }
  try {
    if (report) report(text);
  } catch (...) {
    // Nowhere left to tell; the program carries on as Windows' default
    // exception handler would after its box.
  }
}

}  // namespace kestrune::qt
