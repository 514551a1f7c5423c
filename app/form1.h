// The main window's behaviour: what happens at creation, on each click and
// when the launcher buttons are laid out. The platform builds the native
// window and hands every event here.
#pragma once

#include <string>

#include "app/main_window.h"
#include "common/addresses.h"
#include "common/services.h"
#include "update/launcher_state.h"
#include "update/startup.h"

namespace kestrune {

class TForm1 final : public FormEvents, public StartupTarget {
 public:
  TForm1(Platform& platform, Addresses addresses);

  // The window's creation: attaches the native window, then runs
  // FormCreate. A failure raised inside it (an I/O error above all) ends
  // start-up there and is reported in an error box; the window is shown
  // afterwards with whatever was set up.
  void Create(MainWindow& window);

  // Hint set-up, then the start-up update.
  void FormCreate();

  void Image1Click() override;
  void Image2Click() override;
  void ExitBtnClick() override;

  // Sets the manifest's title as the label's text and the window caption.
  void ApplyTitle(const std::string& title) override;

  // One launcher button per entry, in a column; the window grows and
  // ExitBtn moves down for every button beyond the fifth.
  void DisplayButtons() override;
  // Click handler of every launcher button: opens its entry's local file.
  void AssignProg(int senderTag) override;

  // True when start-up asked the program to end: the window is then never
  // shown for use.
  bool EndRequested() const { return state_.endRequested; }

  const LauncherState& State() const { return state_; }
  LauncherState& State() { return state_; }

 private:
  // Runs an event's work; a failure is reported in the error box, the same
  // way on every platform, and goes no further.
  template <typename Work>
  void Guarded(Work&& work) noexcept;

  Platform& platform_;
  Addresses addresses_;
  MainWindow* window_ = nullptr;
  LauncherState state_;
};

}  // namespace kestrune
