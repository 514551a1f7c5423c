#include "app/form1.h"

#include <utility>

#include "app/program_files.h"
#include "common/failure.h"
#include "common/texts.h"

namespace kestrune {

TForm1::TForm1(Platform& platform, Addresses addresses)
    : platform_(platform), addresses_(std::move(addresses)) {}

template <typename Work>
void TForm1::Guarded(Work&& work) noexcept {
  try {
    std::forward<Work>(work)();
  } catch (...) {
    try {
      platform_.desktop.ShowError(CurrentFailureBoxText());
    } catch (...) {
      // Not even the box could be shown: nothing is left to tell.
    }
  }
}

void TForm1::Create(MainWindow& window) {
  window_ = &window;
  // Start-up ends where the failure was and the window opens with what had
  // been set up.
  Guarded([this] { FormCreate(); });
}

void TForm1::FormCreate() {
  window_->SetHintHidePause(texts::kHintHidePauseMs);
  window_->SetImage2Hint(texts::kImage2Hint);
  RunStartupUpdate(platform_, addresses_, state_, *this);
}

void TForm1::ApplyTitle(const std::string& title) {
  window_->SetLabelText(title);
  window_->SetCaption(title);
}

void TForm1::Image1Click() {
  Guarded([this] { platform_.desktop.OpenWebPage(addresses_.homePageUrl); });
}

void TForm1::Image2Click() {
  Guarded([this] { platform_.desktop.OpenWebPage(addresses_.supportTicketsUrl); });
}

void TForm1::ExitBtnClick() {
  Guarded([this] { window_->Close(); });
}

void TForm1::AssignProg(int senderTag) {
  Guarded([this, senderTag] {
    if (senderTag < 0 || static_cast<std::size_t>(senderTag) >= state_.localPaths.size()) return;
    const std::string& path = state_.localPaths[static_cast<std::size_t>(senderTag)];
    if (RunsAsProgram(path, platform_.system.ProgramExtensions())) {
      platform_.desktop.ShellOpen(path);
    } else {
      platform_.desktop.OpenDocument(path);
    }
  });
}

}  // namespace kestrune
