// The script windows' procedure and events (see gui_window_proc.h).
//
// Events never run inside the window procedure: it posts kMsgGuiAction to
// its own window and the message loop's filter starts the thread, so the
// handler sees the state of the moment it runs. A thread's event record
// lives on the stack of RunGuiAction for exactly as long as the thread runs;
// the record's shared_ptr keeps the window alive even when the handler
// destroys it.
#include "gui/gui_window_proc.h"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "exec/exec_state.h"
#include "gui/gui_controls.h"
#include "gui/gui_tabs.h"
#include "gui/gui_window.h"
#include "objects/callbacks.h"
#include "objects/func.h"
#include "objects/objects_state.h"
#include "values/numeric_text.h"
#include "values/object.h"
#include "values/thread_settings.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

// Event codes carried in the low word of kMsgGuiAction's wParam.
enum GuiEventCode : int {
  EVENT_NORMAL = 1,
  EVENT_DOUBLECLICK = 2,
  EVENT_RIGHTCLICK = 3,
  EVENT_COLCLICK = 4,
  EVENT_DROPFILES = 5,
  EVENT_CLOSE = 6,
  EVENT_ESCAPE = 7,
  EVENT_SIZE = 8,
  EVENT_CONTEXTMENU = 9,
};

// A_GuiEvent texts of the numbered events.
const wchar_t* const kEventTexts[] = {L"", L"Normal", L"DoubleClick", L"RightClick", L"ColClick"};

// Posts an event to the window.
void PostEvent(HWND hwnd, int index, int code, LPARAM info) {
  PostMessageW(hwnd, kMsgGuiAction, static_cast<WPARAM>((index << 16) | code), info);
}

// Posts a control's event when it has a handler or hides the window.
void PostControlEvent(GuiWindow& window, size_t index, int code, LPARAM info = 0) {
  const GuiControlInfo& control = window.Controls[index];
  if (control.Handler || (control.Attrib & ATTRIB_IMPLICIT_CANCEL))
    PostEvent(window.Hwnd, static_cast<int>(index), code, info);
}

// The window's Escape event, when it has a handler.
void PostEscape(const GuiWindow& window) {
  if (window.Handlers[WINDOW_ESCAPE]) PostEvent(window.Hwnd, kNoControl, EVENT_ESCAPE, 0);
}

