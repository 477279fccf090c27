// Gui, Show (see gui_window.h): its option list, the client size from the
// controls' extents, placement in the work area and the first-show work.
//
// Invariant: the first show happens once; it fixes the window's size from
// its controls, centres it and makes MinSize/MaxSize final.
#include <windows.h>

#include <climits>
#include <cwchar>

#include "exec/exec_state.h"
#include "gui/gui_controls.h"
#include "gui/gui_messages.h"
#include "gui/gui_tabs.h"
#include "gui/gui_window.h"
#include "values/variable.h"

namespace {

struct ShowOptions {
  int ShowCommand = SW_SHOWNORMAL;
  bool AutoSize = false;
  int X = kCoordNotGiven, Y = kCoordNotGiven, W = kCoordNotGiven, H = kCoordNotGiven;
};

// Show option words that pick the show command.
struct ShowWord {
  const wchar_t* Name;
  int Command;
};
const ShowWord kShowWords[] = {
    {L"Minimize", SW_MINIMIZE},         {L"Maximize", SW_MAXIMIZE}, {L"Restore", SW_RESTORE},
    {L"NoActivate", SW_SHOWNOACTIVATE}, {L"NA", SW_SHOWNA},         {L"Hide", SW_HIDE},
};

// Whether text at position i starts with the word, ignoring case.
bool At(std::wstring_view text, size_t i, std::wstring_view word) {
  return text.size() - i >= word.size() && EqualsNoCase(text.substr(i, word.size()), word);
}

// Reads the number after a position letter; false when there is none.
bool ReadCoordinate(std::wstring_view text, size_t& i, int& value) {
  size_t end = i;
  while (end < text.size() && (iswdigit(text[end]) || text[end] == L'.' || text[end] == L'-' || text[end] == L'+'))
    ++end;
  if (end == i) return false;
  std::wstring number(text.substr(i, end - i));
  const double parsed = wcstod(number.c_str(), nullptr);
  value = parsed >= INT_MIN + 2.0 && parsed <= INT_MAX ? static_cast<int>(parsed) : kCoordNotGiven;
  i = end;
  return true;
}

// Parses the option list; false (after the error) on an invalid option.
bool ReadShowOptions(ScriptLine& line, GuiWindow& window, std::wstring_view text, ShowOptions& options) {
  for (size_t i = 0; i < text.size();) {
    if (text[i] == L' ' || text[i] == L'\t') {
      ++i;
      continue;
    }
    bool matched = false;
    if (At(text, i, L"AutoSize")) {
      options.AutoSize = true;
      i += 8;
      continue;
    }
    if (At(text, i, L"Center")) {
      options.X = options.Y = kCoordAuto;
      i += 6;
      continue;
    }
    for (const ShowWord& row : kShowWords)
      if (At(text, i, row.Name)) {
        options.ShowCommand = row.Command;
        i += wcslen(row.Name);
        matched = true;
        break;
      }
    if (matched) continue;
    const wchar_t letter = static_cast<wchar_t>(towupper(text[i]));
    int* target = letter == L'X'   ? &options.X
                  : letter == L'Y' ? &options.Y
                  : letter == L'W' ? &options.W
                  : letter == L'H' ? &options.H
                                   : nullptr;
    if (target) {
      ++i;
      if ((letter == L'X' || letter == L'Y') && At(text, i, L"Center")) {
        *target = kCoordAuto;
        i += 6;
        continue;
      }
      int value = 0;
      if (ReadCoordinate(text, i, value)) {
        *target = (letter == L'W' || letter == L'H') && value != kCoordNotGiven ? ScaleSize(window, value) : value;
        continue;
      }
    }
    static_cast<void>(GuiFail(line, gui_msg::InvalidOption, text.substr(i)));
    return false;
  }
  return true;
}

// The height of the status bar when it is shown, else 0.
int StatusBarHeight(const GuiWindow& window) {
  if (!window.StatusBar || !IsWindowVisible(window.StatusBar)) return 0;
  RECT rect;
  GetWindowRect(window.StatusBar, &rect);
  return rect.bottom - rect.top;
}

// The right and bottom edges of the visible controls, in client coordinates.
void VisibleExtents(const GuiWindow& window, int& width, int& height) {
  width = height = 0;
  for (const GuiControlInfo& control : window.Controls) {
    if (control.Hwnd == window.StatusBar || !(GetWindowLongW(control.Hwnd, GWL_STYLE) & WS_VISIBLE)) continue;
    if (GetParent(control.Hwnd) != window.Hwnd) continue;
    RECT rect;
    GetWindowRect(control.Hwnd, &rect);
    MapWindowPoints(nullptr, window.Hwnd, reinterpret_cast<POINT*>(&rect), 2);
    if (rect.right > width) width = rect.right;
    if (rect.bottom > height) height = rect.bottom;
  }
}

// The client size the window should get.
void ClientSize(GuiWindow& window, const ShowOptions& options, int& width, int& height) {
  const int marginX = window.MarginX == kCoordNotGiven ? 0 : window.MarginX;
  const int marginY = window.MarginY == kCoordNotGiven ? 0 : window.MarginY;
  if (options.AutoSize) {
    VisibleExtents(window, width, height);
    if (width > 0) width += marginX;
    if (height > 0) height += marginY;
    height += StatusBarHeight(window);
    return;
  }
  RECT client;
  GetClientRect(window.Hwnd, &client);
  width = options.W != kCoordNotGiven ? options.W : window.FirstShowPending ? window.MaxRight + marginX : client.right;
  height = options.H != kCoordNotGiven ? options.H
           : window.FirstShowPending   ? window.MaxBottom + marginY + StatusBarHeight(window)
                                       : client.bottom;
}

// The area the window is placed in: its parent's client area or the work area.
RECT PlacementArea(const GuiWindow& window) {
  RECT area = {};
  HWND parent = GetParent(window.Hwnd);
  if ((window.Style & WS_CHILD) && parent) {
    GetClientRect(parent, &area);
  } else {
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  }
  return area;
}

// Brings the window to the front.
void Activate(HWND hwnd) {
  if (GetForegroundWindow() == hwnd) return;
  SetForegroundWindow(hwnd);
}

// Lets the window paint before the script goes on.
void PumpOnce() {
  MSG msg;
  for (int i = 0; i < 64 && PeekMessageW(&msg, nullptr, 0, WM_USER - 1, PM_REMOVE); ++i) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

}  // namespace

ResultCode ShowGuiWindow(ScriptLine& line, GuiWindow& window, std::wstring_view optionText, std::wstring_view title) {
  HWND hwnd = window.Hwnd;
  if (!title.empty()) SetWindowTextW(hwnd, std::wstring(title).c_str());
  ShowOptions options;
  options.ShowCommand = IsIconic(hwnd) ? SW_RESTORE : IsZoomed(hwnd) ? SW_SHOW : SW_SHOWNORMAL;
  if (!ReadShowOptions(line, window, optionText, options)) return ResultCode::Fail;
  window.ShowInProgress = true;
  bool shownAlready = false;
  if (options.ShowCommand == SW_HIDE ||
      ((options.ShowCommand == SW_SHOWNOACTIVATE || options.ShowCommand == SW_RESTORE) &&
       (IsIconic(hwnd) || IsZoomed(hwnd)))) {
    ShowWindow(hwnd, options.ShowCommand);
    shownAlready = true;
  }
  const bool firstShow = window.FirstShowPending;
  if (firstShow) FinishTabControls(window);
  if (!IsIconic(hwnd)) {
    int width = 0, height = 0;
    ClientSize(window, options, width, height);
    if (firstShow) {
      if (options.X == kCoordNotGiven) options.X = kCoordAuto;
      if (options.Y == kCoordNotGiven) options.Y = kCoordAuto;
    }
    RECT outer = {0, 0, width, height};
    const DWORD style = static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE));
    AdjustWindowRectEx(&outer, style, GetMenu(hwnd) != nullptr, static_cast<DWORD>(GetWindowLongW(hwnd, GWL_EXSTYLE)));
    int outerW = outer.right - outer.left, outerH = outer.bottom - outer.top;
    if (style & WS_HSCROLL) outerH += GetSystemMetrics(SM_CYHSCROLL);
    if (style & WS_VSCROLL) outerW += GetSystemMetrics(SM_CXVSCROLL);
    const RECT area = PlacementArea(window);
    const int areaW = area.right - area.left, areaH = area.bottom - area.top;
    if (firstShow && !(style & WS_CHILD)) {
      if (outerW > areaW && options.W == kCoordNotGiven && !options.AutoSize) outerW = areaW;
      if (outerH > areaH && options.H == kCoordNotGiven && !options.AutoSize) outerH = areaH;
    }
    if (options.X == kCoordAuto) options.X = area.left + (areaW - outerW) / 2;
    if (options.Y == kCoordAuto) options.Y = area.top + (areaH - outerH) / 2;
    RECT current;
    GetWindowRect(hwnd, &current);
    if ((style & WS_CHILD) && GetParent(hwnd))
      MapWindowPoints(nullptr, GetParent(hwnd), reinterpret_cast<POINT*>(&current), 2);
    const bool moved = (options.X != kCoordNotGiven && options.X != current.left) ||
                       (options.Y != kCoordNotGiven && options.Y != current.top);
    if (outerW != current.right - current.left || outerH != current.bottom - current.top || moved) {
      if (IsZoomed(hwnd)) ShowWindow(hwnd, SW_RESTORE);
      MoveWindow(hwnd, options.X != kCoordNotGiven ? options.X : current.left,
                 options.Y != kCoordNotGiven ? options.Y : current.top, outerW, outerH, IsWindowVisible(hwnd));
    }
    if (firstShow) {
      RECT client;
      GetClientRect(hwnd, &client);
      const int frameW = outerW - client.right, frameH = outerH - client.bottom;
      auto finish = [](int& value, int outerSize, int frame) {
        if (value == kCoordAuto)
          value = outerSize;
        else if (value != kCoordNotGiven)
          value += frame;
      };
      finish(window.MinW, outerW, frameW);
      finish(window.MinH, outerH, frameH);
      finish(window.MaxW, outerW, frameW);
      finish(window.MaxH, outerH, frameH);
    }
  }
  if (!shownAlready) ShowWindow(hwnd, options.ShowCommand);
  const int command = options.ShowCommand;
  if ((command == SW_SHOWNORMAL || command == SW_MAXIMIZE || command == SW_SHOW || command == SW_RESTORE) &&
      GetAncestor(hwnd, GA_ROOT) == hwnd) {
    Activate(hwnd);
    if (window.FirstActivationPending) {
      window.FirstActivationPending = false;
      if (!GetFocus()) SetFocus(hwnd);
    }
  }
  window.FirstShowPending = false;
  window.ShowInProgress = false;
  PumpOnce();
  return ResultCode::Ok;
}
