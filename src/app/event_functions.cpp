// The functions that register callbacks for events: OnExit and OnError (one
// list each), and OnMessage (message monitors), with the code that calls
// them when their event happens. OnClipboardChange joins when the clipboard
// is watched; until then it is not in the function table, so a script that
// calls it fails to load rather than waiting for calls that never come.
#include "app/event_functions.h"

#include <memory>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/main_window.h"
#include "app/threads.h"
#include "base/script_context.h"
#include "base/script_line.h"
#include "exec/errors.h"
#include "exec/exceptions.h"
#include "exec/run_lines.h"
#include "objects/builtin_functions.h"
#include "objects/callbacks.h"
#include "objects/func.h"
#include "values/expr_operators.h"
#include "values/values_state.h"

namespace {

inline constexpr wchar_t kParam1Invalid[] = L"Parameter #1 invalid.";
inline constexpr wchar_t kParam2Invalid[] = L"Parameter #2 invalid.";
// Most threads one message monitor may run at once.
constexpr int kMaxMonitorThreads = 255;

// The list a called name belongs to.
EventListKind ListOfName(const wchar_t* name) {
  return EqualsNoCase(name, L"OnExit") ? EVENT_LIST_EXIT : EVENT_LIST_ERROR;
}

// Where a callback object is in a list, or npos.
size_t IndexIn(const std::vector<std::unique_ptr<ScriptCallback>>& list, const IObject* object) {
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i]->TargetObject() == object) return i;
  return static_cast<size_t>(-1);
}

// OnExit / OnError (Function [, AddRemove]).
ResultCode BifOnEvent(const ExprFunc& called, ExprToken& result, ExprToken** params, int count, bool) {
  const EventListKind kind = ListOfName(called.Name);
  Func* func = nullptr;
  IObject* callable = CallableOfToken(*params[0], func);
  const int maxRequired = kind == EVENT_LIST_EXIT ? 2 : 1;
  if (!callable || (func && func->Expr.MinParams > maxRequired))
    return ReportLineError(Script().CurrentLine, kParam1Invalid);
  int64_t mode = 1;
  if (ParamGiven(params, count, 1)) mode = ParamInteger(*params[1]);
  if (mode < -1 || mode > 1) return ReportLineError(Script().CurrentLine, kParam2Invalid);
  auto& list = App().Events.Lists[kind];
  const size_t at = IndexIn(list, callable);
  if (mode == 0) {
    if (at != static_cast<size_t>(-1)) list.erase(list.begin() + static_cast<ptrdiff_t>(at));
  } else if (at == static_cast<size_t>(-1)) {
    auto entry = std::make_unique<ScriptCallback>();
    entry->SetObject(callable);
    list.insert(mode == 1 ? list.end() : list.begin(), std::move(entry));
  }
  result.SetText(L"");
  return ResultCode::Ok;
}

// Calls a list's callbacks in order with the parameters until one returns a
// true value (then true) or fails.
bool CallList(EventListKind kind, ExprToken** params, int count, ResultCode& outcome) {
  std::vector<IObject*> snapshot;
  for (const auto& entry : App().Events.Lists[kind]) {
    entry->TargetObject()->AddRef();
    snapshot.push_back(entry->TargetObject());
  }
  bool handled = false;
  outcome = ResultCode::Ok;
  size_t i = 0;
  for (; i < snapshot.size() && !handled && outcome == ResultCode::Ok; ++i) {
    ScriptCallback callback;
    callback.SetObject(snapshot[i]);
    ExprToken value;
    outcome = callback.Run(params, count, &value);
    handled = TakeCallbackResultTruth(value);
  }
  for (IObject* object : snapshot) object->Release();
  return handled;
}

// The monitor of a message registered by name, or with this object.
MessageMonitor* FindMonitor(UINT message, bool byName, const IObject* object) {
  for (auto& monitor : App().Events.Monitors) {
    if (monitor->Message != message) continue;
    if (byName ? monitor->ByName : monitor->Callback.TargetObject() == object) return monitor.get();
  }
  return nullptr;
}