// WM_COMMAND from a control: which notifications are events.
void HandleControlCommand(GuiWindow& window, size_t index, UINT code) {
  const GuiControlInfo& control = window.Controls[index];
  switch (control.Type) {
    case ControlType::Text:
    case ControlType::Picture:
      if (code == STN_CLICKED) PostControlEvent(window, index, EVENT_NORMAL);
      if (code == STN_DBLCLK) PostControlEvent(window, index, EVENT_DOUBLECLICK);
      break;
    case ControlType::Button:
    case ControlType::Checkbox:
    case ControlType::Radio:
      if (code == BN_CLICKED) {
        if (control.Type != ControlType::Radio || SendMessageW(control.Hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED)
          PostControlEvent(window, index, EVENT_NORMAL);
      } else if (code == BN_DOUBLECLICKED) {
        PostControlEvent(window, index, EVENT_DOUBLECLICK);
      }
      break;
    case ControlType::DropDownList:
    case ControlType::ComboBox:
      if (code == CBN_SELCHANGE || code == CBN_EDITCHANGE) PostControlEvent(window, index, EVENT_NORMAL);
      if (code == CBN_DBLCLK) PostControlEvent(window, index, EVENT_DOUBLECLICK);
      break;
    case ControlType::ListBox:
      if (code == LBN_SELCHANGE) PostControlEvent(window, index, EVENT_NORMAL);
      if (code == LBN_DBLCLK)
        PostControlEvent(window, index, EVENT_DOUBLECLICK, SendMessageW(control.Hwnd, LB_GETCARETINDEX, 0, 0) + 1);
      break;
    case ControlType::Edit:
      if (code == EN_CHANGE) PostControlEvent(window, index, EVENT_NORMAL);
      break;
    case ControlType::Custom: PostControlEvent(window, index, EVENT_NORMAL, static_cast<LPARAM>(code)); break;
    default: PostControlEvent(window, index, EVENT_NORMAL); break;
  }
}

// WM_NOTIFY from a control.
LRESULT HandleControlNotify(GuiWindow& window, size_t index, NMHDR& header) {
  GuiControlInfo& control = window.Controls[index];
  const UINT code = header.code;
  switch (control.Type) {
    case ControlType::Tab:
      // The variable holds the page being left while the handler waits for
      // the change, as a handler that reads it before Submit expects.
      if (code == TCN_SELCHANGING && control.Handler) static_cast<void>(StoreControlValue(window, control));
      if (code == TCN_SELCHANGE) {
        ApplyTabPage(window, index);
        PostControlEvent(window, index, EVENT_NORMAL);
      }
      break;
    case ControlType::Link:
      if (code == NM_CLICK || code == NM_RETURN) {
        auto& link = reinterpret_cast<NMLINK&>(header);
        const bool launched =
            link.item.szUrl[0] && reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, nullptr, link.item.szUrl, nullptr,
                                                                          nullptr, SW_SHOWNORMAL)) > 32;
        if (!launched) PostControlEvent(window, index, EVENT_NORMAL, link.item.iLink + 1);
      }
      break;
    case ControlType::ListView: {
      const auto& item = reinterpret_cast<NMITEMACTIVATE&>(header);
      if (code == NM_DBLCLK) PostControlEvent(window, index, EVENT_DOUBLECLICK, item.iItem + 1);
      if (code == NM_RDBLCLK) PostControlEvent(window, index, 'R', item.iItem + 1);
      if (code == LVN_COLUMNCLICK)
        PostControlEvent(window, index, EVENT_COLCLICK, reinterpret_cast<NMLISTVIEW&>(header).iSubItem + 1);
      if ((control.Attrib & ATTRIB_ALTSUBMIT) && code == NM_CLICK)
        PostControlEvent(window, index, EVENT_NORMAL, item.iItem + 1);
      if ((control.Attrib & ATTRIB_ALTSUBMIT) && code == NM_RCLICK)
        PostControlEvent(window, index, EVENT_RIGHTCLICK, item.iItem + 1);
      break;
    }
    case ControlType::TreeView:
      if (code == TVN_SELCHANGEDW)
        PostControlEvent(window, index, 'S',
                         reinterpret_cast<LPARAM>(reinterpret_cast<NMTREEVIEWW&>(header).itemNew.hItem));
      if (code == NM_DBLCLK) PostControlEvent(window, index, EVENT_DOUBLECLICK);
      break;
    case ControlType::DateTime:
      if (code == DTN_DATETIMECHANGE) PostControlEvent(window, index, EVENT_NORMAL);
      break;
    case ControlType::MonthCal:
      if (code == MCN_SELCHANGE) PostControlEvent(window, index, EVENT_NORMAL);
      break;
    case ControlType::StatusBar: {
      const auto& mouse = reinterpret_cast<NMMOUSE&>(header);
      const LPARAM part = static_cast<LPARAM>(mouse.dwItemSpec) + 1;
      if (code == NM_CLICK) PostControlEvent(window, index, EVENT_NORMAL, part);
      if (code == NM_DBLCLK) PostControlEvent(window, index, EVENT_DOUBLECLICK, part);
      if (code == NM_RCLICK) PostControlEvent(window, index, EVENT_RIGHTCLICK, part);
      if (code == NM_RDBLCLK) PostControlEvent(window, index, 'R', part);
      break;
    }
    default: break;
  }
  return 0;
}

// WM_HSCROLL / WM_VSCROLL from a Slider or UpDown.
void HandleScroll(GuiWindow& window, size_t index, UINT code) {
  const GuiControlInfo& control = window.Controls[index];
  if (control.Type == ControlType::Slider) {
    if (code == TB_ENDTRACK)
      PostControlEvent(window, index, EVENT_NORMAL);
    else if (control.Attrib & ATTRIB_ALTSUBMIT)
      PostControlEvent(window, index, static_cast<int>(L'0' + code));
  } else if (control.Type == ControlType::UpDown && code == SB_THUMBPOSITION) {
    PostControlEvent(window, index, EVENT_NORMAL);
  }
}

// The control index of a child handle, or -1.
int IndexOfControl(const GuiWindow& window, HWND child) {
  for (size_t i = 0; i < window.Controls.size(); ++i)
    if (window.Controls[i].Hwnd == child) return static_cast<int>(i);
  return -1;
}

