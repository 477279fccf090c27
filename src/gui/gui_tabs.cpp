// Tab controls (see gui_tabs.h).
//
// Invariants: a control's TabControl is the 0-based number of its Tab
// control among the window's Tab controls, which is that Tab's own TabPage
// field; a Tab3 keeps its page dialog in the property "qrv_dlg" and, until
// it has been sized to its controls, the sides still to size in
// "qrv_autosize" (bit 1 width, bit 2 height). The page dialog always covers
// the Tab's display area and is shown exactly when the Tab is.
#include "gui/gui_tabs.h"

#include <windows.h>
#include <commctrl.h>

#include "gui/gui_messages.h"
#include "gui/gui_window.h"
#include "values/variable.h"

namespace {

constexpr wchar_t kPageDialogProp[] = L"qrv_dlg";
constexpr wchar_t kAutoSizeProp[] = L"qrv_autosize";
constexpr UINT_PTR kAutoWidth = 1, kAutoHeight = 2;
// A Tab3 ends this far beyond its controls, besides the margin.
constexpr int kTab3Padding = 4;
// Unselected tabs of an owner-drawn Tab control are drawn this much lower.
constexpr int kUnselectedTabDrop = 3;
constexpr UINT_PTR kTabSubclassId = 1;
constexpr size_t kMaxTabText = 1024;
constexpr int kMaxPageNumber = 256;

// The script window a Tab control or its page dialog belongs to.
std::shared_ptr<GuiWindow> WindowOfChild(HWND child) {
  for (HWND parent = GetParent(child); parent; parent = GetParent(parent))
    if (auto window = FindGuiByHwnd(parent)) return window;
  return nullptr;
}

HWND PageDialogOf(HWND tab) { return static_cast<HWND>(GetPropW(tab, kPageDialogProp)); }

// Whether a Tab3's page dialog keeps the visual theme's tab texture.
bool ThemedPage(HWND dialog) { return GetPropW(dialog, L"qrv_themed") != nullptr; }

// Puts the page dialog over the Tab's display area, shown when the Tab is.
void FitPageDialog(HWND tab) {
  HWND dialog = PageDialogOf(tab);
  if (!dialog) return;
  HWND parent = GetParent(tab);
  RECT area;
  GetWindowRect(tab, &area);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&area), 2);
  SendMessageW(tab, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
  const bool shown = (GetWindowLongW(tab, GWL_STYLE) & WS_VISIBLE) != 0;
  SetWindowPos(dialog, tab, area.left, area.top, area.right - area.left, area.bottom - area.top,
               SWP_NOACTIVATE | (shown ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
}

// Fills a window's client area with the script window's colour; false when
// the script window has none.
bool PaintWindowColour(HWND hwnd, HDC dc) {
  auto window = WindowOfChild(hwnd);
  if (!window || !window->BackBrush) return false;
  RECT rect;
  GetClientRect(hwnd, &rect);
  FillRect(dc, &rect, window->BackBrush);
  return true;
}

// The Tab control's subclass: the window colour behind the pages, and the
// page dialog following the Tab's place, size and visibility.
LRESULT CALLBACK TabSubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
  switch (message) {
    case WM_ERASEBKGND:
      if (PaintWindowColour(hwnd, reinterpret_cast<HDC>(wParam))) return 1;
      break;
    case WM_WINDOWPOSCHANGED: {
      const LRESULT result = DefSubclassProc(hwnd, message, wParam, lParam);
      FitPageDialog(hwnd);
      return result;
    }
    case WM_NCDESTROY: {
      RemovePropW(hwnd, kPageDialogProp);
      RemovePropW(hwnd, kAutoSizeProp);
      RemoveWindowSubclass(hwnd, TabSubclassProc, kTabSubclassId);
      break;
    }
    default: break;
  }
  return DefSubclassProc(hwnd, message, wParam, lParam);
}

// The page dialog's procedure: its controls' notifications and colour
// requests go on to the script window, which owns the controls.
INT_PTR CALLBACK PageDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: return FALSE;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      // A dialog procedure answers these with the brush itself.
      return static_cast<INT_PTR>(SendMessageW(GetParent(dialog), message, wParam, lParam));
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_DRAWITEM:
      SetWindowLongPtrW(dialog, DWLP_MSGRESULT, SendMessageW(GetParent(dialog), message, wParam, lParam));
      return TRUE;
    case WM_ERASEBKGND:
      if (ThemedPage(dialog) || !PaintWindowColour(dialog, reinterpret_cast<HDC>(wParam))) return FALSE;
      SetWindowLongPtrW(dialog, DWLP_MSGRESULT, 1);
      return TRUE;
    case WM_DESTROY: RemovePropW(dialog, L"qrv_themed"); return FALSE;
    default: return FALSE;
  }
}

