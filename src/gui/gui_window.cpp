// The Gui command (see gui_window.h): choosing the window a line addresses,
// the sub-command table, window creation and destruction.
//
// Invariant: a record is in Gui().Windows exactly while it has a window or
// is about to get one; the thread's default window is kept as a serial
// number, so a destroyed window is never reached through a stale pointer.
#include "gui/gui_window.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>

#include "base/error_sink.h"
#include "base/script_context.h"
#include "gui/gui_controls.h"
#include "gui/gui_messages.h"
#include "gui/gui_tabs.h"
#include "gui/gui_window_proc.h"
#include "objects/func.h"
#include "script/script_lines.h"
#include "values/numeric_text.h"
#include "values/thread_settings.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace state_detail {
GuiState gui;
}  // namespace state_detail

namespace {

// Argument positions of Gui.
enum : int { kArgSub = 0, kArgValue1 = 1, kArgValue2 = 2, kArgValue3 = 3 };
// Longest window name.
constexpr size_t kMaxGuiName = 253;
// Names of one or two digits from 1 to 99 are names; other numbers are handles.
constexpr long long kLargestNumberName = 99;
// The executable's main icon group.
constexpr int kMainIconId = 159;
// The most parameters each window event's function may require, in event order.
constexpr int kMaxRequiredParams[kWindowEvents] = {1, 1, 4, 6, 5};
constexpr const wchar_t* kEventNames[kWindowEvents] = {L"Close", L"Escape", L"Size", L"ContextMenu", L"DropFiles"};

// What a Gui line addresses: an existing window, or the name a new one gets.
struct GuiTarget {
  std::shared_ptr<GuiWindow> Window;
  std::wstring NewName;
};

// Everything a sub-command needs.
struct SubContext {
  ScriptLine& Line;
  GuiTarget& Target;
  std::wstring_view Value1, Value2, Value3;
};

using SubCommandFn = ResultCode (*)(SubContext& ctx);

// Whether a name is a number that stands for a window handle.
bool NameIsHandle(std::wstring_view name) {
  if (!IsWholeNumber(name)) return false;
  const long long number = NumberOf(name);
  return name.size() > 2 || number < 1 || number > kLargestNumberName;
}

// Finds the window a name addresses, or the name a new window would take.
ResultCode ResolveNamedTarget(ScriptLine& line, std::wstring_view name, GuiTarget& target) {
  if (name.empty() || name.size() > kMaxGuiName) return GuiFail(line, gui_msg::InvalidGuiName, name);
  if (NameIsHandle(name)) {
    target.Window = FindGuiByHwnd(reinterpret_cast<HWND>(static_cast<INT_PTR>(NumberOf(name))));
    return target.Window ? ResultCode::Ok : GuiFail(line, gui_msg::InvalidGuiName, name);
  }
  target.Window = FindGuiByName(name);
  if (target.Window) return ResultCode::Ok;
  if (!IsValidVariableName(name)) return GuiFail(line, gui_msg::InvalidGuiName, name);
  target.NewName = name;
  return ResultCode::Ok;
}

// The thread's default window, or the one named "1".
void ResolveDefaultTarget(GuiTarget& target) {
  const uint32_t serial = Values().CurrentThread->GuiDefaultWindow;
  std::wstring name = L"1";
  if (serial) {
    if ((target.Window = FindGuiBySerial(serial))) return;
    for (const auto& placeholder : Gui().Placeholders)
      if (placeholder->Serial == serial) name = placeholder->Name;
  }
  target.Window = FindGuiByName(name);
  if (!target.Window) target.NewName = name;
}

// A record for a new window, listed but without a window yet.
std::shared_ptr<GuiWindow> NewListedRecord(std::wstring_view name) {
  auto window = std::make_shared<GuiWindow>();
  window->Name = name;
  window->Serial = Gui().NextSerial++;
  Gui().Windows.push_back(window);
  return window;
}

// Takes a record out of the window list.
void Unlist(const GuiWindow& window) {
  auto& list = Gui().Windows;
  list.erase(std::remove_if(list.begin(), list.end(), [&](const auto& w) { return w.get() == &window; }), list.end());
}

// Makes sure the target window exists, creating it hidden when it does not.
ResultCode EnsureWindow(ScriptLine& line, GuiTarget& target) {
  if (target.Window && target.Window->Hwnd) return ResultCode::Ok;
  target.Window = NewListedRecord(target.NewName);
  if (CreateGuiWindow(line, *target.Window) != ResultCode::Ok) {
    Unlist(*target.Window);
    target.Window.reset();
    return ResultCode::Fail;
  }
  return ResultCode::Ok;
}

// Makes a window the thread's default.
void MakeDefault(const GuiWindow& window) { Values().CurrentThread->GuiDefaultWindow = window.Serial; }

// Gui, Show.
ResultCode SubShow(SubContext& ctx) { return ShowGuiWindow(ctx.Line, *ctx.Target.Window, ctx.Value1, ctx.Value2); }

// Gui, Add.
ResultCode SubAdd(SubContext& ctx) {
  return AddGuiControl(ctx.Line, *ctx.Target.Window, ctx.Value1, ctx.Value2, ctx.Value3);
}

// Gui, Submit [, NoHide].
ResultCode SubSubmit(SubContext& ctx) {
  GuiWindow& window = *ctx.Target.Window;
  if (SubmitGuiWindow(window) != ResultCode::Ok) return ResultCode::Fail;
  if (!EqualsNoCase(ctx.Value1, L"NoHide") && window.Hwnd) ShowWindow(window.Hwnd, SW_HIDE);
  return ResultCode::Ok;
}

// Gui, Cancel / Hide / Minimize / Maximize / Restore: one ShowWindow each.
template <int kShowCommand>
ResultCode SubShowWindow(SubContext& ctx) {
  ShowWindow(ctx.Target.Window->Hwnd, kShowCommand);
  return ResultCode::Ok;
}

// Gui, Destroy.
ResultCode SubDestroy(SubContext& ctx) {
  DestroyGuiWindow(ctx.Target.Window);
  return ResultCode::Ok;
}

// Gui, Flash [, Off].
ResultCode SubFlash(SubContext& ctx) {
  FlashWindow(ctx.Target.Window->Hwnd, EqualsNoCase(ctx.Value1, L"Off") ? FALSE : TRUE);
  return ResultCode::Ok;
}

// Gui, Margin, X, Y: each only when given.
ResultCode SubMargin(SubContext& ctx) {
  GuiWindow& window = *ctx.Target.Window;
  if (!ctx.Value1.empty()) window.MarginX = ScaleSize(window, static_cast<int>(NumberOf(ctx.Value1)));
  if (!ctx.Value2.empty()) window.MarginY = ScaleSize(window, static_cast<int>(NumberOf(ctx.Value2)));
  return ResultCode::Ok;
}

// Gui, Menu: detaching works; script menus do not exist in this version, so
// no name can name one.
ResultCode SubMenu(SubContext& ctx) {
  if (!ctx.Value1.empty()) return GuiFail(ctx.Line, gui_msg::MenuDoesNotExist, ctx.Value1);
  SetMenu(ctx.Target.Window->Hwnd, nullptr);
  return ResultCode::Ok;
}

// Gui, Font [, Options, Name].
ResultCode SubFont(SubContext& ctx) { return ApplyFontCommand(ctx.Line, *ctx.Target.Window, ctx.Value1, ctx.Value2); }

// Gui, Color [, WindowColor, ControlColor].
ResultCode SubColor(SubContext& ctx) {
  GuiWindow& window = *ctx.Target.Window;
  auto apply = [](std::wstring_view text, COLORREF& color, HBRUSH& brush) {
    COLORREF wanted = kColorDefault;
    if (text.empty() || !ParseColor(text, wanted) || wanted == color) return;
    if (brush) DeleteObject(brush);
    brush = nullptr;
    color = wanted;
    if (color != kColorDefault && !(brush = CreateSolidBrush(color))) color = kColorDefault;
  };
  apply(ctx.Value1, window.BackColor, window.BackBrush);
  apply(ctx.Value2, window.ControlColor, window.ControlBrush);
  if (IsWindowVisible(window.Hwnd)) InvalidateRect(window.Hwnd, nullptr, TRUE);
  return ResultCode::Ok;
}

// Gui, Default.
ResultCode SubDefault(SubContext& ctx) {
  if (ctx.Target.Window) {
    MakeDefault(*ctx.Target.Window);
    return ResultCode::Ok;
  }
  auto placeholder = std::make_shared<GuiWindow>();
  placeholder->Name = ctx.Target.NewName;
  placeholder->Serial = Gui().NextSerial++;
  Gui().Placeholders.push_back(placeholder);
  MakeDefault(*placeholder);
  return ResultCode::Ok;
}

// Gui, Tab [, Page, TabControl, Exact].
ResultCode SubTab(SubContext& ctx) {
  return SelectTabForAdding(ctx.Line, *ctx.Target.Window, ctx.Value1, ctx.Value2, ctx.Value3);
}

// Gui, ListView / TreeView, Control: chooses the control the LV_/TV_
// functions act on.
template <ControlType kType>
ResultCode SubChooseView(SubContext& ctx) {
  GuiWindow& window = *ctx.Target.Window;
  const int index = FindControlByName(window, ctx.Value1);
  if (index < 0 || window.Controls[static_cast<size_t>(index)].Type != kType) return ResultCode::Ok;
  (kType == ControlType::ListView ? window.CurrentListView : window.CurrentTreeView) = index;
  return ResultCode::Ok;
}

struct SubCommandRow {
  const wchar_t* Name;
  SubCommandFn Run;
  bool NothingWhenAbsent;  // succeeds doing nothing on a window that does not exist
};

const SubCommandRow kSubCommands[] = {
    {L"Add", SubAdd, false},
    {L"Show", SubShow, false},
    {L"Submit", SubSubmit, true},
    {L"Cancel", SubShowWindow<SW_HIDE>, true},
    {L"Hide", SubShowWindow<SW_HIDE>, true},
    {L"Minimize", SubShowWindow<SW_MINIMIZE>, true},
    {L"Maximize", SubShowWindow<SW_MAXIMIZE>, true},
    {L"Restore", SubShowWindow<SW_RESTORE>, true},
    {L"Destroy", SubDestroy, true},
    {L"Margin", SubMargin, false},
    {L"Menu", SubMenu, false},
    {L"Font", SubFont, false},
    {L"Tab", SubTab, false},
    {L"ListView", SubChooseView<ControlType::ListView>, false},
    {L"TreeView", SubChooseView<ControlType::TreeView>, false},
    {L"Color", SubColor, false},
    {L"Flash", SubFlash, true},
};

// Gui, New [, Options, Title]: always a new window, which becomes the default.
ResultCode RunNew(ScriptLine& line, std::wstring_view name, bool named, std::wstring_view options,
                  std::wstring_view title) {
  if (named) {
    if (auto existing = FindGuiByName(name)) DestroyGuiWindow(existing);
  }
  auto window = NewListedRecord(named ? name : std::wstring_view());
  // Options go to the record first; ApplyWindowOptions creates the window.
  if (ApplyWindowOptions(line, *window, options) != ResultCode::Ok) {
    if (!window->Hwnd) Unlist(*window);
    return ResultCode::Fail;
  }
  MakeDefault(*window);
  if (!title.empty()) SetWindowTextW(window->Hwnd, std::wstring(title).c_str());
  return ResultCode::Ok;
}

// Splits "Name:SubCommand" into its parts; false when there is no name.
bool SplitName(std::wstring_view first, std::wstring_view& name, std::wstring_view& rest) {
  const size_t colon = first.find(L':');
  if (colon == std::wstring_view::npos) {
    rest = first;
    return false;
  }
  name = first.substr(0, colon);
  rest = first.substr(colon + 1);
  while (!rest.empty() && (rest.front() == L' ' || rest.front() == L'\t')) rest.remove_prefix(1);
  return true;
}

// Whether the first parameter is an option list ("+..." or "-...").
bool IsOptionList(std::wstring_view text) { return text.empty() || text[0] == L'+' || text[0] == L'-'; }

}  // namespace