// WM_CTLCOLOR*: the control's text colour and the window's backgrounds.
LRESULT ControlColors(GuiWindow& window, UINT message, HDC dc, HWND child, bool& handled) {
  handled = false;
  const int index = IndexOfControl(window, child);
  if (index < 0) return 0;
  GuiControlInfo& control = window.Controls[static_cast<size_t>(index)];
  if (control.Type == ControlType::ComboBox) return 0;
  handled = true;
  SetTextColor(dc, control.Color != kColorDefault && control.Type != ControlType::Picture
                       ? control.Color
                       : GetSysColor(COLOR_WINDOWTEXT));
  const bool transparentAllowed = control.Type != ControlType::Checkbox && control.Type != ControlType::Radio &&
                                  control.Type != ControlType::ListBox && control.Type != ControlType::Edit &&
                                  control.Type != ControlType::Slider;
  if ((control.Attrib & ATTRIB_TRANSPARENT) && transparentAllowed) {
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
  }
  if (!(control.Attrib & ATTRIB_DEFAULT_BACKGROUND)) {
    if (message == WM_CTLCOLORSTATIC && window.BackBrush) {
      SetBkColor(dc, window.BackColor);
      // A SysLink deletes the brush its parent hands it (seen on Wine), so it
      // gets a brush of its own, kept in its image slot.
      if (control.Type == ControlType::Link) {
        if (!control.Image) control.Image = CreateSolidBrush(window.BackColor);
        return reinterpret_cast<LRESULT>(control.Image);
      }
      return reinterpret_cast<LRESULT>(window.BackBrush);
    }
    if (message != WM_CTLCOLORSTATIC && window.ControlBrush) {
      SetBkColor(dc, window.ControlColor);
      return reinterpret_cast<LRESULT>(window.ControlBrush);
    }
  }
  if (control.Color != kColorDefault) {
    const int sys = message == WM_CTLCOLORSTATIC ? COLOR_BTNFACE : COLOR_WINDOW;
    SetBkColor(dc, GetSysColor(sys));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(sys));
  }
  handled = false;
  return 0;
}

// A_Gui and its fellows: the running thread's event, or null.
const GuiEvent* CurrentEvent() { return static_cast<const GuiEvent*>(Values().CurrentThread->GuiEvent); }

// Starts the handler's thread with the event as its context.
ResultCode LaunchEventThread(GuiEvent& event, const std::shared_ptr<ScriptCallback>& handler, ExprToken* tokens,
                             int count, ExprToken* result) {
  ExprToken* params[8];
  // A function gets no more parameters than it declares.
  if (Func* func = AsFunc(handler->TargetObject());
      func && !func->IsVariadic && static_cast<int>(func->Params.size()) < count)
    count = static_cast<int>(func->Params.size());
  if (handler->TargetLabel()) count = 0;
  for (int i = 0; i < count; ++i) params[i] = &tokens[i];
  ThreadSettings& defaults = Values().ThreadDefaults;
  const void* savedEvent = defaults.GuiEvent;
  const uint32_t savedDefault = defaults.GuiDefaultWindow;
  defaults.GuiEvent = &event;
  defaults.GuiDefaultWindow = event.Window->Serial;
  const auto keep = handler;
  const ResultCode ran = Objects().Threads.Launch(*keep, 0, params, count, result);
  defaults.GuiEvent = savedEvent;
  defaults.GuiDefaultWindow = savedDefault;
  return ran;
}

// A handle as a parameter token.
void SetHandleToken(ExprToken& token, HWND hwnd) {
  token.SetInteger(static_cast<int64_t>(reinterpret_cast<UINT_PTR>(hwnd)));
}

// The files of a drop, one per element.
std::vector<std::wstring> DroppedFiles(HDROP drop) {
  std::vector<std::wstring> files;
  const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    const UINT length = DragQueryFileW(drop, i, nullptr, 0);
    std::wstring file(length + 1, L'\0');
    DragQueryFileW(drop, i, file.data(), length + 1);
    file.resize(length);
    files.push_back(file);
  }
  return files;
}

