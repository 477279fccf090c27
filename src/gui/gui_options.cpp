// Window options, colour names and the font table (see gui_window.h).
//
// Invariants: font entry 0 is the default GUI font once EnsureDefaultFont
// ran; entries are never removed, so a window's CurrentFont index stays
// valid; the table never passes kMaxFonts entries.
#include <windows.h>

#include <cwchar>

#include "exec/exec_state.h"
#include "gui/gui_messages.h"
#include "gui/gui_window.h"
#include "values/thread_settings.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

struct ColorName {
  const wchar_t* Name;
  COLORREF Rgb;  // as RRGGBB
};

const ColorName kColorNames[] = {
    {L"Black", 0x000000},  {L"Silver", 0xC0C0C0}, {L"Gray", 0x808080},   {L"White", 0xFFFFFF},
    {L"Maroon", 0x800000}, {L"Red", 0xFF0000},    {L"Purple", 0x800080}, {L"Fuchsia", 0xFF00FF},
    {L"Green", 0x008000},  {L"Lime", 0x00FF00},   {L"Olive", 0x808000},  {L"Yellow", 0xFFFF00},
    {L"Navy", 0x000080},   {L"Blue", 0x0000FF},   {L"Teal", 0x008080},   {L"Aqua", 0x00FFFF},
};

// RRGGBB to a Windows COLORREF (red and blue swapped).
COLORREF FromRgb(COLORREF rgb) { return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

// Whether a word starts with a prefix, ignoring case.
bool StartsWithNoCase(std::wstring_view word, std::wstring_view prefix) {
  return word.size() >= prefix.size() && EqualsNoCase(word.substr(0, prefix.size()), prefix);
}

// The words of an option list, split at spaces and tabs.
template <typename Fn>
ResultCode ForEachWord(std::wstring_view list, Fn fn) {
  size_t i = 0;
  while (i < list.size()) {
    while (i < list.size() && (list[i] == L' ' || list[i] == L'\t')) ++i;
    size_t end = i;
    while (end < list.size() && list[end] != L' ' && list[end] != L'\t') ++end;
    if (end > i && fn(list.substr(i, end - i)) != ResultCode::Ok) return ResultCode::Fail;
    i = end;
  }
  return ResultCode::Ok;
}

// Whether a font family of that name is installed.
int CALLBACK NoteFamily(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}
bool FontFamilyExists(const std::wstring& face) {
  LOGFONTW query = {};
  query.lfCharSet = DEFAULT_CHARSET;
  wcsncpy_s(query.lfFaceName, face.c_str(), LF_FACESIZE - 1);
  bool found = false;
  HDC screen = GetDC(nullptr);
  EnumFontFamiliesExW(screen, &query, NoteFamily, reinterpret_cast<LPARAM>(&found), 0);
  ReleaseDC(nullptr, screen);
  return found;
}

// Whether two entries describe the same font.
bool SameFont(const FontEntry& a, const FontEntry& b) {
  return EqualsNoCase(a.Face, b.Face) && a.PointSize == b.PointSize && a.Weight == b.Weight && a.Italic == b.Italic &&
         a.Underline == b.Underline && a.StrikeOut == b.StrikeOut && a.Quality == b.Quality;
}

// The number after an option letter, rounded half up.
int RoundedNumber(std::wstring_view text) {
  std::wstring owned(text);
  return static_cast<int>(wcstod(owned.c_str(), nullptr) + 0.5);
}

// Reads the font options into the entry; `color` receives a "C" colour.
void ReadFontOptions(std::wstring_view options, FontEntry& font, GuiWindow& window) {
  for (size_t i = 0; i < options.size();) {
    std::wstring_view rest = options.substr(i);
    auto takeNumber = [&](size_t skip) {
      size_t end = skip;
      while (end < rest.size() && (iswdigit(rest[end]) || rest[end] == L'.' || rest[end] == L'-')) ++end;
      i += end;
      return rest.substr(skip, end - skip);
    };
    if (StartsWithNoCase(rest, L"bold")) {
      font.Weight = FW_BOLD;
      i += 4;
    } else if (StartsWithNoCase(rest, L"italic")) {
      font.Italic = true;
      i += 6;
    } else if (StartsWithNoCase(rest, L"norm")) {
      font.Italic = font.Underline = font.StrikeOut = false;
      font.Weight = FW_NORMAL;
      i += 4;
    } else if (StartsWithNoCase(rest, L"strike")) {
      font.StrikeOut = true;
      i += 6;
    } else if (StartsWithNoCase(rest, L"underline")) {
      font.Underline = true;
      i += 9;
    } else if (rest[0] == L'c' || rest[0] == L'C') {
      size_t end = 1;
      while (end < rest.size() && rest[end] != L' ' && rest[end] != L'\t') ++end;
      COLORREF color = kColorDefault;
      if (ParseColor(rest.substr(1, end - 1), color)) window.TextColor = color;
      i += end;
    } else if (rest[0] == L's' || rest[0] == L'S') {
      std::wstring_view number = takeNumber(1);
      if (!number.empty()) font.PointSize = RoundedNumber(number);
    } else if (rest[0] == L'w' || rest[0] == L'W') {
      std::wstring_view number = takeNumber(1);
      if (!number.empty()) font.Weight = RoundedNumber(number);
    } else if (rest[0] == L'q' || rest[0] == L'Q') {
      std::wstring_view number = takeNumber(1);
      if (!number.empty()) font.Quality = RoundedNumber(number);
    } else {
      ++i;
    }
  }
}

// Screen pixels per logical inch, vertically.
int LogPixelsY() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi;
}

