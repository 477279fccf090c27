// "Gui, Add" (see gui_controls.h): the control-type table, the option
// language, automatic placement and sizing, creation and the set-up each
// type needs afterwards.
//
// Invariants: a control enters window.Controls only once its window exists;
// the layout state (previous control, extents, section) only grows; one
// variable serves at most one control.
#include "gui/gui_controls.h"

#include <windows.h>
#include <commctrl.h>

#include <cmath>
#include <cwchar>
#include <vector>

#include "gui/gui_activex.h"
#include "gui/gui_hotkey_text.h"
#include "gui/gui_messages.h"
#include "gui/gui_tabs.h"
#include "gui/gui_window.h"
#include "gui/pictures.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

// Default width is this many times the font's point size (scaled).
constexpr int kNarrowWidthFactor = 15;
// Extra height of list-like controls, and between two Text controls.
constexpr int kListPadding = 8;
constexpr int kMaxTabStops = 50;
constexpr size_t kMaxTabs = 256;

struct ControlTypeRow {
  const wchar_t* Word;
  ControlType Type;
  const wchar_t* ClassName;
  DWORD Style;
  DWORD ExStyle;
  double Rows;      // default rows when neither H nor R is given; 0 = none
  int WidthFactor;  // default width in multiples of 15F (scaled); 0 = measured
};

const ControlTypeRow kControlTypes[] = {
    {L"Text", ControlType::Text, L"static", 0, 0, 0, 0},
    {L"Pic", ControlType::Picture, L"static", 0, 0, 0, 0},
    {L"Picture", ControlType::Picture, L"static", 0, 0, 0, 0},
    {L"GroupBox", ControlType::GroupBox, L"button", BS_GROUPBOX, 0, 2, 1},
    {L"Button", ControlType::Button, L"button", BS_PUSHBUTTON | WS_TABSTOP, 0, 0, 0},
    {L"Checkbox", ControlType::Checkbox, L"button", BS_AUTOCHECKBOX | WS_TABSTOP, 0, 0, 0},
    {L"Radio", ControlType::Radio, L"button", BS_AUTORADIOBUTTON | BS_NOTIFY, 0, 0, 0},
    {L"DDL", ControlType::DropDownList, L"Combobox", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0, 3, 1},
    {L"DropDownList", ControlType::DropDownList, L"Combobox", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0, 3, 1},
    {L"ComboBox", ControlType::ComboBox, L"Combobox", CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP, 0, 3,
     1},
    {L"ListBox", ControlType::ListBox, L"Listbox", LBS_NOTIFY | LBS_USETABSTOPS | WS_VSCROLL | WS_TABSTOP,
     WS_EX_CLIENTEDGE, 3, 1},
    {L"ListView", ControlType::ListView, WC_LISTVIEWW, LVS_REPORT | LVS_SHOWSELALWAYS | WS_TABSTOP, WS_EX_CLIENTEDGE, 5,
     2},
    {L"TreeView", ControlType::TreeView, WC_TREEVIEWW,
     TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS | WS_TABSTOP, WS_EX_CLIENTEDGE, 5, 2},
    {L"Edit", ControlType::Edit, L"edit", WS_TABSTOP, WS_EX_CLIENTEDGE, 1, 1},
    {L"DateTime", ControlType::DateTime, DATETIMEPICK_CLASSW, DTS_SHORTDATECENTURYFORMAT | WS_TABSTOP, 0, 1, 2},
    {L"MonthCal", ControlType::MonthCal, MONTHCAL_CLASSW, WS_TABSTOP, 0, 0, 0},
    {L"Hotkey", ControlType::Hotkey, HOTKEY_CLASSW, WS_TABSTOP, 0, 1, 1},
    {L"UpDown", ControlType::UpDown, UPDOWN_CLASSW, UDS_ARROWKEYS | UDS_ALIGNRIGHT | UDS_SETBUDDYINT | UDS_AUTOBUDDY, 0,
     5, 0},
    {L"Slider", ControlType::Slider, TRACKBAR_CLASSW, WS_TABSTOP, 0, 0, 1},
    {L"Progress", ControlType::Progress, PROGRESS_CLASSW, PBS_SMOOTH, 0, 0, 1},
    {L"Tab", ControlType::Tab, WC_TABCONTROLW, TCS_MULTILINE | WS_TABSTOP | WS_CLIPSIBLINGS, 0, 10, 2},
    {L"Tab2", ControlType::Tab, WC_TABCONTROLW, TCS_MULTILINE | WS_TABSTOP | WS_CLIPSIBLINGS, 0, 10, 2},
    {L"Tab3", ControlType::Tab, WC_TABCONTROLW, TCS_MULTILINE | WS_TABSTOP | WS_CLIPSIBLINGS, 0, 10, 2},
    {L"ActiveX", ControlType::ActiveX, L"AtlAxWin", WS_CLIPSIBLINGS, 0, 0, 0},
    {L"Link", ControlType::Link, WC_LINK, WS_TABSTOP, 0, 0, 0},
    {L"Custom", ControlType::Custom, L"", WS_TABSTOP, 0, 5, 2},
    {L"StatusBar", ControlType::StatusBar, STATUSCLASSNAMEW, SBARS_TOOLTIPS, 0, 0, 0},
};

// How a position option is anchored.
enum class Anchor { None, Absolute, Margin, Previous, Section, AfterPrevious, AfterPreviousMargin };

struct Position {
  Anchor How = Anchor::None;
  int Offset = 0;
};

// Everything the option list says.
struct ControlOptions {
  DWORD StyleAdd = 0, StyleRemove = 0, ExAdd = 0, ExRemove = 0;
  Position X, Y;
  int W = kCoordNotGiven, H = kCoordNotGiven;
  int WidthFromPrevious = kCoordNotGiven, HeightFromPrevious = kCoordNotGiven;
  double Rows = 0;
  std::wstring VarName;
  std::wstring Handler;
  bool HandlerGiven = false;
  COLORREF Color = kColorDefault;
  bool ColorGiven = false;
  bool Section = false;
  uint8_t AttribAdd = 0, AttribRemove = 0;
  std::wstring HwndVar;
  int Checked = 0;  // 1 checked, -1 indeterminate
  int Choose = 0;
  std::wstring ChooseText;  // DateTime: "None" or a time stamp
  std::vector<int> TabStops;
  wchar_t PasswordChar = 0;
  int Limit = -1;  // -1: no limit given; 0: "Limit" alone
  int IconNumber = 0;
  std::wstring ClassName;
  bool RangeGiven = false;
  std::wstring RangeText;  // DateTime, MonthCal: time stamps
  int RangeMin = 0, RangeMax = 100;
  bool WrapRemoved = false, TabstopRemoved = false, MultiRemoved = false;
  bool Vertical = false, Horizontal = false;
  int Thick = 0;
  bool NoTicks = false;
  COLORREF Background = kColorDefault;
  int HScrollWidth = 0;
};

// Whether a word starts with the prefix, ignoring case.
bool Prefixed(std::wstring_view word, std::wstring_view prefix) {
  return word.size() >= prefix.size() && EqualsNoCase(word.substr(0, prefix.size()), prefix);
}

// A number written after an option word (decimal or 0x hex), 0 when absent.
int IntAfter(std::wstring_view word, size_t skip) {
  return skip < word.size() ? static_cast<int>(NumberOf(word.substr(skip))) : 0;
}

// Reads "a-b" range text.
void ReadRange(std::wstring_view text, ControlOptions& o) {
  const size_t dash = text.find(L'-', 1);
  o.RangeGiven = true;
  o.RangeText = text;
  o.RangeMin = static_cast<int>(NumberOf(text.substr(0, dash)));
  if (dash != std::wstring_view::npos) o.RangeMax = static_cast<int>(NumberOf(text.substr(dash + 1)));
}