// Runs a window event's thread (Close, Escape, Size, ContextMenu, DropFiles).
void RunWindowEvent(const std::shared_ptr<GuiWindow>& window, GuiWindowEvent kind, GuiEvent& event, LPARAM lParam,
                    int sizeType) {
  auto handler = window->Handlers[static_cast<size_t>(kind)];
  bool& running = window->EventRunning[static_cast<size_t>(kind)];
  if (!handler || running) return;
  ExprToken tokens[6];
  SetHandleToken(tokens[0], window->Hwnd);
  int count = 1;
  std::wstring controlHandle;
  Object* files = nullptr;
  if (kind == WINDOW_SIZE) {
    event.Width = UnscaleSize(*window, LOWORD(lParam));
    event.Height = UnscaleSize(*window, HIWORD(lParam));
    event.EventInfo = sizeType;
    tokens[1].SetInteger(sizeType);
    tokens[2].SetInteger(event.Width);
    tokens[3].SetInteger(event.Height);
    count = 4;
  } else if (kind == WINDOW_CONTEXTMENU || kind == WINDOW_DROPFILES) {
    HWND control = event.ControlIndex < static_cast<int>(window->Controls.size())
                       ? window->Controls[static_cast<size_t>(event.ControlIndex)].Hwnd
                       : nullptr;
    controlHandle = control ? GuiHandleText(control) : std::wstring();
    if (kind == WINDOW_CONTEXTMENU) {
      tokens[1].SetText(controlHandle.c_str());
      tokens[2].SetInteger(event.EventInfo);
      tokens[3].SetInteger(event.EventText == L"RightClick" ? 1 : 0);
      tokens[4].SetInteger(event.X);
      tokens[5].SetInteger(event.Y);
      count = 6;
    } else {
      std::vector<std::wstring> names = DroppedFiles(window->PendingDrop);
      for (size_t i = 0; i < names.size(); ++i) event.EventText += (i ? L"\n" : L"") + names[i];
      files = Object::CreateArray(names);
      if (files) tokens[1].SetObject(files);
      tokens[2].SetText(controlHandle.c_str());
      tokens[3].SetInteger(event.X);
      tokens[4].SetInteger(event.Y);
      count = files ? 5 : 1;
      DragAcceptFiles(window->Hwnd, FALSE);
    }
  }
  ExprToken result;
  result.SetText(L"");
  running = true;
  static_cast<void>(LaunchEventThread(event, handler, tokens, count, &result));
  running = false;
  const bool keepShown = handler->TargetLabel() || TakeCallbackResultTruth(result);
  if (kind == WINDOW_CLOSE && !keepShown && window->Hwnd) ShowWindow(window->Hwnd, SW_HIDE);
  if (kind == WINDOW_DROPFILES) {
    if (files) files->Release();
    if (window->PendingDrop) DragFinish(window->PendingDrop);
    window->PendingDrop = nullptr;
    if (window->Hwnd) DragAcceptFiles(window->Hwnd, TRUE);
  }
}

// Runs a control's event thread, or hides the window for an implicit Cancel.
void RunControlEvent(const std::shared_ptr<GuiWindow>& window, GuiEvent& event) {
  const size_t index = static_cast<size_t>(event.ControlIndex);
  GuiControlInfo& control = window->Controls[index];
  if (!control.Handler) {
    if (control.Attrib & ATTRIB_IMPLICIT_CANCEL) ShowWindow(window->Hwnd, SW_HIDE);
    return;
  }
  if (control.Attrib & ATTRIB_HANDLER_RUNNING) return;
  auto handler = control.Handler;
  HWND hwnd = control.Hwnd;
  ExprToken tokens[3];
  SetHandleToken(tokens[0], hwnd);
  tokens[1].SetText(event.EventText.c_str());
  tokens[2].SetInteger(event.EventInfo);
  control.Attrib |= ATTRIB_HANDLER_RUNNING;
  static_cast<void>(LaunchEventThread(event, handler, tokens, 3, nullptr));
  // The handler may have destroyed the window and its controls.
  if (index < window->Controls.size() && window->Controls[index].Hwnd == hwnd)
    window->Controls[index].Attrib &= static_cast<uint8_t>(~ATTRIB_HANDLER_RUNNING);
}

// The number a callback returned (0 for an object or a non-number), its
// value released.
LRESULT TakeCallbackResultNumber(ExprToken& result) {
  LRESULT number = 0;
  switch (result.Symbol) {
    case ExprSymbol::Integer: number = static_cast<LRESULT>(result.ValueInt64); break;
    case ExprSymbol::Float: number = static_cast<LRESULT>(result.ValueDouble); break;
    case ExprSymbol::String:
    case ExprSymbol::RawWord: number = static_cast<LRESULT>(TextToInteger(result.Text ? result.Text : L"")); break;
    default: break;
  }
  static_cast<void>(TakeCallbackResultTruth(result));
  return number;
}