// Creates the entry's font handle; false when the system refuses.
bool CreateFontOf(FontEntry& font) {
  font.Font = CreateFontW(-MulDiv(font.PointSize, LogPixelsY(), 72), 0, 0, 0, font.Weight, font.Italic, font.Underline,
                          font.StrikeOut, DEFAULT_CHARSET, OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS,
                          static_cast<DWORD>(font.Quality), DEFAULT_PITCH | FF_DONTCARE, font.Face.c_str());
  return font.Font != nullptr;
}

// What an owner or parent option names: a handle or a Gui window's name.
HWND WindowNamedBy(std::wstring_view text) {
  if (IsWholeNumber(text)) {
    const long long number = NumberOf(text);
    if (text.size() > 2 || number < 1 || number > 99) {
      HWND hwnd = reinterpret_cast<HWND>(static_cast<INT_PTR>(number));
      return IsWindow(hwnd) ? hwnd : nullptr;
    }
  }
  auto window = FindGuiByName(text);
  return window ? window->Hwnd : nullptr;
}

// Turns style bits on or off.
void SetBits(DWORD& style, DWORD bits, bool on) { style = on ? (style | bits) : (style & ~bits); }

// What the option list asks for after the window exists.
struct AfterOptions {
  std::wstring HwndVar;
  int OwnDialogs = 0;  // 1 set, -1 clear
  bool LastFound = false;
};

// Parses "MinSize"/"MaxSize" sizes: "W", "xH", "WxH".
void ReadSizeOption(GuiWindow& window, std::wstring_view rest, bool on, int& w, int& h) {
  if (!on) {
    w = h = kCoordNotGiven;
    return;
  }
  RECT outer = {}, client = {};
  const bool shown = !window.FirstShowPending && window.Hwnd;
  if (shown) {
    GetWindowRect(window.Hwnd, &outer);
    GetClientRect(window.Hwnd, &client);
  }
  if (rest.empty()) {
    if (shown) {
      w = outer.right - outer.left;
      h = outer.bottom - outer.top;
    } else {
      w = h = kCoordAuto;
    }
    return;
  }
  const size_t x = rest.find_first_of(L"xX");
  std::wstring_view ws = rest.substr(0, x),
                    hs = x == std::wstring_view::npos ? std::wstring_view() : rest.substr(x + 1);
  const int frameW = shown ? (outer.right - outer.left) - client.right : 0;
  const int frameH = shown ? (outer.bottom - outer.top) - client.bottom : 0;
  if (!ws.empty()) w = ScaleSize(window, static_cast<int>(NumberOf(ws))) + frameW;
  if (!hs.empty()) h = ScaleSize(window, static_cast<int>(NumberOf(hs))) + frameH;
}

