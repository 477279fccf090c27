// Gui, Submit (see gui_window.h): each control's value by the rules of its
// type, and the radio groups.
//
// Invariant: controls whose type keeps no value (Text, Picture, GroupBox,
// Button, ListView, TreeView, Progress, Link, StatusBar) leave their
// variables alone.
#include <windows.h>
#include <commctrl.h>

#include <cwchar>
#include <string>

#include "gui/gui_controls.h"
#include "gui/gui_hotkey_text.h"
#include "gui/gui_tabs.h"
#include "gui/gui_window.h"
#include "values/variable.h"

namespace {

// A combo or list box item's text.
std::wstring ItemText(HWND hwnd, bool isList, LRESULT index) {
  const LRESULT length = SendMessageW(hwnd, isList ? LB_GETTEXTLEN : CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length < 0) return {};
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  SendMessageW(hwnd, isList ? LB_GETTEXT : CB_GETLBTEXT, static_cast<WPARAM>(index),
               reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(length));
  return text;
}

// A check state as "1", "0" or "-1".
std::wstring CheckValue(HWND hwnd) {
  const LRESULT state = SendMessageW(hwnd, BM_GETCHECK, 0, 0);
  return state == BST_CHECKED ? L"1" : state == BST_INDETERMINATE ? L"-1" : L"0";
}

// Text of a ComboBox: the selection, or the edit text matched to an item.
std::wstring ComboValue(const GuiControlInfo& control, bool altSubmit) {
  HWND hwnd = control.Hwnd;
  LRESULT index = SendMessageW(hwnd, CB_GETCURSEL, 0, 0);
  if (control.Type == ControlType::ComboBox) {
    const std::wstring edit = ControlText(hwnd);
    const LRESULT exact =
        SendMessageW(hwnd, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(edit.c_str()));
    index = exact;
    if (index == CB_ERR) return edit;
  }
  if (index == CB_ERR) return {};
  return altSubmit ? std::to_wstring(index + 1) : ItemText(hwnd, false, index);
}

// A ListBox: one item, or every selected item joined by the delimiter.
std::wstring ListBoxValue(const GuiWindow& window, HWND hwnd, bool altSubmit) {
  const LONG style = GetWindowLongW(hwnd, GWL_STYLE);
  if (!(style & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL))) {
    const LRESULT index = SendMessageW(hwnd, LB_GETCURSEL, 0, 0);
    if (index == LB_ERR) return {};
    return altSubmit ? std::to_wstring(index + 1) : ItemText(hwnd, true, index);
  }
  const LRESULT count = SendMessageW(hwnd, LB_GETSELCOUNT, 0, 0);
  if (count <= 0) return {};
  std::vector<int> items(static_cast<size_t>(count));
  SendMessageW(hwnd, LB_GETSELITEMS, static_cast<WPARAM>(count), reinterpret_cast<LPARAM>(items.data()));
  std::wstring value;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i) value.push_back(window.Delimiter);
    value += altSubmit ? std::to_wstring(items[i] + 1) : ItemText(hwnd, true, items[i]);
  }
  return value;
}