// Reads a position option ("X", "XM", "XP", "XS", "X+", with their numbers).
bool ReadPosition(std::wstring_view rest, Position& position) {
  if (rest.empty()) return false;
  const wchar_t c = static_cast<wchar_t>(towupper(rest[0]));
  auto numberOrZero = [](std::wstring_view text) { return text.empty() ? 0 : static_cast<int>(NumberOf(text)); };
  auto numeric = [](std::wstring_view text) { return text.empty() || IsWholeNumber(text); };
  if (c == L'M' || c == L'P' || c == L'S') {
    if (!numeric(rest.substr(1))) return false;
    position.How = c == L'M' ? Anchor::Margin : c == L'P' ? Anchor::Previous : Anchor::Section;
    position.Offset = numberOrZero(rest.substr(1));
    return true;
  }
  if (c == L'+' && rest.size() > 1 && (rest[1] == L'M' || rest[1] == L'm')) {
    position.How = Anchor::AfterPreviousMargin;
    return rest.size() == 2;
  }
  if (c == L'+') {
    if (!numeric(rest.substr(1))) return false;
    position.How = Anchor::AfterPrevious;
    position.Offset = numberOrZero(rest.substr(1));
    return true;
  }
  if (!IsWholeNumber(rest)) return false;
  position.How = Anchor::Absolute;
  position.Offset = static_cast<int>(NumberOf(rest));
  return true;
}

// Style words of the general and type-specific options: word, types (empty
// = any), bits, extended.
struct StyleOption {
  const wchar_t* Word;
  ControlType Type;
  bool AnyType;
  DWORD Bits;
};
const StyleOption kStyleOptions[] = {
    {L"Border", ControlType::Text, true, WS_BORDER},
    {L"VScroll", ControlType::Text, true, WS_VSCROLL},
    {L"Tabstop", ControlType::Text, true, WS_TABSTOP},
    {L"Group", ControlType::Text, true, WS_GROUP},
    {L"ReadOnly", ControlType::Edit, false, ES_READONLY},
    {L"WantReturn", ControlType::Edit, false, ES_WANTRETURN},
    {L"Number", ControlType::Edit, false, ES_NUMBER},
    {L"Lowercase", ControlType::Edit, false, ES_LOWERCASE},
    {L"Uppercase", ControlType::Edit, false, ES_UPPERCASE},
    {L"Center", ControlType::Edit, false, ES_CENTER},
    {L"Right", ControlType::Edit, false, ES_RIGHT},
    {L"Left", ControlType::Edit, false, ES_LEFT},
    {L"Center", ControlType::Text, false, SS_CENTER},
    {L"Right", ControlType::Text, false, SS_RIGHT},
    {L"Left", ControlType::Text, false, SS_LEFT},
    {L"Default", ControlType::Button, false, BS_DEFPUSHBUTTON},
    {L"Check3", ControlType::Checkbox, false, BS_AUTO3STATE},
    {L"Sort", ControlType::DropDownList, false, CBS_SORT},
    {L"Sort", ControlType::ComboBox, false, CBS_SORT},
    {L"Simple", ControlType::ComboBox, false, CBS_SIMPLE},
    {L"Sort", ControlType::ListBox, false, LBS_SORT},
    {L"Multi", ControlType::ListBox, false, LBS_EXTENDEDSEL},
    {L"ReadOnly", ControlType::ListBox, false, LBS_NOSEL},
    {L"Grid", ControlType::ListView, false, 0},
    {L"Buttons", ControlType::Tab, false, TCS_BUTTONS},
    {L"Bottom", ControlType::Tab, false, TCS_BOTTOM},
    {L"Multi", ControlType::MonthCal, false, MCS_MULTISELECT},
    {L"Horz", ControlType::UpDown, false, UDS_HORZ},
    {L"NoTicks", ControlType::Slider, false, TBS_NOTICKS},
    {L"Center", ControlType::Slider, false, TBS_BOTH},
    {L"Left", ControlType::Slider, false, TBS_LEFT},
    {L"Vertical", ControlType::Slider, false, TBS_VERT},
    {L"Vertical", ControlType::Progress, false, PBS_VERTICAL},
    {L"Smooth", ControlType::Progress, false, PBS_SMOOTH},
};

// Applies one option word; false (after the error) when it is invalid.
ResultCode ReadOption(ScriptLine& line, ControlType type, std::wstring_view word, ControlOptions& o) {
  bool on = true;
  if (word[0] == L'+' || word[0] == L'-') {
    on = word[0] == L'+';
    word.remove_prefix(1);
  }
  if (word.empty()) return ResultCode::Ok;
  auto style = [&](DWORD bits) { (on ? o.StyleAdd : o.StyleRemove) |= bits; };
  auto attrib = [&](uint8_t bits) { (on ? o.AttribAdd : o.AttribRemove) |= bits; };
  for (const StyleOption& row : kStyleOptions)
    if (EqualsNoCase(word, row.Word) && (row.AnyType || row.Type == type)) {
      if (row.Bits == WS_TABSTOP && !on) o.TabstopRemoved = true;
      style(row.Bits);
      if (row.Bits == TBS_VERT || row.Bits == PBS_VERTICAL) o.Vertical = on;
      if (row.Bits == UDS_HORZ) o.Horizontal = on;
      if (row.Bits == TBS_NOTICKS) o.NoTicks = on;
      return ResultCode::Ok;
    }
  const wchar_t first = static_cast<wchar_t>(towupper(word[0]));
  if (EqualsNoCase(word, L"Section")) {
    o.Section = true;
  } else if (EqualsNoCase(word, L"AltSubmit")) {
    if (type != ControlType::Edit) attrib(ATTRIB_ALTSUBMIT);
  } else if (EqualsNoCase(word, L"NoTab")) {
    o.StyleRemove |= WS_TABSTOP;
    o.TabstopRemoved = true;
  } else if (Prefixed(word, L"HScroll")) {
    style(WS_HSCROLL);
    o.HScrollWidth = IntAfter(word, 7);
  } else if (Prefixed(word, L"Disabled")) {
    const bool set = on && (word.size() == 8 || IntAfter(word, 8) != 0);
    (set ? o.StyleAdd : o.StyleRemove) |= WS_DISABLED;
    (set ? o.AttribAdd : o.AttribRemove) |= ATTRIB_DISABLED;
  } else if (Prefixed(word, L"Hidden")) {
    const bool set = on && (word.size() == 6 || IntAfter(word, 6) != 0);
    (set ? o.AttribAdd : o.AttribRemove) |= ATTRIB_HIDDEN;
  } else if (EqualsNoCase(word, L"Wrap")) {
    if (!on) o.WrapRemoved = true;
    if (type == ControlType::Text) {
      if (!on) o.StyleAdd |= SS_LEFTNOWORDWRAP;
    } else if (type == ControlType::Edit) {
      if (on)
        o.StyleRemove |= WS_HSCROLL | ES_AUTOHSCROLL;
      else
        o.StyleAdd |= ES_AUTOHSCROLL;
    } else if (type == ControlType::UpDown) {
      style(UDS_WRAP);
    } else if (type == ControlType::Tab) {
      style(TCS_MULTILINE);
    } else {
      style(BS_MULTILINE);
    }
  } else if (Prefixed(word, L"Background")) {
    std::wstring_view rest = word.substr(10);
    if (!on) {
      o.AttribAdd |= ATTRIB_DEFAULT_BACKGROUND;
    } else if (EqualsNoCase(rest, L"Trans")) {
      o.AttribAdd |= ATTRIB_TRANSPARENT;
    } else {
      o.AttribRemove |= ATTRIB_DEFAULT_BACKGROUND | ATTRIB_TRANSPARENT;
      if (!rest.empty()) ParseColor(rest, o.Background);
    }
  } else if (Prefixed(word, L"Theme")) {
    // The theme follows the window's setting; a control of its own choice
    // is honoured only for the theme removal below.
    if (!on) o.AttribAdd |= 0;
  } else if (Prefixed(word, L"Hwnd")) {
    o.HwndVar = word.substr(4);
  } else if (Prefixed(word, L"Checked")) {
    std::wstring_view rest = word.substr(7);
    o.Checked = !on ? 0 : rest.empty() ? 1 : EqualsNoCase(rest, L"Gray") ? -1 : static_cast<int>(NumberOf(rest));
  } else if (Prefixed(word, L"Choose")) {
    o.Choose = IntAfter(word, 6);
    o.ChooseText = word.substr(6);
  } else if (Prefixed(word, L"Password")) {
    style(ES_PASSWORD);
    o.PasswordChar = word.size() > 8 ? word[8] : 0;
  } else if (Prefixed(word, L"Limit")) {
    o.Limit = word.size() > 5 ? IntAfter(word, 5) : 0;
  } else if (EqualsNoCase(word, L"Multi") && type == ControlType::Edit) {
    if (on)
      o.StyleAdd |= ES_MULTILINE;
    else {
      o.StyleRemove |= ES_MULTILINE;
      o.MultiRemoved = true;
    }
  } else if (EqualsNoCase(word, L"WantTab") && type == ControlType::Edit) {
    attrib(ATTRIB_TYPE_SPECIFIC);
  } else if (EqualsNoCase(word, L"WantCtrlA") && type == ControlType::Edit) {
    (on ? o.AttribRemove : o.AttribAdd) |= ATTRIB_ALTSUBMIT;
  } else if (EqualsNoCase(word, L"Invert") && type == ControlType::Slider) {
    attrib(ATTRIB_TYPE_SPECIFIC);
  } else if (Prefixed(word, L"Thick")) {
    o.Thick = IntAfter(word, 5);
  } else if (Prefixed(word, L"Range")) {
    ReadRange(word.substr(5), o);
  } else if (Prefixed(word, L"Icon") && type == ControlType::Picture) {
    o.IconNumber = IntAfter(word, 4);
  } else if (Prefixed(word, L"Class")) {
    o.ClassName = word.substr(5);
  } else if ((first == L'X' || first == L'Y') && ReadPosition(word.substr(1), first == L'X' ? o.X : o.Y)) {
    // position read
  } else if (Prefixed(word, L"WP") || Prefixed(word, L"HP")) {
    (first == L'W' ? o.WidthFromPrevious : o.HeightFromPrevious) = IntAfter(word, 2);
  } else if ((first == L'W' || first == L'H') && IsWholeNumber(word.substr(1))) {
    (first == L'W' ? o.W : o.H) = static_cast<int>(NumberOf(word.substr(1)));
  } else if (first == L'R' && word.size() > 1 && (iswdigit(word[1]) || word[1] == L'.')) {
    std::wstring number(word.substr(1));
    o.Rows = wcstod(number.c_str(), nullptr);
  } else if (first == L'V' && word.size() > 1) {
    o.VarName = on ? std::wstring(word.substr(1)) : std::wstring();
  } else if (first == L'V' && !on) {
    o.VarName.clear();
  } else if (first == L'G') {
    o.HandlerGiven = on;
    o.Handler = on ? std::wstring(word.substr(1)) : std::wstring();
  } else if (first == L'C' && word.size() > 1 && type != ControlType::Picture) {
    if (!ParseColor(word.substr(1), o.Color)) return GuiFail(line, gui_msg::InvalidOption, word);
    o.ColorGiven = true;
  } else if (first == L'T' && IsWholeNumber(word.substr(1))) {
    if (o.TabStops.size() < static_cast<size_t>(kMaxTabStops)) o.TabStops.push_back(IntAfter(word, 1));
  } else if (first == L'E' && IsWholeNumber(word.substr(1))) {
    (on ? o.ExAdd : o.ExRemove) |= static_cast<DWORD>(NumberOf(word.substr(1)));
  } else if (IsWholeNumber(word)) {
    style(static_cast<DWORD>(NumberOf(word)));
  } else if (type == ControlType::ListView || type == ControlType::TreeView || type == ControlType::DateTime ||
             type == ControlType::Slider) {
    // Their remaining words belong to the item functions that come later;
    // accepted so that the control is still made.
  } else {
    return GuiFail(line, gui_msg::InvalidOption, word);
  }
  return ResultCode::Ok;
}

