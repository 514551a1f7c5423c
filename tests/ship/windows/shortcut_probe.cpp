// Reads a shortcut (.lnk) back through the shell's own IShellLinkW, as
// Explorer does when the user starts it, and prints what it holds as JSON:
//
//   shortcut_probe LNK        {"target":…,"working_dir":…,"arguments":…,
//                              "icon":…,"icon_index":…}
//   shortcut_probe open LNK   starts the shortcut through the shell (as a
//                             double click does); {"ok":true}
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <string>

#include "tests/windows/driver_json.h"

namespace {

using kestrune::e2e::JsonObject;

std::string Utf8(const wchar_t* text) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string out(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
  out.resize(static_cast<std::size_t>(size - 1));
  return out;
}

int Fail(const char* what, HRESULT code) {
  char text[128];
  std::snprintf(text, sizeof text, "%s failed (0x%08lx)", what, static_cast<unsigned long>(code));
  std::puts(JsonObject().Text("error", text).str().c_str());
  return 1;
}

template <typename Interface>
struct Released {
  Interface* pointer = nullptr;
  Released() = default;
  Released(const Released&) = delete;
  Released& operator=(const Released&) = delete;
  ~Released() {
    if (pointer) pointer->Release();
  }
};

int Describe(const std::wstring& path) {
  Released<IShellLinkW> link;
  HRESULT result = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IShellLinkW, reinterpret_cast<void**>(&link.pointer));
  if (FAILED(result)) return Fail("CoCreateInstance(ShellLink)", result);
  Released<IPersistFile> file;
  result = link.pointer->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file.pointer));
  if (FAILED(result)) return Fail("QueryInterface(IPersistFile)", result);
  result = file.pointer->Load(path.c_str(), STGM_READ);
  if (FAILED(result)) return Fail("IPersistFile::Load", result);

  wchar_t target[MAX_PATH] = {};
  wchar_t workingDir[MAX_PATH] = {};
  wchar_t arguments[1024] = {};
  wchar_t icon[MAX_PATH] = {};
  int iconIndex = 0;
  // SLGP_RAWPATH: the path as stored, not one the shell resolves again.
  if (FAILED(result = link.pointer->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH)))
    return Fail("GetPath", result);
  if (FAILED(result = link.pointer->GetWorkingDirectory(workingDir, MAX_PATH)))
    return Fail("GetWorkingDirectory", result);
  if (FAILED(result = link.pointer->GetArguments(arguments, 1024)))
    return Fail("GetArguments", result);
  if (FAILED(result = link.pointer->GetIconLocation(icon, MAX_PATH, &iconIndex)))
    return Fail("GetIconLocation", result);
  std::puts(JsonObject()
                .Text("target", Utf8(target))
                .Text("working_dir", Utf8(workingDir))
                .Text("arguments", Utf8(arguments))
                .Text("icon", Utf8(icon))
                .Number("icon_index", iconIndex)
                .str()
                .c_str());
  return 0;
}

int Open(const std::wstring& path) {
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof info;
  info.lpVerb = L"open";
  info.lpFile = path.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (!::ShellExecuteExW(&info)) return Fail("ShellExecuteExW", HRESULT_FROM_WIN32(::GetLastError()));
  std::puts(JsonObject().Bool("ok", true).str().c_str());
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const HRESULT result = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (FAILED(result)) return Fail("CoInitializeEx", result);
  int code = 2;
  if (argc == 2) {
    code = Describe(argv[1]);
  } else if (argc == 3 && std::wstring(argv[1]) == L"open") {
    code = Open(argv[2]);
  } else {
    std::puts(JsonObject().Text("error", "usage: shortcut_probe [open] LNK").str().c_str());
  }
  ::CoUninitialize();
  return code;
}