// A Custom control's WM_NOTIFY: its handler runs at once, inside the window
// procedure, because the control waits for the answer; the handler's
// return value is that answer. No new thread may start: the answer is 0.
LRESULT RunCustomNotify(const std::shared_ptr<GuiWindow>& window, size_t index, NMHDR& header) {
  GuiControlInfo& control = window->Controls[index];
  if (!control.Handler || (control.Attrib & ATTRIB_HANDLER_RUNNING)) return 0;
  if (!Objects().Threads.CanLaunch || !Objects().Threads.CanLaunch(0)) return 0;
  GuiEvent event;
  event.Window = window;
  event.ControlIndex = static_cast<int>(index);
  event.EventText = L"N";
  event.EventInfo = static_cast<int64_t>(reinterpret_cast<INT_PTR>(&header));
  auto handler = control.Handler;
  HWND hwnd = control.Hwnd;
  ExprToken tokens[3];
  SetHandleToken(tokens[0], hwnd);
  tokens[1].SetText(event.EventText.c_str());
  tokens[2].SetInteger(event.EventInfo);
  ExprToken result;
  result.SetText(L"");
  control.Attrib |= ATTRIB_HANDLER_RUNNING;
  static_cast<void>(LaunchEventThread(event, handler, tokens, 3, &result));
  if (index < window->Controls.size() && window->Controls[index].Hwnd == hwnd)
    window->Controls[index].Attrib &= static_cast<uint8_t>(~ATTRIB_HANDLER_RUNNING);
  return TakeCallbackResultNumber(result);
}

// Starts the thread a posted event asks for.
void RunGuiAction(const std::shared_ptr<GuiWindow>& window, WPARAM wParam, LPARAM lParam, POINT cursor) {
  const int code = static_cast<int>(wParam & 0xFFFF);
  const int index = static_cast<int>((wParam >> 16) & 0xFFFF);
  if (!Objects().Threads.CanLaunch || !Objects().Threads.CanLaunch(0)) {
    if (code == EVENT_DROPFILES && window->PendingDrop) {
      DragFinish(window->PendingDrop);
      window->PendingDrop = nullptr;
    }
    return;
  }
  GuiEvent event;
  event.Window = window;
  event.ControlIndex = code == EVENT_SIZE ? kNoControl : index;
  event.EventInfo = lParam;
  RECT rect = {};
  GetWindowRect(window->Hwnd, &rect);
  event.X = cursor.x - rect.left;
  event.Y = cursor.y - rect.top;
  switch (code) {
    case EVENT_CLOSE: RunWindowEvent(window, WINDOW_CLOSE, event, lParam, 0); return;
    case EVENT_ESCAPE: RunWindowEvent(window, WINDOW_ESCAPE, event, lParam, 0); return;
    case EVENT_SIZE: RunWindowEvent(window, WINDOW_SIZE, event, lParam, index); return;
    case EVENT_CONTEXTMENU:
      event.EventText = lParam ? L"Normal" : L"RightClick";
      event.EventInfo = 0;
      RunWindowEvent(window, WINDOW_CONTEXTMENU, event, lParam, 0);
      return;
    case EVENT_DROPFILES: RunWindowEvent(window, WINDOW_DROPFILES, event, lParam, 0); return;
    default: break;
  }
  if (index >= static_cast<int>(window->Controls.size())) return;
  event.EventText = code >= EVENT_NORMAL && code <= EVENT_COLCLICK ? std::wstring(kEventTexts[code])
                                                                   : std::wstring(1, static_cast<wchar_t>(code));
  RunControlEvent(window, event);
}

// WM_CONTEXTMENU: the control under the point, or the focused one from the keyboard.
void HandleContextMenu(GuiWindow& window, HWND target, LPARAM lParam) {
  if (!window.Handlers[WINDOW_CONTEXTMENU]) return;
  const bool keyboard = lParam == -1;
  HWND control = target;
  if (!keyboard && target == window.Hwnd) {
    POINT point = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    ScreenToClient(window.Hwnd, &point);
    if (point.y < 0) return;
    control = ChildWindowFromPoint(window.Hwnd, point);
  }
  const int index = control && control != window.Hwnd ? IndexOfControl(window, control) : -1;
  PostEvent(window.Hwnd, index < 0 ? kNoControl : index, EVENT_CONTEXTMENU, keyboard ? 1 : 0);
}

// WM_DROPFILES: keeps the drop for the handler's thread.
void HandleDropFiles(GuiWindow& window, HDROP drop) {
  if (!window.Handlers[WINDOW_DROPFILES] || window.PendingDrop) {
    DragFinish(drop);
    return;
  }
  window.PendingDrop = drop;
  POINT point = {};
  DragQueryPoint(drop, &point);
  HWND child = ChildWindowFromPoint(window.Hwnd, point);
  const int index = child && child != window.Hwnd ? IndexOfControl(window, child) : -1;
  PostEvent(window.Hwnd, index < 0 ? kNoControl : index, EVENT_DROPFILES, 0);
}