// Reads every option word.
ResultCode ReadOptions(ScriptLine& line, ControlType type, std::wstring_view list, ControlOptions& o) {
  size_t i = 0;
  while (i < list.size()) {
    while (i < list.size() && (list[i] == L' ' || list[i] == L'\t')) ++i;
    size_t end = i;
    while (end < list.size() && list[end] != L' ' && list[end] != L'\t') ++end;
    if (end > i && ReadOption(line, type, list.substr(i, end - i), o) != ResultCode::Ok) return ResultCode::Fail;
    i = end;
  }
  return ResultCode::Ok;
}

// Text measurement context: the window's DC with the current font.
struct Measure {
  HDC Dc;
  HGDIOBJ OldFont;
  TEXTMETRICW Metrics;
  HWND Window;
  Measure(HWND window, HFONT font) : Dc(GetDC(window)), Window(window) {
    OldFont = SelectObject(Dc, font);
    GetTextMetricsW(Dc, &Metrics);
  }
  ~Measure() {
    SelectObject(Dc, OldFont);
    ReleaseDC(Window, Dc);
  }
  Measure(const Measure&) = delete;
  Measure& operator=(const Measure&) = delete;
};

// A Link's text without its <a ...> and </a> tags.
std::wstring WithoutLinkMarkup(std::wstring_view text) {
  std::wstring out;
  for (size_t i = 0; i < text.size();) {
    if (text[i] == L'<' && i + 1 < text.size() && (text[i + 1] == L'a' || text[i + 1] == L'A')) {
      const size_t close = text.find(L'>', i);
      std::wstring lower(text.substr(i));
      for (auto& c : lower) c = static_cast<wchar_t>(towlower(c));
      const size_t end = lower.find(L"</a>");
      if (close != std::wstring_view::npos && end != std::wstring::npos && close < i + end) {
        out.append(text.substr(close + 1, i + end - close - 1));
        i += end + 4;
        continue;
      }
    }
    out.push_back(text[i++]);
  }
  return out;
}

// Whether the type is measured by its text.
bool MeasuredByText(ControlType type) {
  return type == ControlType::Text || type == ControlType::Button || type == ControlType::Checkbox ||
         type == ControlType::Radio || type == ControlType::Edit || type == ControlType::Link;
}

// The font point size of the window's current font.
int FontPoints(const GuiWindow& window) { return Gui().Fonts[window.CurrentFont].PointSize; }

