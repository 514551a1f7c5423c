// The window a maker's build may show while the start-up downloads files:
// the platform draws what the core decides (update/download_progress.h).
#pragma once

#include <optional>
#include <string>

namespace kestrune {

// What the window shows, in UTF-8.
struct ProgressView {
  std::string title;    // the window's title: the manifest's
  std::string caption;  // the caption of the file being fetched
  std::string count;    // "file 1 of 2"
  // How far the file is, from 0 to kProgressSteps; nothing when its length
  // is unknown (the bar moves without telling how far).
  std::optional<int> steps;
};

inline constexpr int kProgressSteps = 1000;

// Nothing here may show a box: the core closes the window before any box.
class ProgressWindow {
 public:
  virtual ~ProgressWindow() = default;
  // Opens the window when it is closed, shows view in it, and lets every
  // pending message through. True once the customer pressed Cancel (the
  // button, Escape or Enter, or the window's close box) since it opened.
  virtual bool Show(const ProgressView& view) = 0;
  // Closes the window, when it is open.
  virtual void Close() = 0;
};

}  // namespace kestrune
