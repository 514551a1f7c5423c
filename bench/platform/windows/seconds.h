// The Windows benchmark programs' clock: the performance counter, in seconds.
#pragma once

#include <windows.h>

inline double Seconds() {
  LARGE_INTEGER frequency{};
  LARGE_INTEGER counter{};
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}