// Sizes the control: rows, text measurement and default width.
void ComputeSize(GuiWindow& window, const ControlTypeRow& row, ControlOptions& o, DWORD& style, std::wstring_view text,
                 int& w, int& h) {
  const int dpi = Gui().Dpi;
  const int F = FontPoints(window);
  const ControlType type = row.Type;
  Measure measure(window.Hwnd, Gui().Fonts[window.CurrentFont].Font);
  const TEXTMETRICW& tm = measure.Metrics;
  double rows = o.Rows;
  if (h == kCoordNotGiven && rows == 0 && row.Rows > 0) {
    rows = (type == ControlType::Edit && (style & ES_MULTILINE) && text.empty()) ? 3 : row.Rows;
    if (type == ControlType::Edit && (style & ES_MULTILINE) && !text.empty()) rows = 0;
  }
  // Single-line Edit given a height: its rows decide whether it wraps.
  if (type == ControlType::Edit && h != kCoordNotGiven && o.Rows == 0 && !(style & ES_MULTILINE)) {
    const int extra = MulDiv(kListPadding, dpi, 96) + ((style & WS_HSCROLL) ? GetSystemMetrics(SM_CYHSCROLL) : 0);
    const int perRow = tm.tmHeight + tm.tmExternalLeading;
    const int r = perRow > 0 ? 1 + (h - tm.tmHeight - extra) / perRow : 1;
    if (r > 1 && !o.MultiRemoved) style |= ES_MULTILINE | WS_VSCROLL | ES_WANTRETURN | ES_AUTOVSCROLL;
  }
  const bool comboLike = type == ControlType::DropDownList || type == ControlType::ComboBox;
  if (h == kCoordNotGiven && rows > 0) {
    if (comboLike && !(style & CBS_NOINTEGRALHEIGHT)) {
      h = MulDiv(30, dpi, 96);
    } else if (type == ControlType::UpDown || type == ControlType::Progress || type == ControlType::Slider) {
      h = MulDiv(2 * F, dpi, 96);
    } else {
      double r = rows;
      if (type == ControlType::GroupBox || comboLike) r += 1;
      const int whole = static_cast<int>(r + 0.5);
      h = static_cast<int>(r * tm.tmHeight + (whole - 1) * tm.tmExternalLeading + 0.5);
      switch (type) {
        case ControlType::GroupBox: h += whole * window.MarginY; break;
        case ControlType::Button: h += MulDiv(F + 2, dpi, 96); break;
        case ControlType::DropDownList:
        case ControlType::ComboBox:
        case ControlType::ListBox:
        case ControlType::Edit:
        case ControlType::DateTime:
        case ControlType::Hotkey:
        case ControlType::Custom:
          h += MulDiv(kListPadding, dpi, 96) + ((style & WS_HSCROLL) ? GetSystemMetrics(SM_CYHSCROLL) : 0);
          break;
        case ControlType::Tab: h += (whole + 1) * window.MarginY; break;
        default: break;
      }
    }
  }
  if (h == kCoordNotGiven && type == ControlType::Slider)
    h = MulDiv((o.Thick < 1 ? 20 : o.Thick) + 5 + (o.NoTicks ? 0 : 8), dpi, 96);
  if (h == kCoordNotGiven && type == ControlType::Progress) h = MulDiv(2 * F, dpi, 96);
  if (MeasuredByText(type) && (w == kCoordNotGiven || h == kCoordNotGiven)) {
    std::wstring measured = type == ControlType::Link ? WithoutLinkMarkup(text) : std::wstring(text);
    if (measured.empty()) measured = L"H";
    UINT format = DT_CALCRECT;
    int extraW = 0, extraH = 0;
    if (type == ControlType::Text) format |= DT_EXPANDTABS;
    if (type == ControlType::Edit) {
      format |= DT_EDITCONTROL | DT_NOPREFIX | DT_EXPANDTABS;
      extraW = tm.tmAveCharWidth + 4 + ((style & WS_VSCROLL) ? GetSystemMetrics(SM_CXVSCROLL) : 0);
      if (!text.empty() && text.back() == L'\n') extraH = tm.tmHeight + tm.tmExternalLeading;
    }
    if (type == ControlType::Checkbox || type == ControlType::Radio)
      extraW = GetSystemMetrics(SM_CXMENUCHECK) + tm.tmAveCharWidth + 2;
    if ((type == ControlType::Text || type == ControlType::Link) && (style & WS_BORDER)) {
      extraW = 2 * GetSystemMetrics(SM_CXBORDER);
      extraH = 2 * GetSystemMetrics(SM_CYBORDER);
    }
    RECT rect = {0, 0, 0, 0};
    if (w != kCoordNotGiven) {
      format |= DT_WORDBREAK;
      rect.right = w - extraW;
    }
    DrawTextW(measure.Dc, measured.c_str(), static_cast<int>(measured.size()), &rect, format);
    const int textW = rect.right, textH = rect.bottom;
    if (h == kCoordNotGiven || (type != ControlType::Edit && h < textH)) {
      h = textH + extraH;
      if (type == ControlType::Edit)
        h += MulDiv(kListPadding, dpi, 96) + ((style & WS_HSCROLL) ? GetSystemMetrics(SM_CYHSCROLL) : 0);
      if (type == ControlType::Button) h += F + 2;
    }
    if (w == kCoordNotGiven || w < textW) {
      w = textW + extraW;
      if (type == ControlType::Button) w += 2 * GetSystemMetrics(SM_CXEDGE) + F;
    }
  }
  if (w == kCoordNotGiven) {
    const int unit = MulDiv(kNarrowWidthFactor * F, dpi, 96);
    if ((type == ControlType::UpDown && !o.Horizontal) || (type == ControlType::Progress && o.Vertical))
      w = MulDiv(2 * F, dpi, 96);
    else if (type == ControlType::Slider && o.Vertical)
      w = MulDiv((o.Thick < 1 ? 25 : o.Thick + 5) + (o.NoTicks ? 0 : 8), dpi, 96);
    else if (type == ControlType::GroupBox)
      w = unit + 2 * window.MarginX;
    else if (type == ControlType::Tab)
      w = 2 * unit + 3 * window.MarginX;
    else if (row.WidthFactor > 0 || type == ControlType::UpDown)
      w = (row.WidthFactor > 0 ? row.WidthFactor : 1) * unit;
    else if (type == ControlType::MonthCal)
      w = 100;
    else
      w = 0;
  }
  if (h == kCoordNotGiven) h = type == ControlType::MonthCal ? 100 : 0;
}

// Resolves one coordinate from its anchor.
int Resolve(const GuiWindow& window, const Position& p, bool isX, int scaledOffset) {
  switch (p.How) {
    case Anchor::Absolute: return scaledOffset;
    case Anchor::Margin: return (isX ? window.MarginX : window.MarginY) + scaledOffset;
    case Anchor::Previous: return (isX ? window.PrevX : window.PrevY) + scaledOffset;
    case Anchor::Section: return (isX ? window.SectionX : window.SectionY) + scaledOffset;
    case Anchor::AfterPrevious: return (isX ? window.PrevX + window.PrevW : window.PrevY + window.PrevH) + scaledOffset;
    case Anchor::AfterPreviousMargin:
      return isX ? window.PrevX + window.PrevW + window.MarginX : window.PrevY + window.PrevH + window.MarginY;
    case Anchor::None: break;
  }
  return 0;
}

// The other coordinate when only one was given.
int Companion(const GuiWindow& window, Anchor given, bool otherIsY) {
  switch (given) {
    case Anchor::Absolute:
    case Anchor::Margin: return otherIsY ? window.MaxBottom + window.MarginY : window.MaxRight + window.MarginX;
    case Anchor::Section:
      return otherIsY ? window.SectionBottom + window.MarginY : window.SectionRight + window.MarginX;
    default: return otherIsY ? window.PrevY : window.PrevX;
  }
}

// Places the control: explicit values, anchors, then the defaults.
void ComputePosition(GuiWindow& window, ControlType type, const ControlOptions& o, uint8_t tab, uint8_t page, int& x,
                     int& y) {
  const bool xGiven = o.X.How != Anchor::None, yGiven = o.Y.How != Anchor::None;
  const bool inTab = tab != kNoTab;
  const bool emptyPage = inTab && !PageHasControls(window, tab, page);
  const RECT area = inTab ? TabDisplayArea(window, tab) : RECT{};
  if (xGiven) x = Resolve(window, o.X, true, ScaleSize(window, o.X.Offset));
  if (yGiven) y = Resolve(window, o.Y, false, ScaleSize(window, o.Y.Offset));
  if (emptyPage && o.X.How == Anchor::AfterPrevious) x = area.left + ScaleSize(window, o.X.Offset);
  if (emptyPage && o.Y.How == Anchor::AfterPrevious) y = area.top + ScaleSize(window, o.Y.Offset);
  if (xGiven && !yGiven)
    y = emptyPage && o.X.How == Anchor::AfterPrevious ? area.top + window.MarginY : Companion(window, o.X.How, true);
  if (yGiven && !xGiven)
    x = emptyPage && o.Y.How == Anchor::AfterPrevious ? area.left + window.MarginX : Companion(window, o.Y.How, false);
  if (!xGiven && !yGiven) {
    if (emptyPage) {
      x = area.left + window.MarginX;
      y = area.top + window.MarginY;
    } else {
      x = window.PrevX;
      y = window.PrevY + window.PrevH + window.MarginY;
      const bool textual = type == ControlType::Text || type == ControlType::Link;
      if (textual && !window.Controls.empty()) {
        const GuiControlInfo& previous = window.Controls.back();
        if ((previous.Type == ControlType::Text || previous.Type == ControlType::Link) && previous.TabControl == tab &&
            previous.TabPage == page)
          y += MulDiv(kListPadding, Gui().Dpi, 96);
      }
    }
  }
}

