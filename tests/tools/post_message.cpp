// qrvpost.exe: finds a top-level window by class and title and posts it a
// message, so tests can close a script's hidden main window from outside.
//   qrvpost.exe find CLASS TITLE            exit 0 when the window exists, 1 when not
//   qrvpost.exe post CLASS TITLE MSG [WPARAM]   exit 0 when posted
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) return 2;
  HWND window = FindWindowW(argv[2], argv[3]);
  if (wcscmp(argv[1], L"find") == 0) return window ? 0 : 1;
  if (wcscmp(argv[1], L"post") != 0 || argc < 5 || !window) return 1;
  UINT message = static_cast<UINT>(wcstoul(argv[4], nullptr, 0));
  WPARAM wParam = argc > 5 ? static_cast<WPARAM>(wcstoull(argv[5], nullptr, 0)) : 0;
  return PostMessageW(window, message, wParam, 0) ? 0 : 1;
}
