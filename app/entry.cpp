#include "app/entry.h"

#include "app/form1.h"
#include "app/texts.h"

namespace kestrune {

int RunKestrune(Application& application, Platform& platform, const Addresses& addresses) {
  application.Initialize();
  application.SetMainFormOnTaskbar(true);
  application.SetTitle(texts::kApplicationTitle);
  TForm1 form1(platform, addresses);
  form1.Create(application.CreateMainWindow(form1));
  return application.Run();
}

}  // namespace kestrune