// The list items of a DDL, ComboBox, ListBox or Tab, with the preselected
// ones (an item followed by two delimiters).
void SplitItems(std::wstring_view text, wchar_t delimiter, std::vector<std::wstring>& items,
                std::vector<size_t>& chosen) {
  size_t i = 0;
  while (i < text.size()) {
    size_t end = text.find(delimiter, i);
    if (end == std::wstring_view::npos) end = text.size();
    if (end == i) {  // an empty item right after one: the previous one is chosen
      if (!items.empty()) chosen.push_back(items.size() - 1);
      i = end + 1;
      continue;
    }
    items.emplace_back(text.substr(i, end - i));
    i = end + 1;
  }
}

// Fills a list control with its items and selects the chosen ones.
void FillList(GuiWindow& window, GuiControlInfo& control, std::wstring_view text, int choose) {
  std::vector<std::wstring> items;
  std::vector<size_t> chosen;
  SplitItems(text, window.Delimiter, items, chosen);
  HWND hwnd = control.Hwnd;
  const bool isList = control.Type == ControlType::ListBox;
  const bool multi = isList && (GetWindowLongW(hwnd, GWL_STYLE) & (LBS_EXTENDEDSEL | LBS_MULTIPLESEL));
  if (control.Type == ControlType::Tab) {
    for (size_t i = 0; i < items.size() && i < kMaxTabs; ++i) {
      TCITEMW item = {};
      item.mask = TCIF_TEXT;
      item.pszText = items[i].data();
      SendMessageW(hwnd, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
    }
  } else {
    for (const std::wstring& item : items)
      SendMessageW(hwnd, isList ? LB_ADDSTRING : CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
  }
  if (choose > 0) chosen.push_back(static_cast<size_t>(choose - 1));
  for (size_t index : chosen) {
    if (control.Type == ControlType::Tab)
      SendMessageW(hwnd, TCM_SETCURSEL, index, 0);
    else if (multi)
      SendMessageW(hwnd, LB_SETSEL, TRUE, static_cast<LPARAM>(index));
    else
      SendMessageW(hwnd, isList ? LB_SETCURSEL : CB_SETCURSEL, index, 0);
  }
}

// Removes the visual theme of a control, through uxtheme when present.
void RemoveTheme(HWND hwnd) {
  using SetThemeFn = HRESULT(WINAPI*)(HWND, LPCWSTR, LPCWSTR);
  static HMODULE module = LoadLibraryW(L"uxtheme.dll");
  if (!module) return;
  auto set = reinterpret_cast<SetThemeFn>(reinterpret_cast<void*>(GetProcAddress(module, "SetWindowTheme")));
  if (set) set(hwnd, L"", L"");
}

// A multi-line Edit shows its linefeeds as CR LF.
std::wstring WithCrLf(std::wstring_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\n' && (i == 0 || text[i - 1] != L'\r')) out.push_back(L'\r');
    out.push_back(text[i]);
  }
  return out;
}

// The variable a "V" option names: it must be global or static and serve
// no other control.
ResultCode BindVariable(ScriptLine& line, GuiWindow& window, const std::wstring& name, Variable*& var) {
  if (name.empty()) return ResultCode::Ok;
  FunctionScope* scope = Values().CurrentFunctionScope ? Values().CurrentFunctionScope() : nullptr;
  var = FindOrAddVariable(name, Values().Globals, scope, ResolvePhase::Running);
  if (!var) return ResultCode::Fail;
  Variable* target = var->ResolveAlias();
  if (!(target->Scope() & (VAR_GLOBAL | VAR_LOCAL_STATIC | VAR_SUPER_GLOBAL)))
    return GuiFail(line, gui_msg::VariableNotGlobal, name);
  for (const auto& other : Gui().Windows)
    for (const GuiControlInfo& control : other->Controls)
      if (control.Var && control.Var->ResolveAlias() == target) return GuiFail(line, gui_msg::VariableUsedTwice, name);
  static_cast<void>(window);
  var = target;
  return ResultCode::Ok;
}

// The g-label: a label, a function, "Cancel" or nothing.
ResultCode BindHandler(ScriptLine& line, ControlType type, const ControlOptions& o, GuiControlInfo& control) {
  if (!o.HandlerGiven) return ResultCode::Ok;
  if (type == ControlType::GroupBox || type == ControlType::Progress)
    return GuiFail(line, gui_msg::NoSubroutineAllowed, o.Handler);
  control.Handler = FindHandler(o.Handler, 4);
  if (control.Handler) return ResultCode::Ok;
  if (EqualsNoCase(o.Handler, L"Cancel")) {
    control.Attrib |= ATTRIB_IMPLICIT_CANCEL;
    return ResultCode::Ok;
  }
  return GuiFail(line, gui_msg::TargetLabelMissing, o.Handler);
}

// The automatic handler of a Button: "[Name]Button" + its text without blanks, "&" and "`".
void BindAutomaticButtonHandler(const GuiWindow& window, std::wstring_view text, GuiControlInfo& control) {
  std::wstring name = window.Name == L"1" ? std::wstring() : window.Name;
  name += L"Button";
  for (wchar_t c : text)
    if (c != L'\r' && c != L'\n' && c != L'\t' && c != L' ' && c != L'&' && c != L'`') name.push_back(c);
  control.Handler = FindHandler(name, 4);
}

// Whether a DDL or ComboBox was given its height (it then keeps it exactly).
bool ComboHeightGiven(const ControlOptions& o, ControlType type) {
  return (type == ControlType::DropDownList || type == ControlType::ComboBox) && (o.H != kCoordNotGiven || o.Rows > 0);
}

// A time stamp YYYYMMDDHH24MISS (leading part at least the year); false
// when the text is not one or names an impossible date.
bool ParseTimeStamp(std::wstring_view text, SYSTEMTIME& time) {
  if (text.size() < 4 || text.size() > 14 || text.size() % 2) return false;
  for (wchar_t c : text)
    if (c < L'0' || c > L'9') return false;
  auto field = [&](size_t at, int fallback) {
    return at + 2 <= text.size() ? (text[at] - L'0') * 10 + (text[at + 1] - L'0') : fallback;
  };
  time = {};
  time.wYear = static_cast<WORD>((text[0] - L'0') * 1000 + (text[1] - L'0') * 100 + field(2, 0));
  time.wMonth = static_cast<WORD>(field(4, 1));
  time.wDay = static_cast<WORD>(field(6, 1));
  time.wHour = static_cast<WORD>(field(8, 0));
  time.wMinute = static_cast<WORD>(field(10, 0));
  time.wSecond = static_cast<WORD>(field(12, 0));
  FILETIME check;
  return SystemTimeToFileTime(&time, &check) != FALSE;
}

// The DateTime's format styles: "LongDate" and "Time" as its text choose
// them; "ChooseNone" lets it hold no date.
DWORD DateTimeStyle(DWORD style, const ControlOptions& o, std::wstring_view text) {
  if (EqualsNoCase(text, L"LongDate"))
    style = (style & ~static_cast<DWORD>(DTS_SHORTDATECENTURYFORMAT)) | DTS_LONGDATEFORMAT;
  else if (EqualsNoCase(text, L"Time"))
    style = (style & ~static_cast<DWORD>(DTS_SHORTDATECENTURYFORMAT)) | DTS_TIMEFORMAT;
  if (EqualsNoCase(o.ChooseText, L"None")) style |= DTS_SHOWNONE;
  return style;
}

// A DateTime's custom format, range, initial date and calendar colour.
void SetUpDateTime(const GuiControlInfo& control, const ControlOptions& o, std::wstring_view text) {
  HWND hwnd = control.Hwnd;
  if (!text.empty() && !EqualsNoCase(text, L"LongDate") && !EqualsNoCase(text, L"Time") &&
      !EqualsNoCase(text, L"ShortDate"))
    SendMessageW(hwnd, DTM_SETFORMATW, 0, reinterpret_cast<LPARAM>(std::wstring(text).c_str()));
  if (!o.RangeText.empty()) {
    SYSTEMTIME range[2] = {};
    const size_t dash = o.RangeText.find(L'-');
    DWORD which = 0;
    if (ParseTimeStamp(std::wstring_view(o.RangeText).substr(0, dash), range[0])) which |= GDTR_MIN;
    if (dash != std::wstring::npos && ParseTimeStamp(std::wstring_view(o.RangeText).substr(dash + 1), range[1]))
      which |= GDTR_MAX;
    if (which) SendMessageW(hwnd, DTM_SETRANGE, which, reinterpret_cast<LPARAM>(range));
  }
  SYSTEMTIME chosen = {};
  if (EqualsNoCase(o.ChooseText, L"None"))
    SendMessageW(hwnd, DTM_SETSYSTEMTIME, GDT_NONE, 0);
  else if (ParseTimeStamp(o.ChooseText, chosen))
    SendMessageW(hwnd, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&chosen));
  if (control.Color != kColorDefault) SendMessageW(hwnd, DTM_SETMCCOLOR, MCSC_TEXT, static_cast<LPARAM>(control.Color));
}