// A window event that posts its code when the window has a handler.
void PostWindowEvent(const GuiWindow& window, GuiWindowEvent kind, int code) {
  if (window.Handlers[static_cast<size_t>(kind)]) PostEvent(window.Hwnd, kNoControl, code, 0);
}

// The built-in variables' getters.
size_t GetGui(wchar_t* buffer, const wchar_t*) {
  const GuiEvent* event = CurrentEvent();
  if (!event) return PutBuiltInText(buffer, L"");
  const GuiWindow& window = *event->Window;
  return PutBuiltInText(buffer, window.Name.empty() ? GuiHandleText(window.Hwnd) : window.Name);
}
size_t GetGuiControl(wchar_t* buffer, const wchar_t*) {
  const GuiEvent* event = CurrentEvent();
  if (!event || event->ControlIndex < 0 || event->ControlIndex >= static_cast<int>(event->Window->Controls.size()))
    return PutBuiltInText(buffer, L"");
  const GuiControlInfo& control = event->Window->Controls[static_cast<size_t>(event->ControlIndex)];
  return PutBuiltInText(buffer, control.Var ? std::wstring(control.Var->Name()) : ControlText(control.Hwnd));
}
size_t GetGuiEvent(wchar_t* buffer, const wchar_t*) {
  const GuiEvent* event = CurrentEvent();
  return PutBuiltInText(buffer, event ? event->EventText : std::wstring());
}
size_t GetEventInfo(wchar_t* buffer, const wchar_t*) {
  // A handler running inside the thread (a regex callout) has the say.
  if (const int64_t info = Values().CurrentThread->EventInfo) return PutBuiltInText(buffer, std::to_wstring(info));
  const GuiEvent* event = CurrentEvent();
  return PutBuiltInText(buffer, event ? std::to_wstring(event->EventInfo) : L"0");
}
// A coordinate, or "" when the event has none.
size_t PutCoordinate(wchar_t* buffer, int value) {
  return PutBuiltInText(buffer, value == kCoordNotGiven ? std::wstring() : std::to_wstring(value));
}
size_t GetGuiX(wchar_t* buffer, const wchar_t*) {
  const GuiEvent* event = CurrentEvent();
  return PutCoordinate(buffer, event ? event->X : kCoordNotGiven);
}
size_t GetGuiY(wchar_t* buffer, const wchar_t*) {
  const GuiEvent* event = CurrentEvent();
  return PutCoordinate(buffer, event ? event->Y : kCoordNotGiven);
}
size_t GetGuiWidth(wchar_t* buffer, const wchar_t*) {
  const GuiEvent* event = CurrentEvent();
  return PutBuiltInText(buffer, event ? std::to_wstring(event->Width) : L"");
}
size_t GetGuiHeight(wchar_t* buffer, const wchar_t*) {
  const GuiEvent* event = CurrentEvent();
  return PutBuiltInText(buffer, event ? std::to_wstring(event->Height) : L"");
}

const BuiltInVarDef kGuiVariables[] = {
    {L"A_Gui", GetGui},           {L"A_GuiControl", GetGuiControl},
    {L"A_GuiEvent", GetGuiEvent}, {L"A_EventInfo", GetEventInfo},
    {L"A_GuiX", GetGuiX},         {L"A_GuiY", GetGuiY},
    {L"A_GuiWidth", GetGuiWidth}, {L"A_GuiHeight", GetGuiHeight},
};

// The keyboard handling an Edit gets before the dialog manager: Escape,
// Ctrl+A and a typed tab.
bool HandleEditKey(GuiWindow& window, const GuiControlInfo& control, const MSG& msg) {
  if (msg.message != WM_KEYDOWN) return false;
  if (msg.wParam == VK_ESCAPE) {
    PostEscape(window);
    return true;
  }
  if (msg.wParam == 'A' && (GetKeyState(VK_CONTROL) & 0x8000) && !(GetKeyState(VK_RMENU) & 0x8000)) {
    if (control.Attrib & ATTRIB_ALTSUBMIT) return false;
    SendMessageW(control.Hwnd, EM_SETSEL, 0, -1);
    return true;
  }
  if (msg.wParam == VK_TAB && (control.Attrib & ATTRIB_TYPE_SPECIFIC)) {
    SendMessageW(control.Hwnd, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"\t"));
    return true;
  }
  return false;
}

