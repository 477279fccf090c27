// Waiting for and reacting to clipboard changes: ClipWait, the
// OnClipboardChange functions and label, and the main window's change
// notifications (format listener, or the older viewer chain).
//
// Invariants: the notification is on exactly while the script has a change
// label or at least one change function; one change runs its handlers once,
// and a change that arrives while they run starts nothing.
#include <windows.h>

#include <memory>
#include <string>

#include "base/error_sink.h"
#include "base/script_context.h"
#include "exec/errors.h"
#include "exec/exec_state.h"
#include "objects/callbacks.h"
#include "objects/func.h"
#include "objects/objects_state.h"
#include "script/script_lines.h"
#include "system/clipboard.h"
#include "system/system_state.h"
#include "values/numeric_text.h"
#include "values/values_state.h"

namespace {

// The main window's private message for a change (wParam 1: the script was
// not yet running, so only the label runs).
constexpr UINT kClipboardChangedMessage = 1045;
constexpr WPARAM kChangedBeforeStart = 1;
// Passing a notification on to the next viewer waits at most this long.
constexpr UINT kPassOnTimeoutMs = 2000;
// ClipWait: a wait shorter than 1 ms waits this long; it ends when no more
// than kWaitGiveUpMs remain.
constexpr int64_t kShortestWaitMs = 500;
constexpr int64_t kWaitGiveUpMs = 5;
constexpr double kMsPerSecond = 1000.0;
// The clipboard types handlers receive.
enum ClipboardType : int64_t { CLIP_EMPTY = 0, CLIP_TEXT = 1, CLIP_OTHER = 2 };
// The name of the change label.
constexpr wchar_t kChangeLabelName[] = L"OnClipboardChange";
inline constexpr wchar_t kParam1Invalid[] = L"Parameter #1 invalid.";
inline constexpr wchar_t kParam2Invalid[] = L"Parameter #2 invalid.";
// Most parameters a change function may require.
constexpr int kMostRequiredParams = 1;

using ListenerFn = BOOL(WINAPI*)(HWND);

// The main window, or null before it exists.
HWND MainWindowHandle() { return Exec().Hooks.MainWindow ? Exec().Hooks.MainWindow() : nullptr; }

// The format-listener functions of "user32", or null on systems without them.
template <typename Fn>
Fn UserProc(const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32"), name)));
}

// Whether the clipboard holds text or dropped files.
bool HasTextOrFiles() { return IsClipboardFormatAvailable(CF_UNICODETEXT) || IsClipboardFormatAvailable(CF_HDROP); }

// The clipboard's type as handlers see it.
int64_t CurrentClipboardType() {
  if (CountClipboardFormats() == 0) return CLIP_EMPTY;
  return HasTextOrFiles() ? CLIP_TEXT : CLIP_OTHER;
}

// Whether any change handler exists.
bool HasHandlers() {
  const ClipboardState& clip = System().Clipboard;
  return clip.ChangeLabel.IsSet() || !clip.ChangeFunctions.empty();
}

// Turns change notification on.
void StartListening() {
  ClipboardState& clip = System().Clipboard;
  HWND window = MainWindowHandle();
  if (clip.Listening || !window) return;
  clip.Listening = true;
  if (auto add = UserProc<ListenerFn>("AddClipboardFormatListener");
      add && UserProc<ListenerFn>("RemoveClipboardFormatListener")) {
    clip.UsesListener = add(window) != FALSE;
    // A viewer is told at once when it joins; a listener is not, so the
    // handlers are run once here for a script that is starting.
    if (clip.UsesListener && !Script().ReadyToRun)
      PostMessageW(window, kClipboardChangedMessage, kChangedBeforeStart, 0);
    if (clip.UsesListener) return;
  }
  clip.NextViewer = SetClipboardViewer(window);
}

// Turns change notification off.
void StopListening() {
  ClipboardState& clip = System().Clipboard;
  if (!clip.Listening) return;
  clip.Listening = false;
  HWND window = MainWindowHandle();
  if (clip.UsesListener) {
    if (auto remove = UserProc<ListenerFn>("RemoveClipboardFormatListener"); remove && window) remove(window);
  } else if (window) {
    ChangeClipboardChain(window, clip.NextViewer);
  }
  clip.UsesListener = false;
  clip.NextViewer = nullptr;
}

// Notification on exactly while there are handlers.
void UpdateListening() {
  if (HasHandlers())
    StartListening();
  else
    StopListening();
}

// Passes a viewer-chain message on to the next viewer.
void PassOn(UINT message, WPARAM wParam, LPARAM lParam) {
  HWND next = System().Clipboard.NextViewer;
  DWORD_PTR ignored = 0;
  if (next) SendMessageTimeoutW(next, message, wParam, lParam, SMTO_ABORTIFHUNG, kPassOnTimeoutMs, &ignored);
}

// Runs one handler in a thread of its own, which sees the clipboard's type
// in A_EventInfo; true when it returned true.
bool RunHandler(const ScriptCallback& handler, ExprToken** params, int count, int64_t type) {
  ExprToken value;
  value.SetText(L"");
  value.HeapText = nullptr;
  // A new thread starts from the defaults, so the type goes there for as
  // long as the launch lasts.
  int64_t& startInfo = Values().ThreadDefaults.EventInfo;
  const int64_t savedInfo = startInfo;
  startInfo = type;
  const ResultCode ran = Objects().Threads.Launch(handler, 0, params, count, &value);
  startInfo = savedInfo;
  const bool handled = TakeCallbackResultTruth(value);
  return ran == ResultCode::Ok && handled;
}

// The variable ErrorLevel.
Variable* ErrorLevelVar() { return Values().Globals.FindOrAdd(L"ErrorLevel", VAR_GLOBAL); }

// Runs the label and then the functions for one change.
void RunChangeHandlers(WPARAM when) {
  ClipboardState& clip = System().Clipboard;
  const ThreadLaunchHooks& launch = Objects().Threads;
  if (clip.HandlersRunning || !launch.Launch || !launch.CanLaunch || !launch.CanLaunch(0)) return;
  clip.HandlersRunning = true;
  const int64_t type = CurrentClipboardType();
  Variable* errorLevel = ErrorLevelVar();
  const std::wstring saved = errorLevel ? errorLevel->TextOf() : L"";
  // The handlers read the type in ErrorLevel; the interrupted thread's own
  // value comes back afterwards.
  if (errorLevel) static_cast<void>(errorLevel->AssignInteger(type));
  if (clip.ChangeLabel.IsSet()) RunHandler(clip.ChangeLabel, nullptr, 0, type);
  if (when != kChangedBeforeStart) {
    // A snapshot, so that a handler may add or remove functions.
    std::vector<IObject*> snapshot;
    for (const auto& entry : clip.ChangeFunctions) {
      entry->TargetObject()->AddRef();
      snapshot.push_back(entry->TargetObject());
    }
    bool handled = false;
    for (IObject* object : snapshot) {
      if (handled) break;
      ScriptCallback callback;
      callback.SetObject(object);
      ExprToken argument;
      argument.SetInteger(type);
      ExprToken* params[1] = {&argument};
      handled = RunHandler(callback, params, 1, type);
    }
    for (IObject* object : snapshot) object->Release();
  }
  if (errorLevel) static_cast<void>(errorLevel->Assign(saved));
  clip.HandlersRunning = false;
}

// Where a callable is in the change list, or npos.
size_t IndexOfFunction(const IObject* object) {
  const auto& list = System().Clipboard.ChangeFunctions;
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i]->TargetObject() == object) return i;
  return static_cast<size_t>(-1);
}