ResultCode GuiFail(ScriptLine& line, std::wstring_view message, std::wstring_view extra) {
  return ReportLineError(&line, message, ERROR_KIND_ERROR, extra);
}

bool IsWholeNumber(std::wstring_view text) {
  if (text.empty() || text.size() > 40) return false;
  std::wstring owned(text);
  return IsNumeric(owned.c_str(), true, false) == PURE_INTEGER;
}

long long NumberOf(std::wstring_view text) {
  std::wstring owned(text);
  return TextToInteger(owned.c_str());
}

std::shared_ptr<GuiWindow> FindGuiByHwnd(HWND hwnd) {
  if (!hwnd) return nullptr;
  for (const auto& window : Gui().Windows)
    if (window->Hwnd == hwnd) return window;
  return nullptr;
}

std::shared_ptr<GuiWindow> FindGuiByName(std::wstring_view name) {
  for (const auto& window : Gui().Windows)
    if (window->Hwnd && EqualsNoCase(window->Name, name)) return window;
  return nullptr;
}

std::shared_ptr<GuiWindow> FindGuiBySerial(uint32_t serial) {
  for (const auto& window : Gui().Windows)
    if (window->Serial == serial) return window;
  return nullptr;
}

std::shared_ptr<GuiWindow> FindGuiOfControl(HWND control, int& index) {
  for (HWND parent = GetParent(control); parent; parent = GetParent(parent)) {
    if (auto window = FindGuiByHwnd(parent)) {
      for (size_t i = 0; i < window->Controls.size(); ++i)
        if (window->Controls[i].Hwnd == control) {
          index = static_cast<int>(i);
          return window;
        }
      return nullptr;
    }
  }
  return nullptr;
}

