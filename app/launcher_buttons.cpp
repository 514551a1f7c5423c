// The column of launcher buttons and their shared click handler.
#include "app/form1.h"
#include "app/layout.h"

namespace kestrune {

void TForm1::FreeButtons(std::vector<ButtonId>& buttons) {
  for (ButtonId id : buttons) window_->DestroyLauncherButton(id);
}

void TForm1::DisplayButtons() {
  FreeButtons(buttonsArray);
  buttonsArray.clear();

  const std::size_t count = state_.localPaths.size();
  buttonsArray.reserve(count);
  int nextTop = layout::kFirstButtonTop;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t number = i + 1;
    // Room for the new button first: the window grows and ExitBtn moves
    // down a pitch, so it always sits one pitch below the last button.
    if (number > static_cast<std::size_t>(layout::kButtonsWithoutGrowth)) {
      window_->SetOuterHeight(window_->OuterHeight() + layout::kGrowthPerButton);
      window_->SetExitButtonTop(window_->ExitButtonTop() + layout::kGrowthPerButton);
    }
    ButtonDesign design;
    design.left = layout::kButtonLeft;
    design.top = nextTop;
    design.width = layout::kButtonWidth;
    design.height = layout::kButtonHeight;
    design.tag = static_cast<int>(i);
    design.caption = state_.buttonCaptions[i];
    buttonsArray.push_back(window_->CreateLauncherButton(design));
    nextTop += layout::kButtonPitch;
  }
}

void TForm1::AssignProg(int senderTag) {
  if (senderTag < 0 || static_cast<std::size_t>(senderTag) >= state_.localPaths.size()) return;
  platform_.desktop.ShellOpen(state_.localPaths[static_cast<std::size_t>(senderTag)]);
}

}  // namespace kestrune