// Applies one window option word.
ResultCode ApplyWindowOption(ScriptLine& line, GuiWindow& window, std::wstring_view word, AfterOptions& after) {
  bool on = true;
  if (word[0] == L'+' || word[0] == L'-') {
    on = word[0] == L'+';
    word.remove_prefix(1);
  }
  if (word.empty()) return ResultCode::Ok;
  const bool live = window.Hwnd != nullptr;
  struct StyleWord {
    const wchar_t* Name;
    DWORD Bits;
    bool Extended;
  };
  static const StyleWord kStyleWords[] = {
      {L"AlwaysOnTop", WS_EX_TOPMOST, true}, {L"Border", WS_BORDER, false},           {L"Caption", WS_CAPTION, false},
      {L"SysMenu", WS_SYSMENU, false},       {L"ToolWindow", WS_EX_TOOLWINDOW, true},
  };
  for (const StyleWord& row : kStyleWords)
    if (EqualsNoCase(word, row.Name)) {
      SetBits(row.Extended ? window.ExStyle : window.Style, row.Bits, on);
      if (live && row.Bits == WS_EX_TOPMOST)
        SetWindowPos(window.Hwnd, on ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
      return ResultCode::Ok;
    }
  if (EqualsNoCase(word, L"Disabled")) {
    SetBits(window.Style, WS_DISABLED, on);
    if (live) EnableWindow(window.Hwnd, on ? FALSE : TRUE);
  } else if (EqualsNoCase(word, L"DPIScale")) {
    window.DpiScale = on;
  } else if (EqualsNoCase(word, L"Resize")) {
    SetBits(window.Style, WS_SIZEBOX | WS_MAXIMIZEBOX, on);
  } else if (EqualsNoCase(word, L"MaximizeBox")) {
    SetBits(window.Style, on ? (WS_MAXIMIZEBOX | WS_SYSMENU) : WS_MAXIMIZEBOX, on);
  } else if (EqualsNoCase(word, L"MinimizeBox")) {
    SetBits(window.Style, on ? (WS_MINIMIZEBOX | WS_SYSMENU) : WS_MINIMIZEBOX, on);
  } else if (EqualsNoCase(word, L"Theme")) {
    window.UseTheme = on;
  } else if (EqualsNoCase(word, L"OwnDialogs")) {
    after.OwnDialogs = on ? 1 : -1;
  } else if (EqualsNoCase(word, L"LastFound")) {
    after.LastFound = true;
  } else if (StartsWithNoCase(word, L"Delimiter")) {
    std::wstring_view rest = word.substr(9);
    window.Delimiter = rest.empty()                   ? L'|'
                       : EqualsNoCase(rest, L"Tab")   ? L'\t'
                       : EqualsNoCase(rest, L"Space") ? L' '
                                                      : rest[0];
  } else if (StartsWithNoCase(word, L"MinSize")) {
    ReadSizeOption(window, word.substr(7), on, window.MinW, window.MinH);
  } else if (StartsWithNoCase(word, L"MaxSize")) {
    ReadSizeOption(window, word.substr(7), on, window.MaxW, window.MaxH);
  } else if (StartsWithNoCase(word, L"Owner") || StartsWithNoCase(word, L"Parent")) {
    const bool owner = StartsWithNoCase(word, L"Owner");
    std::wstring_view rest = word.substr(owner ? 5 : 6);
    HWND other = nullptr;
    if (on) {
      other =
          rest.empty() && owner ? (Exec().Hooks.MainWindow ? Exec().Hooks.MainWindow() : nullptr) : WindowNamedBy(rest);
      if (!other || (live && other == window.Hwnd)) return GuiFail(line, gui_msg::InvalidOwner, word);
    }
    window.OwnerHwnd = other;
    if (owner) {
      if (window.Style & WS_CHILD) {
        window.Style = (window.Style & ~static_cast<DWORD>(WS_CHILD)) | WS_POPUP;
        if (live) SetParent(window.Hwnd, nullptr);
      }
      if (live) SetWindowLongPtrW(window.Hwnd, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(other));
    } else {
      window.Style = (window.Style & ~static_cast<DWORD>(WS_CHILD | WS_POPUP)) | (other ? WS_CHILD : WS_POPUP);
      if (live) SetParent(window.Hwnd, other);
    }
  } else if (StartsWithNoCase(word, L"Label")) {
    if (on) {
      window.LabelPrefix = word.substr(5);
      ResolveWindowHandlers(window);
    }
  } else if (StartsWithNoCase(word, L"Hwnd")) {
    after.HwndVar = word.substr(4);
  } else if ((word[0] == L'E' || word[0] == L'e') && IsWholeNumber(word.substr(1))) {
    SetBits(window.ExStyle, static_cast<DWORD>(NumberOf(word.substr(1))), on);
  } else if (IsWholeNumber(word)) {
    SetBits(window.Style, static_cast<DWORD>(NumberOf(word)), on);
  } else {
    return GuiFail(line, gui_msg::InvalidOption, word);
  }
  return ResultCode::Ok;
}

}  // namespace

bool ParseColor(std::wstring_view text, COLORREF& color) {
  if (EqualsNoCase(text, L"Default")) {
    color = kColorDefault;
    return true;
  }
  for (const ColorName& row : kColorNames)
    if (EqualsNoCase(text, row.Name)) {
      color = FromRgb(row.Rgb);
      return true;
    }
  if (text.empty() || text.size() > 8) return false;
  std::wstring_view digits = text;
  if (digits.size() > 2 && digits[0] == L'0' && (digits[1] == L'x' || digits[1] == L'X')) digits.remove_prefix(2);
  for (wchar_t c : digits)
    if (!iswxdigit(c)) return false;
  std::wstring owned(digits);
  color = FromRgb(static_cast<COLORREF>(wcstoul(owned.c_str(), nullptr, 16)));
  return true;
}