// Removes a monitor from the list (it is gone once no thread runs it).
void RemoveMonitor(MessageMonitor* gone) {
  auto& monitors = App().Events.Monitors;
  for (auto it = monitors.begin(); it != monitors.end(); ++it) {
    if (it->get() != gone) continue;
    if (gone->RunningThreads > 0) {
      gone->Message = 0;  // offered nothing more; freed when the list is next cut
      gone->ByName = false;
      return;
    }
    monitors.erase(it);
    return;
  }
}

// OnMessage(MsgNumber [, Function, MaxThreads]).
ResultCode BifOnMessage(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool) {
  const UINT message = static_cast<UINT>(ParamInteger(*params[0]));
  bool remove = false;
  int cap = 1;
  bool front = false;
  const bool capGiven = ParamGiven(params, count, 2);
  if (capGiven) {
    const int64_t given = ParamInteger(*params[2]);
    remove = given == 0;
    front = given < 0;
    const int64_t magnitude = given < 0 ? -given : given;
    cap = static_cast<int>(magnitude > kMaxMonitorThreads ? kMaxMonitorThreads : magnitude);
  }
  Func* func = nullptr;
  IObject* callable = nullptr;
  bool byName = true;
  const bool functionGiven = ParamGiven(params, count, 1);
  if (functionGiven) {
    ExprToken& param = *params[1];
    const bool isObject = ObjectOf(param) != nullptr;
    wchar_t buffer[kFloatTextChars];
    if (!isObject && !*ParamText(param, buffer)) {
      remove = true;
    } else {
      callable = CallableOfToken(param, func);
      byName = !isObject;
      if (func && (func->IsBuiltIn || func->Expr.MinParams > 4)) {
        if (isObject) return ReportLineError(Script().CurrentLine, kParam2Invalid);
        callable = nullptr;
      }
    }
  }
  MessageMonitor* existing = FindMonitor(message, byName, callable);
  auto nameOf = [](MessageMonitor* monitor) -> std::wstring {
    Func* target = AsFunc(monitor->Callback.TargetObject());
    return target ? target->Name : L"";
  };
  if (existing) {
    if (byName) SetResultText(result, nameOf(existing));
    if (remove) {
      RemoveMonitor(existing);
    } else if (callable) {
      existing->Callback.SetObject(callable);
      if (capGiven) existing->ThreadCap = cap;
    }
    return ResultCode::Ok;
  }
  if (remove || !callable) return ResultCode::Ok;
  auto monitor = std::make_unique<MessageMonitor>();
  monitor->Message = message;
  monitor->Callback.SetObject(callable);
  monitor->ThreadCap = cap;
  monitor->ByName = byName;
  MessageMonitor* added = monitor.get();
  auto& monitors = App().Events.Monitors;
  monitors.insert(front ? monitors.begin() : monitors.end(), std::move(monitor));
  if (byName) SetResultText(result, nameOf(added));
  return ResultCode::Ok;
}

// Runs one monitor for a message in a thread of its own; true when its
// function returned a value, which becomes the message's result.
bool RunMonitor(MessageMonitor& monitor, HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& answer) {
  ExprToken arguments[4];
  arguments[0].SetInteger(static_cast<int64_t>(wParam));
  arguments[1].SetInteger(static_cast<int64_t>(lParam));
  arguments[2].SetInteger(message);
  arguments[3].SetInteger(static_cast<int64_t>(reinterpret_cast<uintptr_t>(window)));
  ExprToken* params[4] = {&arguments[0], &arguments[1], &arguments[2], &arguments[3]};
  std::wstring savedErrorLevel = SaveErrorLevel();
  ScriptLine* first = monitor.Callback.FirstLine();
  BeginThread(0, true, first && first->CommandIndex == ACT_CRITICAL);
  ++monitor.RunningThreads;
  ExprToken value;
  // The callback reports its own errors in its own thread.
  static_cast<void>(monitor.Callback.Run(params, 4, &value));
  --monitor.RunningThreads;
  EndThread(savedErrorLevel, true);
  bool returned = false;
  switch (value.Symbol) {
    case ExprSymbol::Integer:
      answer = static_cast<LRESULT>(value.ValueInt64);
      returned = true;
      break;
    case ExprSymbol::Float:
      answer = static_cast<LRESULT>(value.ValueDouble);
      returned = true;
      break;
    case ExprSymbol::ObjectRef: value.Object->Release(); break;
    case ExprSymbol::String:
    case ExprSymbol::RawWord:
      if (value.Text && *value.Text) {
        answer = static_cast<LRESULT>(TextToInteger(value.Text));
        returned = true;
      }
      if (value.HeapText) FreeVarHeap(value.HeapText);
      break;
    default: break;
  }
  return returned;
}

