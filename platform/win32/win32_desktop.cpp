#include "platform/win32/win32_desktop.h"

#include "platform/win32/win32_windows.h"
// <shellapi.h> first: its ShellExecute macro then renames the shell
// dispatch object's method of that name where it is declared and called alike.
#include <shellapi.h>
#include <exdisp.h>
#include <servprov.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shobjidl.h>

#include "common/texts.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_message_box.h"
#include "platform/win32/win32_text.h"

namespace kestrune::win32 {

namespace {

// What a COM call hands out through its last parameter, owned; empty when
// the call failed or handed out nothing.
template <typename Interface, typename Call>
ComObject<Interface> Take(Call call) {
  Interface* object = nullptr;
  if (FAILED(call(&object))) return nullptr;
  return ComObject<Interface>(object);
}

template <typename Interface>
ComObject<Interface> Query(IUnknown* object) {
  if (!object) return nullptr;
  return Take<Interface>(
      [&](Interface** out) { return object->QueryInterface(IID_PPV_ARGS(out)); });
}

}  // namespace

// NOTE: ShellExecute from a launcher run as administrator may start the
// browser as administrator too. The desktop's own shell runs with the
// signed-in user's rights; asked through the dispatch object of its
// window, it starts the browser with those.
bool OpenThroughTheDesktopShell(const std::string& target, const std::string& directory) {
  const auto windows = Take<IShellWindows>([](IShellWindows** out) {
    return ::CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_PPV_ARGS(out));
  });
  if (!windows) return false;
  VARIANT none;
  ::VariantInit(&none);
  long desktopWindow = 0;
  const auto desktop = Take<IDispatch>([&](IDispatch** out) {
    return windows->FindWindowSW(&none, &none, SWC_DESKTOP, &desktopWindow, SWFO_NEEDDISPATCH,
                                 out);
  });
  const auto services = Query<IServiceProvider>(desktop.get());
  if (!services) return false;
  const auto browser = Take<IShellBrowser>([&](IShellBrowser** out) {
    return services->QueryService(SID_STopLevelBrowser, IID_PPV_ARGS(out));
  });
  if (!browser) return false;
  const auto view =
      Take<IShellView>([&](IShellView** out) { return browser->QueryActiveShellView(out); });
  if (!view) return false;
  const auto background = Take<IDispatch>([&](IDispatch** out) {
    return view->GetItemObject(SVGIO_BACKGROUND, IID_PPV_ARGS(out));
  });
  const auto folderView = Query<IShellFolderViewDual>(background.get());
  if (!folderView) return false;
  const auto application =
      Take<IDispatch>([&](IDispatch** out) { return folderView->get_Application(out); });
  const auto shell = Query<IShellDispatch2>(application.get());
  if (!shell) return false;

  const ComString file(::SysAllocString(Widen(target).c_str()));
  const ComString open(::SysAllocString(L"open"));
  if (!file || !open) return false;
  const ComString folder(directory.empty() ? nullptr : ::SysAllocString(Widen(directory).c_str()));
  if (!directory.empty() && !folder) return false;
  VARIANT startIn;
  ::VariantInit(&startIn);
  if (folder) {
    startIn.vt = VT_BSTR;
    startIn.bstrVal = folder.get();
  }
  VARIANT operation;
  ::VariantInit(&operation);
  operation.vt = VT_BSTR;
  operation.bstrVal = open.get();
  VARIANT show;
  ::VariantInit(&show);
  show.vt = VT_I4;
  show.lVal = SW_SHOWNORMAL;
  // The browser is started by the shell's process, which is not in front:
  // it may bring the browser there.
  DWORD shellProcess = 0;
  if (::GetWindowThreadProcessId(::GetShellWindow(), &shellProcess) != 0) {
    ::AllowSetForegroundWindow(shellProcess);
  }
  return SUCCEEDED(shell->ShellExecute(file.get(), none, startIn, operation, show));
}

void Win32Desktop::ShellOpen(const std::string& target) {
  // Fire and forget: the shell reports its own failures, if any.
  ::ShellExecuteW(state_.mainWindow, L"open", Widen(target).c_str(), nullptr, nullptr,
                  SW_SHOWNORMAL);
}

void Win32Desktop::OpenDocument(const std::string& path) {
  // The shell runs in a process of its own, with a directory of its own.
  if (OpenThroughTheDesktopShell(path, Win32FileSystem().CurrentDirectory())) return;
  ShellOpen(path);
}

void Win32Desktop::OpenWebPage(const std::string& url) {
  if (OpenThroughTheDesktopShell(url)) return;
  ::ShellExecuteW(state_.mainWindow, L"open", Widen(url).c_str(), nullptr, nullptr,
                  SW_SHOWNORMAL);
}

bool Win32Desktop::Confirm(const std::string& text) {
  return ShowMessageBox(text, texts::kConfirmTitle,
                        MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON1) == IDYES;
}

void Win32Desktop::ShowInformation(const std::string& text) {
  ShowMessageBox(text, texts::kInformationTitle, MB_OK | MB_ICONINFORMATION);
}

void Win32Desktop::ShowError(const std::string& text) { ShowErrorBox(text, state_.title); }

}  // namespace kestrune::win32
