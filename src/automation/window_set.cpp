// WinSet: translucency and colour key, always-on-top and Z-order, styles,
// redraw, enabling and the window region. Only Style, ExStyle and Region
// report through ErrorLevel.
#include <string>
#include <vector>

#include "automation/automation_support.h"
#include "automation/messages.h"
#include "automation/window_commands.h"
#include "automation/window_search.h"
#include "base/error_sink.h"
#include "base/script_line.h"
#include "exec/errors.h"

namespace {

// Argument positions of WinSet.
enum : int { kArgAttribute = 0, kArgValue = 1, kArgTitle = 2, kArgText = 3, kArgExcludeTitle = 4, kArgExcludeText = 5 };

// SetWindowPos flags: Z-order only, and a frame change in place.
constexpr UINT kZOrderOnly = SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE;
constexpr UINT kFrameChanged = SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED;
// The most alpha a layered window takes.
constexpr int64_t kOpaque = 255;
// The most points a polygon region takes.
constexpr size_t kMaxRegionPoints = 2000;
// The corner ellipse of "R" without its own size.
constexpr int kDefaultCornerSize = 30;

// The attributes of WinSet.
enum class Attribute {
  Transparent,
  TransColor,
  AlwaysOnTop,
  Bottom,
  Top,
  Style,
  ExStyle,
  Redraw,
  Enable,
  Disable,
  Region
};
struct AttributeRow {
  std::wstring_view Word;
  Attribute Kind;
};
constexpr AttributeRow kAttributes[] = {
    {L"Trans", Attribute::Transparent},
    {L"Transparent", Attribute::Transparent},
    {L"TransColor", Attribute::TransColor},
    {L"AlwaysOnTop", Attribute::AlwaysOnTop},
    {L"Topmost", Attribute::AlwaysOnTop},
    {L"Bottom", Attribute::Bottom},
    {L"Top", Attribute::Top},
    {L"Style", Attribute::Style},
    {L"ExStyle", Attribute::ExStyle},
    {L"Redraw", Attribute::Redraw},
    {L"Enable", Attribute::Enable},
    {L"Disable", Attribute::Disable},
    {L"Region", Attribute::Region},
};

// The colour names a colour key may use, as RRGGBB.
struct ColorName {
  std::wstring_view Name;
  uint32_t Rgb;
};
constexpr ColorName kColorNames[] = {
    {L"Black", 0x000000},  {L"Silver", 0xC0C0C0}, {L"Gray", 0x808080},   {L"White", 0xFFFFFF},
    {L"Maroon", 0x800000}, {L"Red", 0xFF0000},    {L"Purple", 0x800080}, {L"Fuchsia", 0xFF00FF},
    {L"Green", 0x008000},  {L"Lime", 0x00FF00},   {L"Olive", 0x808000},  {L"Yellow", 0xFFFF00},
    {L"Navy", 0x000080},   {L"Blue", 0x0000FF},   {L"Teal", 0x008080},   {L"Aqua", 0x00FFFF},
};

// The attribute a word names, or null.
const AttributeRow* AttributeOf(std::wstring_view word) {
  for (const AttributeRow& row : kAttributes)
    if (EqualsNoCase(row.Word, word)) return &row;
  return nullptr;
}

// RRGGBB (or a colour name) as a COLORREF.
COLORREF ColorFromText(std::wstring_view text) {
  for (const ColorName& color : kColorNames)
    if (EqualsNoCase(color.Name, text)) return RGB((color.Rgb >> 16) & 0xFF, (color.Rgb >> 8) & 0xFF, color.Rgb & 0xFF);
  std::wstring_view digits = text;
  if (StartsWithNoCase(digits, L"0x")) digits.remove_prefix(2);
  uint64_t rgb = 0;
  static_cast<void>(ParseWholeNumber(std::wstring(L"0x") + std::wstring(digits), rgb));
  return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

// Adds the layered style a translucent window needs.
void MakeLayered(HWND window) {
  SetWindowLongW(window, GWL_EXSTYLE, GetWindowLongW(window, GWL_EXSTYLE) | WS_EX_LAYERED);
}

// Transparent N and TransColor Color [Alpha], or "Off" for either.
void SetTranslucency(HWND window, Attribute kind, std::wstring_view value) {
  if (EqualsNoCase(value, L"Off")) {
    SetWindowLongW(window, GWL_EXSTYLE, GetWindowLongW(window, GWL_EXSTYLE) & ~WS_EX_LAYERED);
    return;
  }
  if (kind == Attribute::Transparent) {
    int64_t alpha = WholeNumberOr0(value);
    alpha = alpha < 0 ? 0 : alpha > kOpaque ? kOpaque : alpha;
    MakeLayered(window);
    SetLayeredWindowAttributes(window, 0, static_cast<BYTE>(alpha), LWA_ALPHA);
    return;
  }
  value = value.substr(0, 255);
  const size_t blank = value.find_first_of(L" \t");
  const COLORREF color = ColorFromText(value.substr(0, blank));
  std::wstring_view rest = blank == std::wstring_view::npos ? std::wstring_view() : value.substr(blank);
  while (!rest.empty() && (rest.front() == L' ' || rest.front() == L'\t')) rest.remove_prefix(1);
  MakeLayered(window);
  if (rest.empty())
    SetLayeredWindowAttributes(window, color, 0, LWA_COLORKEY);
  else
    SetLayeredWindowAttributes(window, color, static_cast<BYTE>(WholeNumberOr0(rest) & 0xFF), LWA_COLORKEY | LWA_ALPHA);
}

// AlwaysOnTop On/Off/Toggle.
void SetAlwaysOnTop(HWND window, std::wstring_view value) {
  HWND after = nullptr;
  if (EqualsNoCase(value, L"On"))
    after = HWND_TOPMOST;
  else if (EqualsNoCase(value, L"Off"))
    after = HWND_NOTOPMOST;
  else if (value.empty() || EqualsNoCase(value, L"Toggle"))
    after = (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) ? HWND_NOTOPMOST : HWND_TOPMOST;
  else
    return;
  SetWindowPos(window, after, 0, 0, 0, 0, kZOrderOnly);
}

// Style and ExStyle: N replaces, +N adds, -N removes, ^N toggles. True when
// the style changed.
bool SetStyle(HWND window, int index, std::wstring_view value) {
  if (value.empty()) return false;
  const wchar_t op = value.front();
  const bool combined = op == L'+' || op == L'-' || op == L'^';
  uint64_t number = 0;
  static_cast<void>(ParseWholeNumber(combined ? value.substr(1) : value, number));
  const DWORD bits = static_cast<DWORD>(number);
  const DWORD old = static_cast<DWORD>(GetWindowLongW(window, index));
  DWORD wanted = bits;
  if (op == L'+') wanted = old | bits;
  if (op == L'-') wanted = old & ~bits;
  if (op == L'^') wanted = old ^ bits;
  SetLastError(0);
  const LONG previous = SetWindowLongW(window, index, static_cast<LONG>(wanted));
  if ((previous == 0 && GetLastError() != 0) || static_cast<DWORD>(GetWindowLongW(window, index)) == old) return false;
  SetWindowPos(window, nullptr, 0, 0, 0, 0, kFrameChanged);
  InvalidateRect(window, nullptr, TRUE);
  return true;
}

// The parts of a Region value.
struct RegionShape {
  std::vector<POINT> Points;
  int Width = 0, Height = 0;
  bool HasWidth = false, HasHeight = false;
  bool Ellipse = false, Rounded = false;
  int CornerWidth = kDefaultCornerSize, CornerHeight = kDefaultCornerSize;
  int FillMode = ALTERNATE;
};

// A number at the start of an item (decimal or 0x hexadecimal).
int ItemNumber(std::wstring_view text) { return static_cast<int>(WholeNumberOr0(text)); }

// Reads one item of a Region value; false for an item it cannot read.
bool ParseRegionItem(std::wstring_view item, RegionShape& shape) {
  const wchar_t first = item.front();
  if (iswdigit(first) || first == L'+' || first == L'-') {
    const size_t dash = item.find(L'-', 1);
    if (dash == std::wstring_view::npos || shape.Points.size() >= kMaxRegionPoints) return false;
    shape.Points.push_back({ItemNumber(item.substr(0, dash)), ItemNumber(item.substr(dash + 1))});
    return true;
  }
  const wchar_t letter = static_cast<wchar_t>(towupper(first));
  const std::wstring_view rest = item.substr(1);
  if (letter == L'W') {
    if (StartsWithNoCase(rest, L"ind")) {
      shape.FillMode = WINDING;
    } else {
      shape.Width = ItemNumber(rest);
      shape.HasWidth = true;
    }
    return true;
  }
  if (letter == L'H') {
    shape.Height = ItemNumber(rest);
    shape.HasHeight = true;
    return true;
  }
  if (letter == L'E') {
    shape.Ellipse = true;
    return true;
  }
  if (letter == L'R') {
    shape.Rounded = true;
    if (rest.empty()) return true;
    const size_t dash = rest.find(L'-');
    if (dash == std::wstring_view::npos) return false;
    shape.CornerWidth = ItemNumber(rest.substr(0, dash));
    shape.CornerHeight = ItemNumber(rest.substr(dash + 1));
    return true;
  }
  return false;
}

// Builds the region a Region value describes; null when it cannot.
HRGN MakeRegion(std::wstring_view value) {
  RegionShape shape;
  size_t at = 0;
  while (at < value.size()) {
    while (at < value.size() && (value[at] == L' ' || value[at] == L'\t')) ++at;
    if (at >= value.size()) break;
    size_t end = value.find_first_of(L" \t", at);
    if (end == std::wstring_view::npos) end = value.size();
    if (!ParseRegionItem(value.substr(at, end - at), shape)) return nullptr;
    at = end;
  }
  if (shape.Points.empty()) return nullptr;
  const POINT corner = shape.Points.front();
  const bool sized = shape.HasWidth && shape.HasHeight;
  if (shape.Ellipse || shape.Rounded) {
    if (!sized) return nullptr;
    if (shape.Ellipse) return CreateEllipticRgn(corner.x, corner.y, corner.x + shape.Width, corner.y + shape.Height);
    return CreateRoundRectRgn(corner.x, corner.y, corner.x + shape.Width, corner.y + shape.Height, shape.CornerWidth,
                              shape.CornerHeight);
  }
  if (sized) return CreateRectRgn(corner.x, corner.y, corner.x + shape.Width, corner.y + shape.Height);
  return CreatePolygonRgn(shape.Points.data(), static_cast<int>(shape.Points.size()), shape.FillMode);
}

// Region: a shape from the value, or the whole window again when empty.
bool SetRegion(HWND window, std::wstring_view value) {
  if (value.empty()) return SetWindowRgn(window, nullptr, TRUE) != 0;
  HRGN region = MakeRegion(value);
  if (!region) return false;
  if (SetWindowRgn(window, region, TRUE)) return true;
  DeleteObject(region);
  return false;
}

// Whether the attribute reports through ErrorLevel.
bool Reports(Attribute kind) {
  return kind == Attribute::Style || kind == Attribute::ExStyle || kind == Attribute::Region;
}

}  // namespace

// WinSet: one attribute of the window.
ResultCode CmdWinSet(ScriptLine& line, CommandArgs& args) {
  const AttributeRow* row = AttributeOf(ArgView(args, kArgAttribute));
  if (!row)
    return ReportLineError(&line, automation_msg::Param1Invalid, ERROR_KIND_ERROR, ArgView(args, kArgAttribute));
  HWND window = ResolveTargetWindow(StringsAt(args, kArgTitle, kArgText, kArgExcludeTitle, kArgExcludeText));
  if (!window) {
    // The silent attributes stay silent, except that a Try still learns
    // that no window was found.
    const bool inTry = (CurrentSettings().ExceptionMode & EXCEPTION_MODE_TRY) != 0;
    return Reports(row->Kind) || inTry ? ReportOutcome(true) : ResultCode::Ok;
  }
  const std::wstring_view value = ArgView(args, kArgValue);
  switch (row->Kind) {
    case Attribute::Transparent:
    case Attribute::TransColor: SetTranslucency(window, row->Kind, value); break;
    case Attribute::AlwaysOnTop: SetAlwaysOnTop(window, value); break;
    case Attribute::Bottom: SetWindowPos(window, HWND_BOTTOM, 0, 0, 0, 0, kZOrderOnly); break;
    case Attribute::Top: SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, kZOrderOnly); break;
    case Attribute::Style: return ReportOutcome(!SetStyle(window, GWL_STYLE, value));
    case Attribute::ExStyle: return ReportOutcome(!SetStyle(window, GWL_EXSTYLE, value));
    case Attribute::Redraw: InvalidateRect(window, nullptr, TRUE); break;
    case Attribute::Enable: EnableWindow(window, TRUE); break;
    case Attribute::Disable: EnableWindow(window, FALSE); break;
    case Attribute::Region: return ReportOutcome(!SetRegion(window, value));
  }
  return ResultCode::Ok;
}
