// One owner for every Win32 handle: unique_ptr with a deleter, so each is
// released exactly once on every way out, and copying is impossible.
#pragma once

#include "platform/win32/win32_windows.h"
#include <oleauto.h>
#include <unknwn.h>
#include <wininet.h>

#include <memory>
#include <type_traits>

namespace kestrune::win32 {

struct KernelHandleCloser {
  void operator()(HANDLE handle) const noexcept { ::CloseHandle(handle); }
};
// A kernel object (file, process). Never holds INVALID_HANDLE_VALUE: the
// callers turn that into nullptr before taking ownership.
using KernelHandle = std::unique_ptr<void, KernelHandleCloser>;

struct LibraryFreer {
  void operator()(HMODULE module) const noexcept { ::FreeLibrary(module); }
};
using LibraryHandle = std::unique_ptr<std::remove_pointer_t<HMODULE>, LibraryFreer>;

// A WinINet handle, closed through the WinINet that opened it (loaded at
// run time: see win32_system_library.h).
struct InternetHandleCloser {
  void operator()(HINTERNET handle) const noexcept;
};
using InternetHandle = std::unique_ptr<void, InternetHandleCloser>;

// One reference to a COM object.
struct ComReleaser {
  void operator()(IUnknown* object) const noexcept { object->Release(); }
};
template <typename Interface>
using ComObject = std::unique_ptr<Interface, ComReleaser>;

struct StringFreer {
  void operator()(BSTR text) const noexcept { ::SysFreeString(text); }
};
// A COM string (BSTR).
using ComString = std::unique_ptr<OLECHAR, StringFreer>;

struct GdiObjectDeleter {
  void operator()(HGDIOBJ object) const noexcept { ::DeleteObject(object); }
};
using FontHandle = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiObjectDeleter>;
using BitmapHandle = std::unique_ptr<std::remove_pointer_t<HBITMAP>, GdiObjectDeleter>;

struct MemoryDCDeleter {
  void operator()(HDC dc) const noexcept { ::DeleteDC(dc); }
};
using MemoryDC = std::unique_ptr<std::remove_pointer_t<HDC>, MemoryDCDeleter>;

struct WindowDestroyer {
  void operator()(HWND window) const noexcept { ::DestroyWindow(window); }
};
using WindowHandle = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDestroyer>;

struct HookRemover {
  void operator()(HHOOK hook) const noexcept { ::UnhookWindowsHookEx(hook); }
};
using HookHandle = std::unique_ptr<std::remove_pointer_t<HHOOK>, HookRemover>;

// A device context borrowed with GetDC and given back with ReleaseDC.
class WindowDC {
 public:
  explicit WindowDC(HWND window) : window_(window), dc_(::GetDC(window)) {}
  WindowDC(const WindowDC&) = delete;
  WindowDC& operator=(const WindowDC&) = delete;
  ~WindowDC() {
    if (dc_) ::ReleaseDC(window_, dc_);
  }
  HDC Get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// An object selected into a device context, put back on the way out.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(::SelectObject(dc, object)) {}
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;
  ~SelectedObject() {
    if (previous_) ::SelectObject(dc_, previous_);
  }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

}  // namespace kestrune::win32