// An Edit's text with CR LF turned into LF.
std::wstring EditValue(HWND hwnd) {
  std::wstring text = ControlText(hwnd);
  std::wstring out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i)
    if (!(text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n')) out.push_back(text[i]);
  return out;
}

// A time stamp YYYYMMDDHH24MISS.
std::wstring TimeStamp(const SYSTEMTIME& t, bool withTime) {
  wchar_t text[20];
  if (withTime)
    swprintf(text, 20, L"%04d%02d%02d%02d%02d%02d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
  else
    swprintf(text, 20, L"%04d%02d%02d", t.wYear, t.wMonth, t.wDay);
  return text;
}

// Whether the control's type keeps a value that Submit stores.
bool KeepsValue(ControlType type) {
  switch (type) {
    case ControlType::Text:
    case ControlType::Picture:
    case ControlType::GroupBox:
    case ControlType::Button:
    case ControlType::ListView:
    case ControlType::TreeView:
    case ControlType::Progress:
    case ControlType::Link:
    case ControlType::StatusBar:
    case ControlType::ActiveX: return false;
    default: return true;
  }
}

// The value Submit stores for a control that keeps one.
std::wstring SubmitValue(const GuiWindow& window, const GuiControlInfo& control) {
  HWND hwnd = control.Hwnd;
  const bool alt = (control.Attrib & ATTRIB_ALTSUBMIT) != 0;
  switch (control.Type) {
    case ControlType::Checkbox:
    case ControlType::Radio: return CheckValue(hwnd);
    case ControlType::DropDownList:
    case ControlType::ComboBox: return ComboValue(control, alt);
    case ControlType::ListBox: return ListBoxValue(window, hwnd, alt);
    case ControlType::Edit: return EditValue(hwnd);
    case ControlType::DateTime: {
      SYSTEMTIME t = {};
      return SendMessageW(hwnd, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&t)) == GDT_VALID ? TimeStamp(t, true)
                                                                                                 : std::wstring();
    }
    case ControlType::MonthCal: {
      if (GetWindowLongW(hwnd, GWL_STYLE) & MCS_MULTISELECT) {
        SYSTEMTIME range[2] = {};
        SendMessageW(hwnd, MCM_GETSELRANGE, 0, reinterpret_cast<LPARAM>(range));
        return TimeStamp(range[0], false) + L"-" + TimeStamp(range[1], false);
      }
      SYSTEMTIME t = {};
      SendMessageW(hwnd, MCM_GETCURSEL, 0, reinterpret_cast<LPARAM>(&t));
      return TimeStamp(t, false);
    }
    case ControlType::Hotkey: return HotkeyToText(static_cast<WORD>(SendMessageW(hwnd, HKM_GETHOTKEY, 0, 0)));
    case ControlType::UpDown: return std::to_wstring(static_cast<int>(SendMessageW(hwnd, UDM_GETPOS32, 0, 0)));
    case ControlType::Slider: {
      const LRESULT position = SendMessageW(hwnd, TBM_GETPOS, 0, 0);
      if (!(control.Attrib & ATTRIB_TYPE_SPECIFIC)) return std::to_wstring(position);
      return std::to_wstring(SendMessageW(hwnd, TBM_GETRANGEMAX, 0, 0) + SendMessageW(hwnd, TBM_GETRANGEMIN, 0, 0) -
                             position);
    }
    case ControlType::Tab: {
      const LRESULT index = SendMessageW(hwnd, TCM_GETCURSEL, 0, 0);
      if (index < 0) return {};
      return alt ? std::to_wstring(index + 1) : TabItemText(hwnd, static_cast<int>(index));
    }
    default: return ControlText(hwnd);
  }
}

// Whether a control starts a group (has WS_GROUP).
bool StartsGroup(const GuiControlInfo& control) { return (GetWindowLongW(control.Hwnd, GWL_STYLE) & WS_GROUP) != 0; }

// Stores the radios of one group [begin, end).
ResultCode SubmitRadioGroup(const GuiWindow& window, size_t begin, size_t end) {
  int radios = 0, withVariable = 0, checkedPosition = 0, checkedCount = 0;
  Variable* only = nullptr;
  for (size_t i = begin; i < end; ++i) {
    const GuiControlInfo& control = window.Controls[i];
    if (control.Type != ControlType::Radio) continue;
    ++radios;
    const bool checked = SendMessageW(control.Hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
    if (checked) {
      ++checkedCount;
      checkedPosition = radios;
    }
    if (control.Var) {
      ++withVariable;
      only = control.Var;
      if (control.Var->Assign(checked ? L"1" : L"0") != ResultCode::Ok) return ResultCode::Fail;
    }
  }
  if (radios > 1 && withVariable == 1) return only->Assign(std::to_wstring(checkedCount == 1 ? checkedPosition : 0));
  return ResultCode::Ok;
}

}  // namespace

ResultCode StoreControlValue(const GuiWindow& window, const GuiControlInfo& control) {
  if (!control.Var || !KeepsValue(control.Type)) return ResultCode::Ok;
  return control.Var->Assign(SubmitValue(window, control));
}

ResultCode SubmitGuiWindow(GuiWindow& window) {
  for (const GuiControlInfo& control : window.Controls) {
    if (!control.Var || control.Type == ControlType::Radio || !KeepsValue(control.Type)) continue;
    if (control.Var->Assign(SubmitValue(window, control)) != ResultCode::Ok) return ResultCode::Fail;
  }
  size_t begin = 0;
  for (size_t i = 0; i <= window.Controls.size(); ++i) {
    if (i == window.Controls.size() || (i > begin && StartsGroup(window.Controls[i]))) {
      if (SubmitRadioGroup(window, begin, i) != ResultCode::Ok) return ResultCode::Fail;
      begin = i;
    }
  }
  return ResultCode::Ok;
}