int ScaleSize(const GuiWindow& window, int value) {
  return window.DpiScale ? MulDiv(value, Gui().Dpi, USER_DEFAULT_SCREEN_DPI) : value;
}

int UnscaleSize(const GuiWindow& window, int value) {
  return window.DpiScale ? MulDiv(value, USER_DEFAULT_SCREEN_DPI, Gui().Dpi) : value;
}

std::wstring DefaultHandlerPrefix(const GuiWindow& window) {
  if (window.Name.empty() || window.Name == L"1") return L"Gui";
  return window.Name + L"Gui";
}

std::shared_ptr<ScriptCallback> FindHandler(std::wstring_view name, int maxRequired) {
  if (Label* label = FindLabel(name)) {
    auto callback = std::make_shared<ScriptCallback>();
    callback->SetLabel(label);
    return callback;
  }
  Func* func = LookupFunction(name);
  if (!func || func->RequiredCount > maxRequired) return nullptr;
  auto callback = std::make_shared<ScriptCallback>();
  callback->SetObject(func);
  return callback;
}

void ResolveWindowHandlers(GuiWindow& window) {
  const std::wstring prefix = window.LabelPrefix.empty() ? DefaultHandlerPrefix(window) : window.LabelPrefix;
  for (int e = 0; e < kWindowEvents; ++e)
    window.Handlers[static_cast<size_t>(e)] = FindHandler(prefix + kEventNames[e], kMaxRequiredParams[e]);
  window.HandlersResolved = true;
  const bool accept = window.Handlers[WINDOW_DROPFILES] && !window.PendingDrop;
  window.ExStyle =
      accept ? (window.ExStyle | WS_EX_ACCEPTFILES) : (window.ExStyle & ~static_cast<DWORD>(WS_EX_ACCEPTFILES));
  if (window.Hwnd) DragAcceptFiles(window.Hwnd, accept ? TRUE : FALSE);
}