// OnClipboardChange(Function [, AddRemove]).
ResultCode BifOnClipboardChange(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool) {
  Func* func = nullptr;
  IObject* callable = CallableOfToken(*params[0], func);
  if (!callable || (func && func->Expr.MinParams > kMostRequiredParams))
    return ReportLineError(Script().CurrentLine, kParam1Invalid);
  int64_t mode = 1;
  if (ParamGiven(params, count, 1)) mode = ParamInteger(*params[1]);
  if (mode < -1 || mode > 1) return ReportLineError(Script().CurrentLine, kParam2Invalid);
  auto& list = System().Clipboard.ChangeFunctions;
  const size_t at = IndexOfFunction(callable);
  if (mode == 0) {
    if (at != static_cast<size_t>(-1)) list.erase(list.begin() + static_cast<ptrdiff_t>(at));
  } else if (at == static_cast<size_t>(-1)) {
    auto entry = std::make_unique<ScriptCallback>();
    entry->SetObject(callable);
    list.insert(mode == 1 ? list.end() : list.begin(), std::move(entry));
  }
  UpdateListening();
  result.SetText(L"");
  return ResultCode::Ok;
}

const BuiltInFunctionDef kClipboardFunctions[] = {
    {L"OnClipboardChange", 1, 2, BifOnClipboardChange},
};

