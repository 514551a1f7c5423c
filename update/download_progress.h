// The progress of the start-up's downloads, in a build with the maker's
// option: a window from the Yes until the last download has ended, with
// the file being fetched, "file i of n", a bar and Cancel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "common/internet.h"
#include "common/progress_window.h"

namespace kestrune {

// The window is redrawn, and its messages let through, at most this often
// while a file arrives, so painting never slows a transfer down.
inline constexpr std::uint64_t kProgressRedrawMilliseconds = 100;

// "file 3 of 7".
std::string ProgressCount(std::size_t file, std::size_t files);

class DownloadProgress {
 public:
  // files: how many files this start fetches.
  DownloadProgress(ProgressWindow& window, Internet& internet, std::string title,
                   std::size_t files);
  DownloadProgress(const DownloadProgress&) = delete;
  DownloadProgress& operator=(const DownloadProgress&) = delete;
  // Closes the window on every way out, an error on its way to its box
  // included.
  ~DownloadProgress();

  // What the files are fetched through: each block read moves the bar on.
  // Once the customer has cancelled, every read fails and nothing more
  // opens, so the transfer ends as a failed one and drops its bytes.
  Internet& Watched();

  // Before the next file is fetched: the window opens (again) on it.
  void Begin(const std::string& caption);
  // Before a box, and once the last download has ended.
  void Close();
  // Whether the customer pressed Cancel.
  bool Cancelled() const { return cancelled_; }

  // A block of bytes arrived of a body announced as announced bytes long.
  bool Arrived(std::uint64_t bodyBytes, std::optional<std::uint64_t> announced);

 private:
  void Draw();

  ProgressWindow& window_;
  Internet& internet_;
  std::unique_ptr<Internet> watched_;
  ProgressView view_;
  std::size_t files_;
  std::size_t file_ = 0;
  bool open_ = false;
  bool cancelled_ = false;
  std::uint64_t lastDrawn_ = 0;
};

}  // namespace kestrune