// An empty child dialog template: no controls, no menu, the default class.
struct alignas(4) PageTemplate {
  DLGTEMPLATE Header;
  WORD Menu, Class, Title;
};

// Gives the page dialog the tab texture of the visual theme, when there is one.
void EnableTabTexture(HWND dialog) {
  using EnableTextureFn = HRESULT(WINAPI*)(HWND, DWORD);
  constexpr DWORD kEnableTab = 0x6;  // ETDT_ENABLE | ETDT_USETABTEXTURE
  static HMODULE module = LoadLibraryW(L"uxtheme.dll");
  if (!module) return;
  auto enable =
      reinterpret_cast<EnableTextureFn>(reinterpret_cast<void*>(GetProcAddress(module, "EnableThemeDialogTexture")));
  if (enable && SUCCEEDED(enable(dialog, kEnableTab))) SetPropW(dialog, L"qrv_themed", dialog);
}

// Makes a Tab3's page dialog; the script window becomes a control parent so
// that Tab and the arrow keys reach into it.
void CreatePageDialog(GuiWindow& window, HWND tab) {
  PageTemplate page = {};
  page.Header.style = DS_CONTROL | WS_CHILD | WS_VISIBLE;
  HWND dialog = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), &page.Header, window.Hwnd, PageDialogProc, 0);
  if (!dialog) return;
  SetPropW(tab, kPageDialogProp, dialog);
  if (window.UseTheme) EnableTabTexture(dialog);
  window.ExStyle |= WS_EX_CONTROLPARENT;
  SetWindowLongW(window.Hwnd, GWL_EXSTYLE, GetWindowLongW(window.Hwnd, GWL_EXSTYLE) | WS_EX_CONTROLPARENT);
  FitPageDialog(tab);
}

// The right and bottom edges of a Tab's controls (window client
// coordinates); false when it has none.
bool ControlsExtent(const GuiWindow& window, uint8_t tab, LONG& right, LONG& bottom) {
  bool any = false;
  right = bottom = 0;
  for (const GuiControlInfo& control : window.Controls) {
    if (control.Type == ControlType::Tab || control.TabControl != tab) continue;
    RECT rect;
    GetWindowRect(control.Hwnd, &rect);
    MapWindowPoints(nullptr, window.Hwnd, reinterpret_cast<POINT*>(&rect), 2);
    if (rect.right > right) right = rect.right;
    if (rect.bottom > bottom) bottom = rect.bottom;
    any = true;
  }
  return any;
}

