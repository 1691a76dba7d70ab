#pragma once

#include <windows.h>

#include <functional>
#include <string>

// A shown message box (a dialog window) that `fits`, if one is up now; null otherwise. For the
// Windows tests, which look for the shell's boxes from outside its process.
inline HWND ShownDialog(const std::function<bool(HWND)>& fits) {
  struct Search {
    const std::function<bool(HWND)>* fits;
    HWND found = nullptr;
  } search{&fits};
  ::EnumWindows(
      [](HWND window, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        wchar_t name[16] = {};
        ::GetClassNameW(window, name, 16);
        if (std::wstring(name) == L"#32770" && ::IsWindowVisible(window) && (*s->fits)(window)) {
          s->found = window;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}