// Registers the window class of script windows, once.
bool RegisterGuiClass() {
  if (Gui().ClassRegistered) return true;
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = GuiWindowProc;
  wc.cbWndExtra = DLGWINDOWEXTRA;
  wc.hInstance = instance;
  wc.hIcon = static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(kMainIconId), IMAGE_ICON, 0, 0, LR_SHARED | LR_DEFAULTSIZE));
  wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kMainIconId), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  wc.lpszClassName = kGuiWindowClass;
  Gui().ClassRegistered = RegisterClassExW(&wc) != 0;
  return Gui().ClassRegistered;
}

ResultCode CreateGuiWindow(ScriptLine& line, GuiWindow& window) {
  if (!RegisterGuiClass()) {
    ShowErrorBox(gui_msg::RegClass, MB_OK);
    return GuiFail(line, gui_msg::CouldNotCreateWindow);
  }
  if (!window.HandlersResolved) ResolveWindowHandlers(window);
  EnsureDefaultFont();
  window.Hwnd = CreateWindowExW(window.ExStyle, kGuiWindowClass, Script().ScriptFileName.c_str(), window.Style, 0, 0, 0,
                                0, window.OwnerHwnd, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!window.Hwnd) return GuiFail(line, gui_msg::CouldNotCreateWindow);
  HINSTANCE instance = GetModuleHandleW(nullptr);
  auto icon = [&](int size) {
    return reinterpret_cast<LPARAM>(
        LoadImageW(instance, MAKEINTRESOURCEW(kMainIconId), IMAGE_ICON, size, size, LR_SHARED));
  };
  SendMessageW(window.Hwnd, WM_SETICON, ICON_SMALL, icon(GetSystemMetrics(SM_CXSMICON)));
  SendMessageW(window.Hwnd, WM_SETICON, ICON_BIG, icon(GetSystemMetrics(SM_CXICON)));
  return ResultCode::Ok;
}

