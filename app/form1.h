// The main window's behaviour: what happens at creation, on each click and
// when the launcher buttons are laid out. The platform builds the native
// window and hands every event here.
#pragma once

#include <string>
#include <vector>

#include "app/addresses.h"
#include "platform/services.h"
#include "update/launcher_state.h"
#include "update/startup.h"

namespace kestrune {

class TForm1 final : public FormEvents, public StartupTarget {
 public:
  TForm1(Platform& platform, Addresses addresses);

  // The window's creation: attaches the native window, then runs
  // FormCreate. An I/O error (or any other failure) raised inside it ends
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

  // One launcher button per entry, in a column; grows the window and moves
  // ExitBtn for every button beyond the fifth.
  void DisplayButtons() override;
  // Click handler of every launcher button: opens its entry's local file.
  void AssignProg(int senderTag) override;

  const LauncherState& state() const { return state_; }
  LauncherState& state() { return state_; }
  MainWindow& window() { return *window_; }

 private:
  void FreeButtons(std::vector<ButtonId>& buttons);

  Platform& platform_;
  Addresses addresses_;
  MainWindow* window_ = nullptr;
  LauncherState state_;
  std::vector<ButtonId> buttonsArray;
};

}  // namespace kestrune