void EnsureDefaultFont() {
  auto& fonts = Gui().Fonts;
  if (!fonts.empty()) return;
  FontEntry entry;
  entry.Font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  HDC screen = GetDC(nullptr);
  HGDIOBJ old = SelectObject(screen, entry.Font);
  wchar_t face[LF_FACESIZE] = L"";
  GetTextFaceW(screen, LF_FACESIZE, face);
  TEXTMETRICW metrics = {};
  GetTextMetricsW(screen, &metrics);
  SelectObject(screen, old);
  entry.Face = face;
  entry.PointSize = MulDiv(metrics.tmHeight - metrics.tmInternalLeading, 72, GetDeviceCaps(screen, LOGPIXELSY));
  entry.Weight = metrics.tmWeight;
  entry.Italic = metrics.tmItalic != 0;
  entry.Underline = metrics.tmUnderlined != 0;
  entry.StrikeOut = metrics.tmStruckOut != 0;
  ReleaseDC(nullptr, screen);
  fonts.push_back(entry);
}

ResultCode ApplyFontCommand(ScriptLine& line, GuiWindow& window, std::wstring_view options, std::wstring_view face) {
  EnsureDefaultFont();
  auto& fonts = Gui().Fonts;
  if (options.empty() && face.empty()) {
    window.CurrentFont = 0;
    window.TextColor = kColorDefault;
    return ResultCode::Ok;
  }
  FontEntry wanted = fonts[window.CurrentFont];
  wanted.Font = nullptr;
  wanted.Quality = PROOF_QUALITY;
  const std::wstring startFace = wanted.Face;
  if (!face.empty()) wanted.Face = face.substr(0, LF_FACESIZE - 1);
  ReadFontOptions(options, wanted, window);
  // A family that is not installed leaves the face as it was.
  if (!face.empty() && !FontFamilyExists(wanted.Face)) wanted.Face = startFace;
  for (size_t i = 0; i < fonts.size(); ++i)
    if (SameFont(fonts[i], wanted)) {
      window.CurrentFont = i;
      return ResultCode::Ok;
    }
  if (fonts.size() >= kMaxFonts) return GuiFail(line, gui_msg::TooManyFonts);
  if (!CreateFontOf(wanted)) return GuiFail(line, gui_msg::CantCreateFont);
  fonts.push_back(wanted);
  window.CurrentFont = fonts.size() - 1;
  return ResultCode::Ok;
}

ResultCode ApplyWindowOptions(ScriptLine& line, GuiWindow& window, std::wstring_view options) {
  if (window.Hwnd) {
    window.Style = static_cast<DWORD>(GetWindowLongW(window.Hwnd, GWL_STYLE));
    window.ExStyle = static_cast<DWORD>(GetWindowLongW(window.Hwnd, GWL_EXSTYLE));
  }
  const DWORD oldStyle = window.Style, oldExStyle = window.ExStyle;
  AfterOptions after;
  if (ForEachWord(options, [&](std::wstring_view word) { return ApplyWindowOption(line, window, word, after); }) !=
      ResultCode::Ok)
    return ResultCode::Fail;
  if (window.Hwnd) {
    bool changed = false;
    if (window.Style != oldStyle) {
      SetWindowLongW(window.Hwnd, GWL_STYLE, static_cast<LONG>(window.Style));
      changed = true;
    }
    if (window.ExStyle != oldExStyle) {
      SetWindowLongW(window.Hwnd, GWL_EXSTYLE, static_cast<LONG>(window.ExStyle));
      changed = true;
    }
    if (changed && IsWindowVisible(window.Hwnd) && !IsIconic(window.Hwnd)) {
      SetWindowPos(window.Hwnd, nullptr, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
      InvalidateRect(window.Hwnd, nullptr, TRUE);
    }
  } else if (CreateGuiWindow(line, window) != ResultCode::Ok) {
    return ResultCode::Fail;
  }
  if (!after.HwndVar.empty() && AssignHandleVariable(line, after.HwndVar, window.Hwnd) != ResultCode::Ok)
    return ResultCode::Fail;
  if (after.LastFound) Values().CurrentThread->LastFoundWindow = window.Hwnd;
  if (after.OwnDialogs) Values().CurrentThread->GuiDialogOwner = after.OwnDialogs > 0 ? window.Serial : 0;
  return ResultCode::Ok;
}