// Resizes the Tab so that it ends a margin (and a little) beyond its controls.
void FitTabToControls(const GuiWindow& window, HWND tabHwnd, UINT_PTR sides, LONG right, LONG bottom) {
  RECT rect;
  GetWindowRect(tabHwnd, &rect);
  MapWindowPoints(nullptr, window.Hwnd, reinterpret_cast<POINT*>(&rect), 2);
  const int width = (sides & kAutoWidth) ? right + window.MarginX + kTab3Padding - rect.left : rect.right - rect.left;
  const int height = (sides & kAutoHeight) ? bottom + window.MarginY + kTab3Padding - rect.top : rect.bottom - rect.top;
  SetWindowPos(tabHwnd, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

int TabControlAt(const GuiWindow& window, size_t tabNumber) {
  for (size_t i = 0; i < window.Controls.size(); ++i)
    if (window.Controls[i].Type == ControlType::Tab && window.Controls[i].TabPage == tabNumber)
      return static_cast<int>(i);
  return -1;
}

bool PageHasControls(const GuiWindow& window, uint8_t tab, uint8_t page) {
  for (const GuiControlInfo& control : window.Controls)
    if (control.Type != ControlType::Tab && control.TabControl == tab && control.TabPage == page) return true;
  return false;
}

RECT TabDisplayArea(const GuiWindow& window, uint8_t tab) {
  RECT rect = {};
  const int index = TabControlAt(window, tab);
  if (index < 0) return rect;
  HWND hwnd = window.Controls[static_cast<size_t>(index)].Hwnd;
  GetWindowRect(hwnd, &rect);
  MapWindowPoints(nullptr, window.Hwnd, reinterpret_cast<POINT*>(&rect), 2);
  SendMessageW(hwnd, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&rect));
  return rect;
}

std::wstring TabItemText(HWND tab, int item) {
  wchar_t text[kMaxTabText] = L"";
  TCITEMW info = {};
  info.mask = TCIF_TEXT;
  info.pszText = text;
  info.cchTextMax = static_cast<int>(kMaxTabText);
  SendMessageW(tab, TCM_GETITEMW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&info));
  return text;
}

bool IsTab3(HWND tab) { return PageDialogOf(tab) != nullptr; }

HWND TabPageParent(const GuiWindow& window, uint8_t tab) {
  const int index = tab == kNoTab ? -1 : TabControlAt(window, tab);
  HWND dialog = index < 0 ? nullptr : PageDialogOf(window.Controls[static_cast<size_t>(index)].Hwnd);
  return dialog ? dialog : window.Hwnd;
}

void SetUpTabControl(GuiWindow& window, GuiControlInfo& tab, bool tab3, bool autoWidth, bool autoHeight) {
  SetWindowSubclass(tab.Hwnd, TabSubclassProc, kTabSubclassId, 0);
  if (!tab3) return;
  CreatePageDialog(window, tab.Hwnd);
  const UINT_PTR sides = (autoWidth ? kAutoWidth : 0) | (autoHeight ? kAutoHeight : 0);
  if (sides) SetPropW(tab.Hwnd, kAutoSizeProp, reinterpret_cast<HANDLE>(sides));
}

void AutoSizeTabControl(GuiWindow& window, uint8_t tab) {
  const int index = tab == kNoTab ? -1 : TabControlAt(window, tab);
  if (index < 0) return;
  HWND tabHwnd = window.Controls[static_cast<size_t>(index)].Hwnd;
  const UINT_PTR sides = reinterpret_cast<UINT_PTR>(RemovePropW(tabHwnd, kAutoSizeProp));
  if (!sides) return;
  LONG right = 0, bottom = 0;
  if (ControlsExtent(window, tab, right, bottom)) {
    const LRESULT rows = SendMessageW(tabHwnd, TCM_GETROWCOUNT, 0, 0);
    FitTabToControls(window, tabHwnd, sides, right, bottom);
    // A new width can change how many rows the tabs take, and with them
    // where the display area begins: fit once more.
    if (SendMessageW(tabHwnd, TCM_GETROWCOUNT, 0, 0) != rows) FitTabToControls(window, tabHwnd, sides, right, bottom);
  }
  RECT rect;
  GetWindowRect(tabHwnd, &rect);
  MapWindowPoints(nullptr, window.Hwnd, reinterpret_cast<POINT*>(&rect), 2);
  window.PrevX = rect.left;
  window.PrevY = rect.top;
  window.PrevW = rect.right - rect.left;
  window.PrevH = rect.bottom - rect.top;
  if (rect.right > window.MaxRight) window.MaxRight = rect.right;
  if (rect.bottom > window.MaxBottom) window.MaxBottom = rect.bottom;
}

