// The column of launcher buttons.
#include "app/form1.h"
#include "app/layout.h"

namespace kestrune {

void TForm1::DisplayButtons() {
  // The whole column is worked out here and handed over in one call; the
  // window replaces the buttons of any earlier call with these.
  LauncherLayout result;
  result.outerHeight = window_->OuterHeight();
  result.exitButtonTop = window_->ExitButtonTop();
  const std::size_t count = state_.localPaths.size();
  result.buttons.reserve(count);
  int nextTop = layout::kFirstButtonTop;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t number = i + 1;
    // Room for the new button first: the window grows and ExitBtn moves
    // down a pitch, so it always sits one pitch below the last button.
    if (number > static_cast<std::size_t>(layout::kButtonsWithoutGrowth)) {
      result.outerHeight += layout::kGrowthPerButton;
      result.exitButtonTop += layout::kGrowthPerButton;
    }
    ButtonDesign design;
    design.left = layout::kButtonLeft;
    design.top = nextTop;
    design.width = layout::kButtonWidth;
    design.height = layout::kButtonHeight;
    design.tag = static_cast<int>(i);
    design.caption = state_.buttonCaptions[i];
    design.windowOuterHeight = result.outerHeight;
    result.buttons.push_back(std::move(design));
    nextTop += layout::kButtonPitch;
  }
  window_->LayOutLauncherButtons(result);
}

}  // namespace kestrune