// Frees what the record holds once its window is gone.
void ReleaseGuiRecord(GuiWindow& window) {
  Unlist(window);
  if (window.BackBrush) DeleteObject(window.BackBrush);
  if (window.ControlBrush) DeleteObject(window.ControlBrush);
  window.BackBrush = window.ControlBrush = nullptr;
  if (window.PendingDrop) DragFinish(window.PendingDrop);
  window.PendingDrop = nullptr;
  for (GuiControlInfo& control : window.Controls) {
    if (control.Type == ControlType::Picture && control.Image) {
      if (control.Attrib & ATTRIB_TYPE_SPECIFIC)
        DestroyIcon(static_cast<HICON>(control.Image));
      else
        DeleteObject(control.Image);
    }
    control.Handler.reset();
  }
  window.Controls.clear();
  for (auto& handler : window.Handlers) handler.reset();
  window.Hwnd = nullptr;
  window.StatusBar = nullptr;
}

void DestroyGuiWindow(const std::shared_ptr<GuiWindow>& keep) {
  GuiWindow& window = *keep;
  if (!window.Hwnd) return;
  // Owned windows go first, last created first.
  for (size_t i = Gui().Windows.size(); i-- > 0;) {
    if (i >= Gui().Windows.size()) continue;
    auto other = Gui().Windows[i];
    if (other.get() != &window && other->Hwnd && GetWindow(other->Hwnd, GW_OWNER) == window.Hwnd)
      DestroyGuiWindow(other);
  }
  HWND hwnd = window.Hwnd;
  if (IsWindow(hwnd)) {
    ShowWindow(hwnd, SW_HIDE);
    SetMenu(hwnd, nullptr);
    if (!window.Destroying) {
      window.Destroying = true;
      DestroyWindow(hwnd);
    }
  }
  ReleaseGuiRecord(window);
}

void ReleaseDestroyedWindow(HWND hwnd) {
  auto window = FindGuiByHwnd(hwnd);
  if (!window || window->Destroying) return;
  window->Destroying = true;
  ReleaseGuiRecord(*window);
}

void DestroyAllGuiWindows() {
  while (!Gui().Windows.empty()) {
    auto window = Gui().Windows.back();
    if (window->Hwnd)
      DestroyGuiWindow(window);
    else
      Unlist(*window);
  }
  Gui().Placeholders.clear();
}

std::wstring GuiHandleText(HWND hwnd) {
  wchar_t text[24];
  swprintf(text, 24, L"0x%llx", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(hwnd)));
  return text;
}

ResultCode AssignHandleVariable(ScriptLine& line, std::wstring_view name, HWND hwnd) {
  Variable* var = FindOrAddVariable(name, Values().Globals,
                                    Values().CurrentFunctionScope ? Values().CurrentFunctionScope() : nullptr,
                                    ResolvePhase::Running);
  if (!var) return ResultCode::Fail;
  static_cast<void>(line);
  return var->Assign(GuiHandleText(hwnd));
}

ResultCode CmdGui(ScriptLine& line, CommandArgs& args) {
  std::wstring_view first(args[kArgSub]);
  std::wstring_view name, sub;
  const bool named = SplitName(first, name, sub);
  const std::wstring_view v1(args[kArgValue1]), v2(args[kArgValue2]), v3(args[kArgValue3]);

  if (EqualsNoCase(sub, L"New")) return RunNew(line, name, named, v1, v2);

  GuiTarget target;
  if (named) {
    if (ResolveNamedTarget(line, name, target) != ResultCode::Ok) return ResultCode::Fail;
  } else {
    ResolveDefaultTarget(target);
  }
  const bool exists = target.Window && target.Window->Hwnd;

  if (IsOptionList(sub)) {
    if (EqualsNoCase(sub, L"+LastFoundExist")) {
      Values().CurrentThread->LastFoundWindow = exists ? target.Window->Hwnd : nullptr;
      return ResultCode::Ok;
    }
    if (!exists) target.Window = NewListedRecord(target.NewName);
    GuiWindow& window = *target.Window;
    if (ApplyWindowOptions(line, window, sub) != ResultCode::Ok) {
      if (!window.Hwnd) Unlist(window);
      return ResultCode::Fail;
    }
    return ResultCode::Ok;
  }
  if (EqualsNoCase(sub, L"Default")) {
    SubContext ctx{line, target, v1, v2, v3};
    return SubDefault(ctx);
  }
  for (const SubCommandRow& row : kSubCommands) {
    if (!EqualsNoCase(row.Name, sub)) continue;
    if (!exists) {
      if (row.NothingWhenAbsent) return ResultCode::Ok;
      if (EnsureWindow(line, target) != ResultCode::Ok) return ResultCode::Fail;
    }
    SubContext ctx{line, target, v1, v2, v3};
    return row.Run(ctx);
  }
  return GuiFail(line, gui_msg::Param1Invalid, sub);
}
