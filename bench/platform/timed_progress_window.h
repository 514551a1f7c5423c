// A progress window that counts its redraws and the time spent in them, for
// the download benchmarks run through the progress window.
#pragma once

#include <chrono>

#include "common/progress_window.h"

namespace kestrune::bench {

class TimedProgressWindow final : public ProgressWindow {
 public:
  explicit TimedProgressWindow(ProgressWindow& inner) : inner_(inner) {}
  bool Show(const ProgressView& view) override {
    const auto start = std::chrono::steady_clock::now();
    const bool cancelled = inner_.Show(view);
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ++shows;
    return cancelled;
  }
  void Close() override { inner_.Close(); }

  int shows = 0;
  double seconds = 0;

 private:
  ProgressWindow& inner_;
};

}  // namespace kestrune::bench