// Offers a message to its monitors; true when one handled it.
bool OfferMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& answer) {
  AppState& app = App();
  auto& monitors = app.Events.Monitors;
  if (monitors.empty() || !app.Threads.InterruptsEnabled) return false;
  if (Values().CurrentThread->Priority > 0) return false;
  // Indexed, since a monitor's thread may register or remove monitors.
  for (size_t i = 0; i < monitors.size(); ++i) {
    MessageMonitor& monitor = *monitors[i];
    if (monitor.Message != message || !monitor.Callback.IsSet()) continue;
    if (monitor.RunningThreads >= monitor.ThreadCap) continue;
    if (app.Threads.ActiveThreads >= app.Threads.ThreadLimit) continue;
    if (RunMonitor(monitor, window, message, wParam, lParam, answer)) return true;
  }
  return false;
}

// The window procedure's offer: skips the message the loop is dispatching.
bool OfferFromWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& answer) {
  const EventState& events = App().Events;
  if (events.InDispatch && message == events.DispatchedMessage) return false;
  return OfferMessage(window, message, wParam, lParam, answer);
}

const BuiltInFunctionDef kEventFunctions[] = {
    {L"OnExit", 1, 2, BifOnEvent},
    {L"OnError", 1, 2, BifOnEvent},
    {L"OnMessage", 1, 3, BifOnMessage},
};

}  // namespace

BuiltInFamily EventFunctions() { return {kEventFunctions, sizeof(kEventFunctions) / sizeof(kEventFunctions[0])}; }

void InstallMessageMonitors() { App().MainWindow.Seams.OfferToMessageMonitors = OfferFromWindowProcedure; }

bool OfferMessageFromLoop(const MSG& msg) {
  LRESULT ignored = 0;
  return OfferMessage(msg.hwnd, msg.message, msg.wParam, msg.lParam, ignored);
}

void MarkDispatch(bool dispatching, UINT message) {
  EventState& events = App().Events;
  events.InDispatch = dispatching;
  events.DispatchedMessage = message;
}

bool HasExitFunctions() { return !App().Events.Lists[EVENT_LIST_EXIT].empty(); }

bool CallExitFunctions(const wchar_t* reasonText, int exitCode) {
  ExprToken reason, code;
  reason.SetText(reasonText);
  code.SetInteger(exitCode);
  ExprToken* params[2] = {&reason, &code};
  ResultCode outcome;
  return CallList(EVENT_LIST_EXIT, params, 2, outcome);
}

bool HasErrorFunctions() { return !App().Events.Lists[EVENT_LIST_ERROR].empty(); }

bool CallErrorFunctions() {
  EventState& events = App().Events;
  if (events.Lists[EVENT_LIST_ERROR].empty() || events.ErrorCallbacksRunning) return false;
  FieldValue thrown;
  if (!TakeThrownValue(thrown)) return false;
  ExprToken value;
  switch (thrown.Type) {
    case FieldValue::Kind::Integer: value.SetInteger(thrown.Integer); break;
    case FieldValue::Kind::Float: value.SetFloat(thrown.Float); break;
    case FieldValue::Kind::Object: value.SetObject(thrown.Object); break;
    case FieldValue::Kind::Text: value.SetText(thrown.Text.c_str()); break;
  }
  ExprToken* params[1] = {&value};
  events.ErrorCallbacksRunning = true;
  const uint8_t savedMode = Values().CurrentThread->ExceptionMode;
  Values().CurrentThread->ExceptionMode = 0;
  ResultCode outcome;
  const bool handled = CallList(EVENT_LIST_ERROR, params, 1, outcome);
  Values().CurrentThread->ExceptionMode = savedMode;
  events.ErrorCallbacksRunning = false;
  if (HasThrownValue()) {
    // A callback threw a value of its own: it replaces the one reported.
    ReleaseFieldValue(thrown);
    return true;
  }
  SetThrownValue(std::move(thrown));
  return handled;
}
