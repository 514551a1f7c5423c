#include "app/form1.h"

#include <exception>
#include <new>

#include "app/texts.h"
#include "platform/io_error.h"

namespace kestrune {

TForm1::TForm1(Platform& platform, Addresses addresses)
    : platform_(platform), addresses_(std::move(addresses)) {}

void TForm1::Create(MainWindow& window) {
  window_ = &window;
  // Errors stop here, as the window's creation reports them: start-up ends
  // where it was and the window opens with what had been set up.
  try {
    FormCreate();
  } catch (const IoError& error) {
    platform_.desktop.ShowError(ErrorBoxText(error.what()));
  } catch (const std::bad_alloc&) {
    platform_.desktop.ShowError(ErrorBoxText("Out of memory"));
  } catch (const std::exception& error) {
    platform_.desktop.ShowError(ErrorBoxText(error.what()));
  }
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

void TForm1::Image1Click() { platform_.desktop.ShellOpen(addresses_.homePageUrl); }

void TForm1::Image2Click() { platform_.desktop.ShellOpen(addresses_.supportTicketsUrl); }

void TForm1::ExitBtnClick() { window_->Close(); }

}  // namespace kestrune
