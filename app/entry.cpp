#include "app/entry.h"

#include "app/form1.h"
#include "common/texts.h"

namespace kestrune {

namespace {

// The main window goes before the form it reports to, on every way out.
class MainWindowScope {
 public:
  explicit MainWindowScope(Application& application) : application_(application) {}
  MainWindowScope(const MainWindowScope&) = delete;
  MainWindowScope& operator=(const MainWindowScope&) = delete;
  ~MainWindowScope() { application_.DestroyMainWindow(); }

 private:
  Application& application_;
};

}  // namespace

int RunKestrune(Application& application, Platform& platform, const Addresses& addresses) {
  application.Initialize();
  application.SetMainFormOnTaskbar(true);
  application.SetTitle(texts::kApplicationTitle);
  TForm1 form1(platform, addresses);
  const MainWindowScope scope(application);
  form1.Create(application.CreateMainWindow(form1, DecodeFormPictures()));
  // After a start-up problem the window is never shown for use.
  if (form1.EndRequested()) return 0;
  return application.Run();
}

}  // namespace kestrune