// Gives the focus to the first control of a Tab's page that takes it, or
// to the Tab control itself.
void FocusPage(const GuiWindow& window, const GuiControlInfo& tab, int page) {
  for (const GuiControlInfo& control : window.Controls) {
    if (control.Type == ControlType::Tab || control.TabControl != tab.TabPage || control.TabPage != page) continue;
    if (IsWindowVisible(control.Hwnd) && IsWindowEnabled(control.Hwnd) &&
        (GetWindowLongW(control.Hwnd, GWL_STYLE) & WS_TABSTOP)) {
      SetFocus(control.Hwnd);
      return;
    }
  }
  SetFocus(tab.Hwnd);
}

// Selects a page of a Tab control from the keyboard as a click does: the
// value stored when there is a handler, the page applied, the event raised.
void SelectTabPage(GuiWindow& window, size_t index, int page, bool focusPage) {
  GuiControlInfo& tab = window.Controls[index];
  if (tab.Handler) static_cast<void>(StoreControlValue(window, tab));
  SendMessageW(tab.Hwnd, TCM_SETCURSEL, static_cast<WPARAM>(page), 0);
  ApplyTabPage(window, index);
  PostControlEvent(window, index, EVENT_NORMAL);
  if (focusPage) FocusPage(window, window.Controls[index], page);
}

// The keys that switch Tab control pages: Left and Right on a focused Tab
// control (no wrap), and Ctrl+Tab, Ctrl+Shift+Tab, Ctrl+Page Down and
// Ctrl+Page Up from anywhere in the window (wrapping). Returns whether the
// key was used.
bool HandleTabControlKey(GuiWindow& window, size_t focusIndex, const MSG& msg) {
  if (msg.message != WM_KEYDOWN || !window.TabControlCount) return false;
  const WPARAM key = msg.wParam;
  const bool arrow = key == VK_LEFT || key == VK_RIGHT;
  if (!arrow && key != VK_TAB && key != VK_PRIOR && key != VK_NEXT) return false;
  const GuiControlInfo& focused = window.Controls[focusIndex];
  if (focused.Type == ControlType::Hotkey) return false;
  if (focused.Type == ControlType::Tab && arrow) {
    const int count = static_cast<int>(SendMessageW(focused.Hwnd, TCM_GETITEMCOUNT, 0, 0));
    const int next = static_cast<int>(SendMessageW(focused.Hwnd, TCM_GETCURSEL, 0, 0)) + (key == VK_LEFT ? -1 : 1);
    if (next >= 0 && next < count) SelectTabPage(window, focusIndex, next, false);
    return true;
  }
  if (!(GetKeyState(VK_CONTROL) & 0x8000) || arrow) return false;
  // In a multi-line Edit, Ctrl+Tab is the Edit's own.
  if (key == VK_TAB && focused.Type == ControlType::Edit && (GetWindowLongW(focused.Hwnd, GWL_STYLE) & ES_MULTILINE))
    return false;
  int tabIndex = focused.Type == ControlType::Tab ? static_cast<int>(focusIndex) : -1;
  if (tabIndex < 0 && focused.TabControl != kNoTab) tabIndex = TabControlAt(window, focused.TabControl);
  if (tabIndex < 0) tabIndex = TabControlAt(window, 0);
  if (tabIndex < 0) return false;
  HWND tab = window.Controls[static_cast<size_t>(tabIndex)].Hwnd;
  if (!IsWindowEnabled(tab)) return false;
  const int count = static_cast<int>(SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0));
  if (count <= 0) return true;
  const bool back = key == VK_PRIOR || (key == VK_TAB && (GetKeyState(VK_SHIFT) & 0x8000));
  const int current = static_cast<int>(SendMessageW(tab, TCM_GETCURSEL, 0, 0));
  const int next = ((current < 0 ? 0 : current) + (back ? count - 1 : 1)) % count;
  SelectTabPage(window, static_cast<size_t>(tabIndex), next, true);
  return true;
}

}  // namespace

std::span<const BuiltInVarDef> GuiVariables() { return kGuiVariables; }

bool GuiMessageFilter(MSG& msg) {
  if (msg.message == kMsgGuiAction) {
    auto window = FindGuiByHwnd(msg.hwnd);
    if (!window) return false;
    RunGuiAction(window, msg.wParam, msg.lParam, msg.pt);
    return true;
  }
  if (Gui().Windows.empty() || !msg.hwnd) return false;
  if (Exec().Hooks.MainWindow && msg.hwnd == Exec().Hooks.MainWindow()) return false;
  if (msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST) {
    int index = -1;
    if (auto window = FindGuiOfControl(GetFocus(), index)) {
      if (HandleTabControlKey(*window, static_cast<size_t>(index), msg)) return true;
      const GuiControlInfo& control = window->Controls[static_cast<size_t>(index)];
      if (control.Type == ControlType::Edit && HandleEditKey(*window, control, msg)) return true;
    }
  }
  // Copied: a handler run by the dialog manager may change the list.
  const auto windows = Gui().Windows;
  for (const auto& window : windows)
    if (window->Hwnd && IsDialogMessageW(window->Hwnd, &msg)) return true;
  return false;
}