// Type-specific set-up once the control exists.
void SetUpControl(GuiWindow& window, GuiControlInfo& control, const ControlOptions& o, std::wstring_view text, int& w,
                  int& h) {
  HWND hwnd = control.Hwnd;
  const int dpi = Gui().Dpi;
  switch (control.Type) {
    case ControlType::Button:
      if (GetWindowLongW(hwnd, GWL_STYLE) & BS_DEFPUSHBUTTON) {
        if (window.DefaultButton >= 0)
          SendMessageW(window.Controls[static_cast<size_t>(window.DefaultButton)].Hwnd, BM_SETSTYLE, BS_PUSHBUTTON,
                       TRUE);
        // The control is already the last of the list.
        window.DefaultButton = static_cast<int>(window.Controls.size()) - 1;
        SendMessageW(window.Hwnd, DM_SETDEFID, static_cast<WPARAM>(window.DefaultButton + kFirstControlId), 0);
      }
      break;
    case ControlType::Checkbox:
    case ControlType::Radio:
      if (o.Checked) SendMessageW(hwnd, BM_SETCHECK, o.Checked < 0 ? BST_INDETERMINATE : BST_CHECKED, 0);
      break;
    case ControlType::DropDownList:
    case ControlType::ComboBox:
    case ControlType::ListBox:
    case ControlType::Tab: {
      SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(Gui().Fonts[window.CurrentFont].Font), FALSE);
      if (control.Type == ControlType::ListBox && !o.TabStops.empty())
        SendMessageW(hwnd, LB_SETTABSTOPS, o.TabStops.size(), reinterpret_cast<LPARAM>(o.TabStops.data()));
      FillList(window, control, text, o.Choose);
      if (control.Type == ControlType::ListBox) {
        const int item = static_cast<int>(SendMessageW(hwnd, LB_GETITEMHEIGHT, 0, 0));
        const int scroll = (GetWindowLongW(hwnd, GWL_STYLE) & WS_HSCROLL) ? GetSystemMetrics(SM_CYHSCROLL) : 0;
        if (o.Rows > 0)
          h = MulDiv(kListPadding, dpi, 96) + static_cast<int>(o.Rows * item) + scroll;
        else if (h < item + MulDiv(kListPadding, dpi, 96) + scroll)
          h = item + MulDiv(kListPadding, dpi, 96) + scroll;
        SetWindowPos(hwnd, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        if (scroll)
          SendMessageW(hwnd, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(o.HScrollWidth > 0 ? o.HScrollWidth : 3 * w),
                       0);
      }
      if (control.Type == ControlType::Tab && window.CurrentTab != kNoTab) {
        // The Tab control is created after its number is known.
      }
      break;
    }
    case ControlType::Edit:
      if (o.PasswordChar) SendMessageW(hwnd, EM_SETPASSWORDCHAR, o.PasswordChar, 0);
      if (o.Limit > 0) SendMessageW(hwnd, EM_LIMITTEXT, static_cast<WPARAM>(o.Limit), 0);
      if (!o.TabStops.empty())
        SendMessageW(hwnd, EM_SETTABSTOPS, o.TabStops.size(), reinterpret_cast<LPARAM>(o.TabStops.data()));
      break;
    case ControlType::UpDown:
      SendMessageW(hwnd, UDM_SETRANGE32, static_cast<WPARAM>(o.RangeGiven ? o.RangeMin : 0),
                   o.RangeGiven ? o.RangeMax : 100);
      if (!text.empty()) SendMessageW(hwnd, UDM_SETPOS32, 0, static_cast<LPARAM>(NumberOf(text)));
      break;
    case ControlType::Slider:
      SendMessageW(hwnd, TBM_SETRANGEMIN, FALSE, o.RangeMin);
      SendMessageW(hwnd, TBM_SETRANGEMAX, TRUE, o.RangeMax);
      if (!text.empty()) SendMessageW(hwnd, TBM_SETPOS, TRUE, static_cast<LPARAM>(NumberOf(text)));
      break;
    case ControlType::Progress:
      SendMessageW(hwnd, PBM_SETRANGE32, static_cast<WPARAM>(o.RangeMin), o.RangeMax);
      if (o.ColorGiven) SendMessageW(hwnd, PBM_SETBARCOLOR, 0, static_cast<LPARAM>(o.Color));
      if (o.Background != kColorDefault) SendMessageW(hwnd, PBM_SETBKCOLOR, 0, static_cast<LPARAM>(o.Background));
      if (!text.empty()) SendMessageW(hwnd, PBM_SETPOS, static_cast<WPARAM>(NumberOf(text)), 0);
      break;
    case ControlType::ListView: {
      ListView_SetExtendedListViewStyle(hwnd, LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP);
      std::vector<std::wstring> titles;
      std::vector<size_t> unused;
      SplitItems(text, window.Delimiter, titles, unused);
      for (size_t i = 0; i < titles.size(); ++i) {
        LVCOLUMNW column = {};
        column.mask = LVCF_TEXT;
        column.pszText = titles[i].data();
        SendMessageW(hwnd, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
        SendMessageW(hwnd, LVM_SETCOLUMNWIDTH, i, LVSCW_AUTOSIZE_USEHEADER);
      }
      break;
    }
    case ControlType::DateTime: SetUpDateTime(control, o, text); break;
    case ControlType::Hotkey:
      if (!text.empty()) SendMessageW(hwnd, HKM_SETHOTKEY, HotkeyFromText(text), 0);
      break;
    case ControlType::MonthCal: {
      RECT need = {};
      if (MonthCal_GetMinReqRect(hwnd, &need) && (o.W == kCoordNotGiven || o.H == kCoordNotGiven)) {
        if (o.W == kCoordNotGiven) w = need.right;
        if (o.H == kCoordNotGiven) h = need.bottom;
        SetWindowPos(hwnd, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
      }
      break;
    }
    case ControlType::StatusBar:
      window.StatusBar = hwnd;
      if (o.Background != kColorDefault) SendMessageW(hwnd, SB_SETBKCOLOR, 0, static_cast<LPARAM>(o.Background));
      break;
    default: break;
  }
}

// Loads a Picture's image and gives it to the control.
void SetUpPicture(GuiControlInfo& control, const ControlOptions& o, std::wstring_view file, int& w, int& h) {
  int type = IMAGE_BITMAP;
  HANDLE image = LoadPictureFromSource(file, w == kCoordNotGiven ? 0 : w, h == kCoordNotGiven ? 0 : h, type,
                                       o.IconNumber, (o.AttribAdd & ATTRIB_ALTSUBMIT) != 0);
  if (!image) return;
  const bool icon = type != IMAGE_BITMAP;
  LONG style = GetWindowLongW(control.Hwnd, GWL_STYLE) & ~static_cast<LONG>(SS_TYPEMASK);
  SetWindowLongW(control.Hwnd, GWL_STYLE, style | (icon ? SS_ICON : SS_BITMAP));
  SendMessageW(control.Hwnd, STM_SETIMAGE, icon ? IMAGE_ICON : IMAGE_BITMAP, reinterpret_cast<LPARAM>(image));
  HANDLE kept = reinterpret_cast<HANDLE>(SendMessageW(control.Hwnd, STM_GETIMAGE, icon ? IMAGE_ICON : IMAGE_BITMAP, 0));
  if (kept && kept != image) {
    if (icon)
      DestroyIcon(static_cast<HICON>(image));
    else
      DeleteObject(image);
    image = kept;
  }
  control.Image = image;
  if (icon) control.Attrib |= ATTRIB_TYPE_SPECIFIC;
  // The image decides the size when the script did not.
  SIZE size = ImageSize(image, type);
  if (w == kCoordNotGiven || w <= 0) w = size.cx;
  if (h == kCoordNotGiven || h <= 0) h = size.cy;
  SetWindowPos(control.Hwnd, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Updates the layout state after a control was placed.
void RecordLayout(GuiWindow& window, bool section, bool ownParent, int x, int y, int w, int h) {
  window.PrevX = x;
  window.PrevY = y;
  window.PrevW = w;
  window.PrevH = h;
  const int right = x + w, bottom = y + h;
  if (ownParent) {
    if (right > window.MaxRight) window.MaxRight = right;
    if (bottom > window.MaxBottom) window.MaxBottom = bottom;
  }
  const bool first = window.Controls.size() == 1 || (window.Controls.size() == 2 && window.StatusBar);
  if (section || first) {
    window.SectionX = x;
    window.SectionY = y;
    window.SectionRight = right;
    window.SectionBottom = bottom;
  } else {
    if (right > window.SectionRight) window.SectionRight = right;
    if (bottom > window.SectionBottom) window.SectionBottom = bottom;
  }
}

// Unchecks the other radios of a checked radio's group.
void UncheckGroupMates(const GuiWindow& window, size_t index) {
  size_t start = index;
  while (start > 0 && !(GetWindowLongW(window.Controls[start].Hwnd, GWL_STYLE) & WS_GROUP)) --start;
  for (size_t i = start; i < window.Controls.size(); ++i) {
    if (i > start && (GetWindowLongW(window.Controls[i].Hwnd, GWL_STYLE) & WS_GROUP)) break;
    if (i != index && window.Controls[i].Type == ControlType::Radio)
      SendMessageW(window.Controls[i].Hwnd, BM_SETCHECK, BST_UNCHECKED, 0);
  }
}

// Whether a Custom control's class is registered.
bool ClassExists(const std::wstring& name) {
  WNDCLASSEXW info = {};
  info.cbSize = sizeof(info);
  return GetClassInfoExW(GetModuleHandleW(nullptr), name.c_str(), &info) ||
         GetClassInfoExW(nullptr, name.c_str(), &info);
}

// Whether a control on that Tab control's page is shown when created.
bool OnShownPage(const GuiWindow& window, uint8_t tab, uint8_t page) {
  const int tabIndex = TabControlAt(window, tab);
  if (tabIndex < 0) return true;
  HWND tabHwnd = window.Controls[static_cast<size_t>(tabIndex)].Hwnd;
  return page == SendMessageW(tabHwnd, TCM_GETCURSEL, 0, 0) && IsWindowVisible(tabHwnd);
}

}  // namespace

HWND CreateControlWindow(const CreateRequest& request) {
  const RECT& r = request.Place;
  return CreateWindowExW(request.ExStyle, request.ClassName, request.Text, request.Style, r.left, r.top,
                         r.right - r.left, r.bottom - r.top, request.Parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(request.Id)), GetModuleHandleW(nullptr), nullptr);
}

std::wstring ControlText(HWND hwnd) {
  const int length = GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const int got = GetWindowTextW(hwnd, text.data(), length + 1);
  text.resize(static_cast<size_t>(got > 0 ? got : 0));
  return text;
}

int FindControlByName(const GuiWindow& window, std::wstring_view name) {
  for (size_t i = 0; i < window.Controls.size(); ++i)
    if (window.Controls[i].Var && EqualsNoCase(window.Controls[i].Var->Name(), name)) return static_cast<int>(i);
  if (IsWholeNumber(name)) {
    HWND hwnd = reinterpret_cast<HWND>(static_cast<INT_PTR>(NumberOf(name)));
    for (size_t i = 0; i < window.Controls.size(); ++i)
      if (window.Controls[i].Hwnd == hwnd) return static_cast<int>(i);
  }
  for (size_t i = 0; i < window.Controls.size(); ++i)
    if (ControlText(window.Controls[i].Hwnd) == name) return static_cast<int>(i);
  return -1;
}

ResultCode AddGuiControl(ScriptLine& line, GuiWindow& window, std::wstring_view typeWord, std::wstring_view optionText,
                         std::wstring_view text) {
  const ControlTypeRow* row = nullptr;
  for (const ControlTypeRow& candidate : kControlTypes)
    if (EqualsNoCase(candidate.Word, typeWord)) row = &candidate;
  if (!row) return GuiFail(line, gui_msg::Param2Invalid, typeWord);
  const ControlType type = row->Type;
  if (window.Controls.size() >= kMaxControls) return GuiFail(line, gui_msg::TooManyControls);
  if (type == ControlType::Tab && window.TabControlCount >= kMaxTabControls)
    return GuiFail(line, gui_msg::TooManyTabControls);
  if (type == ControlType::StatusBar && window.StatusBar) return GuiFail(line, gui_msg::TooManyStatusBars);

  ControlOptions o;
  if (ReadOptions(line, type, optionText, o) != ResultCode::Ok) return ResultCode::Fail;
  GuiControlInfo control;
  control.Type = type;
  if (BindVariable(line, window, o.VarName, control.Var) != ResultCode::Ok) return ResultCode::Fail;
  if (BindHandler(line, type, o, control) != ResultCode::Ok) return ResultCode::Fail;
  std::wstring className = row->ClassName;
  if (type == ControlType::Custom) {
    if (o.ClassName.empty()) return GuiFail(line, gui_msg::ClassRequired);
    if (!ClassExists(o.ClassName)) return GuiFail(line, gui_msg::UnregisteredClass, o.ClassName);
    className = o.ClassName;
  }

  // Tab membership.
  uint8_t tab = kNoTab, page = 0;
  if (type == ControlType::Tab) {
    page = static_cast<uint8_t>(window.TabControlCount);
  } else if (type != ControlType::StatusBar) {
    tab = window.CurrentTab;
    page = window.CurrentTabPage;
    if (tab != kNoTab && TabControlAt(window, tab) < 0) tab = kNoTab;
  }
  control.TabControl = tab;
  control.TabPage = page;
  const bool tab3 = type == ControlType::Tab && EqualsNoCase(typeWord, L"Tab3");
  if (type == ControlType::Tab && EqualsNoCase(typeWord, L"Tab2")) control.Attrib |= ATTRIB_TYPE_SPECIFIC;
  // A new Tab control ends the previous one's pages: it gets its final size.
  if (type == ControlType::Tab) AutoSizeTabControl(window, window.CurrentTab);

  // Margins of the first control come from the font.
  EnsureDefaultFont();
  const int F = FontPoints(window);
  if (window.Controls.empty()) {
    if (window.MarginX == kCoordNotGiven) window.MarginX = MulDiv(static_cast<int>(F * 1.25), Gui().Dpi, 96);
    if (window.MarginY == kCoordNotGiven) window.MarginY = MulDiv(static_cast<int>(F * 0.75), Gui().Dpi, 96);
    window.PrevX = window.MarginX;
    window.PrevY = window.PrevH = 0;
  }

  // Styles.
  DWORD style = WS_VISIBLE | row->Style;
  if (type == ControlType::Radio) {
    if (!window.RadioGroupOpen) style |= WS_GROUP;
  } else if (window.RadioGroupOpen) {
    style |= WS_GROUP;
  }
  if (type == ControlType::Radio && (style & WS_GROUP) && !o.TabstopRemoved) style |= WS_TABSTOP;
  if ((type == ControlType::Text || type == ControlType::Picture) && control.Handler) style |= SS_NOTIFY;
  if (type == ControlType::Checkbox && (o.StyleAdd & BS_AUTO3STATE)) style &= ~static_cast<DWORD>(BS_AUTOCHECKBOX);
  if (type == ControlType::ComboBox && (o.StyleAdd & CBS_SIMPLE)) style &= ~static_cast<DWORD>(CBS_DROPDOWN);
  if (ComboHeightGiven(o, type)) style |= CBS_NOINTEGRALHEIGHT;
  if (type == ControlType::DateTime) style = DateTimeStyle(style, o, text);
  style = ((style | o.StyleAdd) & ~o.StyleRemove) | WS_CHILD;
  if (o.AttribAdd & ATTRIB_HIDDEN) style &= ~static_cast<DWORD>(WS_VISIBLE);
  DWORD exStyle = (row->ExStyle | o.ExAdd) & ~o.ExRemove;
  control.Attrib = static_cast<uint8_t>((control.Attrib | o.AttribAdd) & ~o.AttribRemove);
  control.Color = o.ColorGiven ? o.Color : window.TextColor;
  if (type == ControlType::Picture || type == ControlType::UpDown || type == ControlType::Slider ||
      type == ControlType::Progress)
    control.Color = kColorDefault;
  // Tabs in colours are drawn by the window.
  const bool ownerDrawnTab = type == ControlType::Tab && (control.Color != kColorDefault || window.BackBrush);
  if (ownerDrawnTab) style |= TCS_OWNERDRAWFIXED;

  const bool multiLineText = text.find_first_of(L"\r\n") != std::wstring_view::npos;
  if ((type == ControlType::Button || type == ControlType::Checkbox || type == ControlType::Radio) && !o.WrapRemoved &&
      (o.W != kCoordNotGiven || o.H != kCoordNotGiven || o.Rows > 1.5 || multiLineText))
    style |= BS_MULTILINE;
  if (type == ControlType::Edit) {
    if (!(o.StyleRemove & ES_MULTILINE) && !o.MultiRemoved &&
        (o.Rows > 1.5 || text.find(L'\n') != std::wstring_view::npos))
      style |= ES_MULTILINE;
    if (style & ES_MULTILINE)
      style |= (WS_VSCROLL | ES_WANTRETURN | ES_AUTOVSCROLL) & ~o.StyleRemove;
    else if (o.Limit != 0)
      style |= ES_AUTOHSCROLL & ~o.StyleRemove;
  }
  if (type == ControlType::Button && !control.Handler && !(control.Attrib & ATTRIB_IMPLICIT_CANCEL))
    BindAutomaticButtonHandler(window, text, control);

  // Position and size.
  int w = o.W == kCoordNotGiven ? kCoordNotGiven : ScaleSize(window, o.W);
  int h = o.H == kCoordNotGiven ? kCoordNotGiven : ScaleSize(window, o.H);
  if (o.WidthFromPrevious != kCoordNotGiven) w = window.PrevW + ScaleSize(window, o.WidthFromPrevious);
  if (o.HeightFromPrevious != kCoordNotGiven) h = window.PrevH + ScaleSize(window, o.HeightFromPrevious);
  int x = 0, y = 0;
  if (type != ControlType::StatusBar) {
    ComputePosition(window, type, o, tab, page, x, y);
    if (type != ControlType::Picture || (w != kCoordNotGiven && h != kCoordNotGiven))
      ComputeSize(window, *row, o, style, text, w, h);
  }
  if (tab != kNoTab && !OnShownPage(window, tab, page)) style &= ~static_cast<DWORD>(WS_VISIBLE);

  const std::wstring windowText = type == ControlType::Edit && (style & ES_MULTILINE) ? WithCrLf(text)
                                  : type == ControlType::Picture || type == ControlType::DropDownList ||
                                          type == ControlType::ComboBox || type == ControlType::ListBox ||
                                          type == ControlType::Tab || type == ControlType::ListView ||
                                          type == ControlType::DateTime || type == ControlType::Hotkey
                                      ? std::wstring()
                                      : std::wstring(text);
  // A control on a Tab3's page lives in the page dialog, placed in its coordinates.
  HWND parent = TabPageParent(window, tab);
  POINT place = {x, y};
  if (parent != window.Hwnd) MapWindowPoints(window.Hwnd, parent, &place, 1);
  const int id = static_cast<int>(window.Controls.size()) + kFirstControlId;
  if (type == ControlType::StatusBar) style |= (window.Style & WS_SIZEBOX) ? SBARS_SIZEGRIP : 0;
  const CreateRequest request{
      exStyle,
      type == ControlType::StatusBar ? STATUSCLASSNAMEW : className.c_str(),
      windowText.c_str(),
      style,
      type == ControlType::StatusBar
          ? RECT{}
          : RECT{place.x, place.y, place.x + (w == kCoordNotGiven ? 0 : w), place.y + (h == kCoordNotGiven ? 0 : h)},
      parent,
      id};
  if (type == ControlType::ActiveX) {
    if (CreateActiveXControl(request, control.Var, control.Hwnd) != ResultCode::Ok) return ResultCode::Fail;
  } else {
    control.Hwnd = CreateControlWindow(request);
  }
  if (!control.Hwnd) return GuiFail(line, gui_msg::CantCreateControl, typeWord);

  const bool fontless = type == ControlType::Picture || type == ControlType::UpDown || type == ControlType::Slider ||
                        type == ControlType::Progress;
  if (!fontless)
    SendMessageW(control.Hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(Gui().Fonts[window.CurrentFont].Font),
                 IsWindowVisible(window.Hwnd) && !IsIconic(window.Hwnd));
  if (!window.UseTheme ||
      (control.Color != kColorDefault &&
       (type == ControlType::GroupBox || type == ControlType::Checkbox || type == ControlType::Radio)) ||
      (type == ControlType::Tab && (!tab3 || ownerDrawnTab)))
    RemoveTheme(control.Hwnd);
  if (type == ControlType::Picture) {
    SetUpPicture(control, o, text, w, h);
    if (w == kCoordNotGiven) w = 0;
    if (h == kCoordNotGiven) h = 0;
  }
  window.Controls.push_back(std::move(control));
  GuiControlInfo& added = window.Controls.back();
  SetUpControl(window, added, o, text, w, h);
  if (type == ControlType::Tab) {
    SetUpTabControl(window, added, tab3, o.W == kCoordNotGiven, o.H == kCoordNotGiven);
    ++window.TabControlCount;
    window.CurrentTab = added.TabPage;
    window.CurrentTabPage = 0;
  }
  // A Tab2 is drawn below the controls of its pages.
  if (tab != kNoTab) {
    const GuiControlInfo& owner = window.Controls[static_cast<size_t>(TabControlAt(window, tab))];
    if (owner.Attrib & ATTRIB_TYPE_SPECIFIC)
      SetWindowPos(owner.Hwnd, added.Hwnd, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  if (type == ControlType::Radio && o.Checked) UncheckGroupMates(window, window.Controls.size() - 1);
  if (window.StatusBar && type != ControlType::StatusBar)
    SetWindowPos(window.StatusBar, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  window.RadioGroupOpen = type == ControlType::Radio;
  if (type != ControlType::StatusBar) {
    // The control's real rectangle: a combo box or picture may differ from what was asked.
    RECT real;
    GetWindowRect(added.Hwnd, &real);
    MapWindowPoints(nullptr, window.Hwnd, reinterpret_cast<POINT*>(&real), 2);
    // Controls inside a Tab3, and a Tab3 that will size itself to them, leave
    // the window's extents to the Tab3's final size.
    const bool extendsWindow = parent == window.Hwnd && !(tab3 && (o.W == kCoordNotGiven || o.H == kCoordNotGiven));
    RecordLayout(window, o.Section, extendsWindow, real.left, real.top, real.right - real.left, real.bottom - real.top);
  }
  if (!o.HwndVar.empty()) return AssignHandleVariable(line, o.HwndVar, added.Hwnd);
  return ResultCode::Ok;
}