void ApplyTabPage(GuiWindow& window, size_t tabControlIndex) {
  const GuiControlInfo& tab = window.Controls[tabControlIndex];
  const int selected = static_cast<int>(SendMessageW(tab.Hwnd, TCM_GETCURSEL, 0, 0));
  const bool tabHidden = !IsWindowVisible(tab.Hwnd) && IsWindowVisible(window.Hwnd);
  SendMessageW(window.Hwnd, WM_SETREDRAW, FALSE, 0);
  for (GuiControlInfo& control : window.Controls) {
    if (control.Type == ControlType::Tab || control.TabControl != tab.TabPage) continue;
    const bool onPage = control.TabPage == selected;
    ShowWindow(control.Hwnd, onPage && !(control.Attrib & ATTRIB_HIDDEN) && !tabHidden ? SW_SHOWNOACTIVATE : SW_HIDE);
    EnableWindow(control.Hwnd, onPage && !(control.Attrib & ATTRIB_DISABLED) ? TRUE : FALSE);
  }
  SendMessageW(window.Hwnd, WM_SETREDRAW, TRUE, 0);
  RedrawWindow(window.Hwnd, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void FinishTabControls(GuiWindow& window) {
  for (size_t i = 0; i < window.Controls.size(); ++i) {
    if (window.Controls[i].Type != ControlType::Tab) continue;
    AutoSizeTabControl(window, window.Controls[i].TabPage);
    ApplyTabPage(window, i);
  }
}

ResultCode SelectTabForAdding(ScriptLine& line, GuiWindow& window, std::wstring_view page, std::wstring_view tabNumber,
                              std::wstring_view exact) {
  uint8_t tab = kNoTab;
  if (!tabNumber.empty()) {
    const long long n = IsWholeNumber(tabNumber) ? NumberOf(tabNumber) : 0;
    if (n < 1 || n > static_cast<long long>(kMaxTabControls)) return GuiFail(line, gui_msg::Param3Invalid, tabNumber);
    tab = static_cast<uint8_t>(n - 1);
  }
  if (tab != window.CurrentTab && (tab != kNoTab || page.empty())) {
    AutoSizeTabControl(window, window.CurrentTab);
    window.CurrentTab = tab;
    window.RadioGroupOpen = false;
  }
  if (page.empty()) return ResultCode::Ok;
  if (tab == kNoTab && window.CurrentTab == kNoTab)
    window.CurrentTab = window.TabControlCount ? static_cast<uint8_t>(window.TabControlCount - 1) : 0;
  const bool exactMatch = EqualsNoCase(exact, L"Exact");
  if (!exactMatch && IsWholeNumber(page)) {
    const long long n = NumberOf(page);
    if (n < 1 || n > kMaxPageNumber) return GuiFail(line, gui_msg::Param2Invalid, page);
    window.CurrentTabPage = static_cast<uint8_t>(n - 1);
    window.RadioGroupOpen = false;
    return ResultCode::Ok;
  }
  const int index = TabControlAt(window, window.CurrentTab);
  if (index < 0 || page.size() >= kMaxTabText) return GuiFail(line, gui_msg::TabNameMissing, page);
  HWND hwnd = window.Controls[static_cast<size_t>(index)].Hwnd;
  const int count = static_cast<int>(SendMessageW(hwnd, TCM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    const std::wstring name = TabItemText(hwnd, i);
    const bool match =
        exactMatch ? name == page
                   : name.size() >= page.size() && EqualsNoCase(std::wstring_view(name).substr(0, page.size()), page);
    if (match) {
      window.CurrentTabPage = static_cast<uint8_t>(i);
      window.RadioGroupOpen = false;
      return ResultCode::Ok;
    }
  }
  return GuiFail(line, gui_msg::TabNameMissing, page);
}

void DrawTabItem(const GuiWindow& window, const GuiControlInfo& tab, const DRAWITEMSTRUCT& item) {
  HDC dc = item.hDC;
  RECT rect = item.rcItem;
  FillRect(dc, &rect, window.BackBrush ? window.BackBrush : GetSysColorBrush(COLOR_BTNFACE));
  const std::wstring text = TabItemText(tab.Hwnd, static_cast<int>(item.itemID));
  if (!(item.itemState & ODS_SELECTED)) OffsetRect(&rect, 0, kUnselectedTabDrop);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, tab.Color != kColorDefault ? tab.Color : GetSysColor(COLOR_BTNTEXT));
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
}