LRESULT CALLBACK GuiWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto window = FindGuiByHwnd(hwnd);
  if (!window) return DefDlgProcW(hwnd, message, wParam, lParam);
  switch (message) {
    case WM_DESTROY: ReleaseDestroyedWindow(hwnd); break;
    case WM_SIZE:
      if (window->StatusBar) SendMessageW(window->StatusBar, WM_SIZE, wParam, lParam);
      if (window->Handlers[WINDOW_SIZE])
        PostMessageW(hwnd, kMsgGuiAction, static_cast<WPARAM>((wParam << 16) | EVENT_SIZE), lParam);
      return 0;
    case WM_ERASEBKGND:
      if (window->BackBrush) {
        RECT clip;
        GetClipBox(reinterpret_cast<HDC>(wParam), &clip);
        FillRect(reinterpret_cast<HDC>(wParam), &clip, window->BackBrush);
        return 1;
      }
      break;
    case WM_GETMINMAXINFO: {
      auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
      if (window->MinW >= 0) info->ptMinTrackSize.x = window->MinW;
      if (window->MinH >= 0) info->ptMinTrackSize.y = window->MinH;
      if (window->MaxW >= 0)
        info->ptMaxTrackSize.x = window->MaxW < info->ptMinTrackSize.x ? info->ptMinTrackSize.x : window->MaxW;
      if (window->MaxH >= 0)
        info->ptMaxTrackSize.y = window->MaxH < info->ptMinTrackSize.y ? info->ptMinTrackSize.y : window->MaxH;
      return 0;
    }
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      if (id == IDCANCEL && !lParam) {
        PostEscape(*window);
        return 0;
      }
      const int index = id - kFirstControlId;
      if (index >= 0 && index < static_cast<int>(window->Controls.size()) &&
          window->Controls[static_cast<size_t>(index)].Hwnd == reinterpret_cast<HWND>(lParam))
        HandleControlCommand(*window, static_cast<size_t>(index), HIWORD(wParam));
      else if (id == IDCANCEL)
        PostEscape(*window);
      return 0;
    }
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lParam);
      const int index = IndexOfControl(*window, header->hwndFrom);
      if (index >= 0 && window->Controls[static_cast<size_t>(index)].Type == ControlType::Custom)
        return RunCustomNotify(window, static_cast<size_t>(index), *header);
      if (index >= 0) return HandleControlNotify(*window, static_cast<size_t>(index), *header);
      break;
    }
    case WM_DRAWITEM: {
      const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      const int index = IndexOfControl(*window, item.hwndItem);
      if (index < 0 || window->Controls[static_cast<size_t>(index)].Type != ControlType::Tab) break;
      DrawTabItem(*window, window->Controls[static_cast<size_t>(index)], item);
      return TRUE;
    }
    case WM_HSCROLL:
    case WM_VSCROLL: {
      const int index = IndexOfControl(*window, reinterpret_cast<HWND>(lParam));
      if (index >= 0) HandleScroll(*window, static_cast<size_t>(index), LOWORD(wParam));
      return 0;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSTATIC: {
      bool handled = false;
      const LRESULT brush =
          ControlColors(*window, message, reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam), handled);
      if (handled) return brush;
      break;
    }
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) != SC_CLOSE) break;
      [[fallthrough]];
    case WM_CLOSE:
      if (window->Handlers[WINDOW_CLOSE])
        PostWindowEvent(*window, WINDOW_CLOSE, EVENT_CLOSE);
      else
        ShowWindow(hwnd, SW_HIDE);
      return 0;
    case WM_CONTEXTMENU: HandleContextMenu(*window, reinterpret_cast<HWND>(wParam), lParam); return 0;
    case WM_DROPFILES: HandleDropFiles(*window, reinterpret_cast<HDROP>(wParam)); return 0;
    case kMsgGuiAction:
      // Only a modal loop (a dialog, a menu) dispatches it here.
      RunGuiAction(window, wParam, lParam,
                   POINT{static_cast<short>(LOWORD(GetMessagePos())), static_cast<short>(HIWORD(GetMessagePos()))});
      return 0;
    default: break;
  }
  return DefDlgProcW(hwnd, message, wParam, lParam);
}