// The milliseconds ClipWait waits for, or -1 for no limit.
int64_t WaitLimitMs(const wchar_t* seconds) {
  if (!*seconds) return -1;
  const auto ms = static_cast<int64_t>(TextToDouble(seconds) * kMsPerSecond);
  return ms < 1 ? kShortestWaitMs : ms;
}

}  // namespace

// ClipWait [, SecondsToWait, 1]: ErrorLevel 1 when the time ran out.
ResultCode CmdClipWait(ScriptLine&, CommandArgs& args) {
  const int64_t limit = WaitLimitMs(args[0]);
  const bool anyFormat = args.Count > 1 && TextToInteger(args[1]) == 1;
  const DWORD start = GetTickCount();
  for (;;) {
    if (anyFormat ? CountClipboardFormats() > 0 : HasTextOrFiles()) return ReportOutcome(false);
    if (limit >= 0 && limit - static_cast<int64_t>(GetTickCount() - start) <= kWaitGiveUpMs) return ReportOutcome(true);
    if (Exec().Hooks.PumpMessagesOnce)
      Exec().Hooks.PumpMessagesOnce(true);
    else
      Sleep(10);
  }
}

BuiltInFamily ClipboardFunctions() {
  return {kClipboardFunctions, sizeof(kClipboardFunctions) / sizeof(kClipboardFunctions[0])};
}

bool FilterClipboardMessage(MSG& msg) {
  if (msg.message != kClipboardChangedMessage || !msg.hwnd || msg.hwnd != MainWindowHandle()) return false;
  RunChangeHandlers(msg.wParam);
  return true;
}

LRESULT HandleClipboardNotice(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  ClipboardState& clip = System().Clipboard;
  switch (message) {
    case WM_DRAWCLIPBOARD:
    case WM_CLIPBOARDUPDATE:
      if (HasHandlers())
        PostMessageW(window, kClipboardChangedMessage, Script().ReadyToRun ? 0 : kChangedBeforeStart, 0);
      if (message == WM_DRAWCLIPBOARD) PassOn(message, wParam, lParam);
      return 0;
    case WM_CHANGECBCHAIN:
      if (reinterpret_cast<HWND>(wParam) == clip.NextViewer)
        clip.NextViewer = reinterpret_cast<HWND>(lParam);
      else
        PassOn(message, wParam, lParam);
      return 0;
    default: return 0;
  }
}

void StartClipboardWatch() {
  ClipboardState& clip = System().Clipboard;
  if (Label* label = FindLabel(kChangeLabelName)) clip.ChangeLabel.SetLabel(label);
  UpdateListening();
}

void StopClipboardWatch() {
  StopListening();
  CloseClipboardIfOpen();
}
