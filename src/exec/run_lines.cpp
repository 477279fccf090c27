// RunLines, argument expansion and the flow-control lines.
#include "exec/run_lines.h"

#include <windows.h>

#include <vector>

#include "base/portability.h"
#include "base/script_context.h"
#include "base/script_line.h"
#include "base/text_length.h"
#include "exec/assignments.h"
#include "exec/command_dispatch.h"
#include "exec/conditions.h"
#include "exec/errors.h"
#include "exec/exceptions.h"
#include "exec/exec_state.h"
#include "exec/list_lines.h"
#include "exec/loops.h"
#include "exec/quick_statements.h"
#include "script/messages.h"
#include "script/script_lines.h"
#include "values/expr_eval.h"
#include "values/expr_scan.h"
#include "values/expr_token.h"
#include "values/numeric_text.h"
#include "values/object.h"
#include "values/thread_settings.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

inline constexpr wchar_t kReturnBeforeBrace[] = L"A \"return\" must be encountered prior to this \"}\".";

// A buffer that grew beyond this is given back to the system ten seconds
// later, when no line is using it, rather than kept for reuse.
constexpr size_t kLargeExpansionChars = 4 * 1024 * 1024 / sizeof(wchar_t);
constexpr UINT_PTR kFreeBuffersTimerId = 13;
constexpr UINT kFreeBuffersDelayMs = 10000;

// Timer 13: frees the large buffers of the depths no line is using now.
void CALLBACK FreeLargeExpansionBuffers(HWND window, UINT, UINT_PTR id, DWORD) {
  KillTimer(window, id);
  Exec().FreeBuffersTimerSet = false;
  for (size_t depth = Exec().ExpansionDepth; depth < Exec().ExpansionBuffers.size(); ++depth) {
    std::wstring& buffer = *Exec().ExpansionBuffers[depth];
    if (buffer.capacity() > kLargeExpansionChars) std::wstring().swap(buffer);
  }
}

// Holds the expansion buffer of one executing line.
class ExpansionScope {
 public:
  ExpansionScope() {
    if (Exec().ExpansionDepth == Exec().ExpansionBuffers.size()) Exec().ExpansionBuffers.push_back(new std::wstring());
    buffer_ = Exec().ExpansionBuffers[Exec().ExpansionDepth++];
    buffer_->clear();
  }
  ~ExpansionScope() {
    --Exec().ExpansionDepth;
    if (buffer_->capacity() > kLargeExpansionChars && !Exec().FreeBuffersTimerSet && Exec().Hooks.MainWindow &&
        Exec().Hooks.MainWindow()) {
      SetTimer(Exec().Hooks.MainWindow(), kFreeBuffersTimerId, kFreeBuffersDelayMs, FreeLargeExpansionBuffers);
      Exec().FreeBuffersTimerSet = true;
    }
  }
  ExpansionScope(const ExpansionScope&) = delete;
  ExpansionScope& operator=(const ExpansionScope&) = delete;
  std::wstring& Buffer() { return *buffer_; }

 private:
  std::wstring* buffer_;
};

ResultCode CatchValue(ScriptLine& catchLine, FieldValue& thrown);

// Marks an argument whose text points straight at its record or variable.
constexpr size_t kNotInBuffer = static_cast<size_t>(-1);

// Appends a variable's current text to the buffer.
void AppendVarText(std::wstring& buffer, Variable& var) {
  size_t at = buffer.size();
  size_t room = var.GetText(nullptr);
  buffer.resize(at + room + 1);
  size_t length = var.GetText(buffer.data() + at);
  buffer.resize(at + length);
}

// Appends a normal argument with its "%name%" references expanded.
void AppendExpanded(std::wstring& buffer, const ArgRecord& arg) {
  size_t pos = 0;
  for (const DerefEntry* ref = arg.RefList; ref && ref->Var; ++ref) {
    buffer.append(arg.Content + pos, ref->Offset - pos);
    AppendVarText(buffer, *ref->Var);
    pos = ref->Offset + ref->Length;
  }
  buffer.append(arg.Content + pos, arg.ContentLength - pos);
}

// The variable a dynamic variable argument ("%prefix%suffix") names,
// found or created now; null after reporting a bad name.
QRV_NOINLINE Variable* ResolveDynamicVar(ScriptLine& line, const ArgRecord& arg, std::wstring& scratch) {
  size_t at = scratch.size();
  AppendExpanded(scratch, arg);
  std::wstring name = scratch.substr(at);
  scratch.resize(at);
  if (name.empty()) {
    // Reported once here; this path answers through its own return value.
    static_cast<void>(
        ReportLineError(&line,
                        L"This dynamic variable is blank. If this variable was not intended to be dynamic, "
                        L"remove the % symbols from it."));
    return nullptr;
  }
  if (name.size() > kMaxVarNameLength || !IsValidVariableName(name)) {
    // Reported once here; this path answers through its own return value.
    static_cast<void>(ReportLineError(
        &line, L"The following variable name contains an illegal character:\n\"" + name.substr(0, 300) + L"\""));
    return nullptr;
  }
  FunctionScope* scope = Values().CurrentFunctionScope ? Values().CurrentFunctionScope() : nullptr;
  return FindOrAddVariable(name, Values().Globals, scope, ResolvePhase::Running);
}

// Continues at `jump` when it lies at the level this run covers; otherwise
// the jump is passed outward.
bool JumpStaysHere(const ScriptLine* jump, const ScriptLine* level, RunMode mode) {
  return mode != RunMode::OneLine && jump->EnclosingLine == level;
}

// Runs an if's, else's or loop's body: a block or a single line.
ResultCode RunBody(ScriptLine* body, ScriptLine*& jumpToLine) { return RunLines(body, RunMode::OneLine, jumpToLine); }

// The line to go on at after an if-form's condition: its body when it
// passed, else the else-part's body, else the line after the statement.
ScriptLine* ChooseIfBody(ScriptLine& line, bool passed) {
  if (passed) return line.FollowingLine;
  ScriptLine* related = line.TargetLine;
  if (related && related->CommandIndex == ACT_ELSE) return related->FollowingLine;
  return related;
}

// Carries out an if-form that is itself the one line a caller runs: its
// chosen body runs nested; `next` gets the line after the whole statement
// (its else part included).
ResultCode RunIf(ScriptLine& line, bool passed, ScriptLine*& next, ScriptLine*& jumpToLine) {
  ScriptLine* related = line.TargetLine;
  const bool hasElse = related && related->CommandIndex == ACT_ELSE;
  next = hasElse ? related->TargetLine : related;
  if (!passed && !hasElse) return ResultCode::Ok;
  if (!passed) Script().CurrentLine = related;
  return RunBody(ChooseIfBody(line, passed), jumpToLine);
}

// "if expression" (or "if (expression)"): one expression tested for its truth.
bool IsExpressionIf(const ScriptLine& line) {
  return line.CommandIndex == ACT_IFEXPR && line.ArgTotal == 1 && line.ArgList[0].ExprFlag;
}

// Whether a line's first argument was compiled as integer arithmetic, which
// cannot take long: it calls nothing but Mod or Abs.
bool IsIntegerOnly(const ScriptLine& line) {
  const auto* form = static_cast<const CompiledExpression*>(line.ArgList[0].CompiledForm);
  return form && form->Postfix && form->IntegerOnly;
}

// Goes on after an if-form's test. Within a run of lines the chosen body is
// simply the next line of that run: an Else reached after it skips its own
// part, and a body that is a block or statement brings its own end with it.
// As the one line a caller runs, the if carries out its body itself.
ResultCode FollowIf(ScriptLine& line, bool passed, RunMode mode, ScriptLine*& next, ScriptLine*& jumpToLine) {
  if (mode != RunMode::OneLine) {
    next = ChooseIfBody(line, passed);
    return ResultCode::Ok;
  }
  return RunIf(line, passed, next, jumpToLine);
}

// Try, its Catch and its Finally. `next` gets the line after all of them.
QRV_NOINLINE ResultCode RunTry(ScriptLine& line, ScriptLine*& next, ScriptLine*& jumpToLine) {
  ScriptLine* related = line.TargetLine;
  ThreadSettings& thread = *Values().CurrentThread;
  uint8_t savedMode = thread.ExceptionMode;
  thread.ExceptionMode |= EXCEPTION_MODE_TRY;
  bool finallyFollows = related && related->CommandIndex == ACT_FINALLY;
  if (!finallyFollows) thread.ExceptionMode |= EXCEPTION_MODE_CATCH;
  ResultCode result = RunBody(line.FollowingLine, jumpToLine);
  thread.ExceptionMode = savedMode;

  ScriptLine* after = related;
  if (related && related->CommandIndex == ACT_CATCH) {
    after = related->TargetLine;
    if (result == ResultCode::Fail && HasThrownValue()) {
      FieldValue thrown;
      TakeThrownValue(thrown);
      Script().CurrentLine = related;
      ResultCode caught = CatchValue(*related, thrown);
      ReleaseFieldValue(thrown);
      jumpToLine = nullptr;
      result = caught;
      if (result == ResultCode::Ok) result = RunBody(related->FollowingLine, jumpToLine);
    }
  } else if (!finallyFollows && result == ResultCode::Fail && HasThrownValue()) {
    // A try with neither catch nor finally swallows the exception.
    DiscardThrownValue();
    result = ResultCode::Ok;
  }

  if (after && after->CommandIndex == ACT_FINALLY) {
    ScriptLine* finallyLine = after;
    next = finallyLine->TargetLine;
    Script().CurrentLine = finallyLine;
    if (result == ResultCode::Ok && !jumpToLine) return RunBody(finallyLine->FollowingLine, jumpToLine);
    // Set the thrown value aside while the finally body runs.
    FieldValue setAside;
    bool hadThrown = TakeThrownValue(setAside);
    ScriptLine* finallyJump = nullptr;
    Script().CurrentLine = finallyLine;
    ResultCode finallyResult = RunBody(finallyLine->FollowingLine, finallyJump);
    if (finallyResult != ResultCode::Ok || finallyJump) {
      if (hadThrown) ReleaseFieldValue(setAside);
      if (finallyJump || (finallyResult != ResultCode::Fail && finallyResult != ResultCode::ThreadExit)) {
        // Reported once here; this path answers through its own return value.
        static_cast<void>(ReportLineError(finallyLine, parse_msg::JumpOutOfFinally));
        return ResultCode::Fail;
      }
      return finallyResult;
    }
    if (hadThrown) SetThrownValue(std::move(setAside));
    return result;
  }
  next = after;
  return result;
}

// Stores a caught value in the catch's variable, if it names one.
QRV_NOINLINE ResultCode CatchValue(ScriptLine& catchLine, FieldValue& thrown) {
  if (catchLine.ArgTotal == 0) return ResultCode::Ok;
  const ArgRecord& arg = catchLine.ArgList[0];
  Variable* var = arg.ResolvedVar;
  std::wstring scratch;
  if (!var && arg.ContentLength) var = ResolveDynamicVar(catchLine, arg, scratch);
  if (!var) return arg.ContentLength ? ResultCode::Fail : ResultCode::Ok;
  switch (thrown.Type) {
    case FieldValue::Kind::Integer: return var->AssignInteger(thrown.Integer);
    case FieldValue::Kind::Float: return var->AssignFloat(thrown.Float);
    case FieldValue::Kind::Object: thrown.Object->AddRef(); return var->AssignObject(thrown.Object);
    case FieldValue::Kind::Text: break;
  }
  return var->Assign(thrown.Text);
}

// Throw: the value (or a new exception object without one) becomes the
// thread's thrown value; the line fails so the thread unwinds to a Try.
QRV_NOINLINE ResultCode RunThrow(ScriptLine& line, std::wstring& buffer) {
  if (line.ArgTotal == 0) return RaiseException(&line, kExceptionThrown);
  FieldValue value;
  if (line.ArgList[0].ExprFlag) {
    // Evaluated with a result token, so numbers and objects stay what they are.
    ExprToken token;
    token.Symbol = ExprSymbol::String;
    ResultCode result = ResultCode::Ok;
    buffer.clear();
    if (!EvaluateExpression(line, 0, result, &token, buffer))
      return result == ResultCode::Ok ? ResultCode::Fail : result;
    if (token.Symbol == ExprSymbol::ObjectRef) {
      value.Type = FieldValue::Kind::Object;
      value.Object = token.Object;  // the thrown value takes over the reference
    } else if (token.Symbol == ExprSymbol::Integer) {
      value = FieldValue::OfInteger(token.ValueInt64);
    } else if (token.Symbol == ExprSymbol::Float) {
      value.Type = FieldValue::Kind::Float;
      value.Float = token.ValueDouble;
    } else {
      value = FieldValue::OfText(buffer.c_str());
    }
  } else {
    CommandArgs args;
    ResultCode result = PrepareArgs(line, args, buffer);
    if (result != ResultCode::Ok) return result;
    value = FieldValue::OfText(args[0]);
  }
  SetThrownValue(std::move(value));
  if (!(Values().CurrentThread->ExceptionMode & EXCEPTION_MODE_CATCH)) ShowUncaughtException(&line);
  return ResultCode::Fail;
}

// The line a Goto or Gosub goes to: its resolved label, or the label its
// expanded argument names.
QRV_NOINLINE ResultCode ResolveJumpTarget(ScriptLine& line, CommandArgs& args, ScriptLine*& target) {
  if (line.TargetLabel) {
    target = line.TargetLabel->MarkedLine;
    // The label reached becomes the thread's current label (A_ThisLabel).
    Values().CurrentThread->CurrentLabel = line.TargetLabel->Name;
    return ResultCode::Ok;
  }
  std::wstring name(args[0]);
  Label* label = FindLabel(name);
  if (!label) return ReportLineError(&line, parse_msg::TargetLabelMissing, ERROR_KIND_ERROR, name);
  target = label->MarkedLine;
  const ScriptLine* labelLevel = target ? target->EnclosingLine : nullptr;
  for (const ScriptLine* at = &line; labelLevel; at = at->EnclosingLine) {
    if (!at) return ReportLineError(&line, parse_msg::JumpIntoBlock);
    if (at == labelLevel) break;
  }
  Values().CurrentThread->CurrentLabel = label->Name;
  return ResultCode::Ok;
}

// Length of the name "ClipboardAll".
constexpr uint16_t kClipboardAllNameLength = 12;

// "x := ClipboardAll" with x named in the line: copies the clipboard's image
// into x without evaluating the expression first. The evaluator reads
// ClipboardAll as "" and would store that, emptying the clipboard before the
// copy when x is Clipboard. False when the line is not of that form.
QRV_NOINLINE bool CopiedClipboardImage(ScriptLine& line, ResultCode& result) {
  const ArgRecord& value = line.ArgList[1];
  if (value.ContentLength != kClipboardAllNameLength ||
      !EqualsNoCase(std::wstring_view(value.Content, value.ContentLength), L"ClipboardAll"))
    return false;
  Variable* target = line.ArgList[0].ResolvedVar;
  Variable* image = Values().Globals.Find(L"ClipboardAll");
  if (!target || !image || image->Type() != VAR_CLIPBOARDALL) return false;
  result = target->AssignVariable(*image);
  return true;
}

// "x := ClipboardAll" with a dynamic x: copies the clipboard's image into x
// after the evaluator ran; any other expression of that length was fully
// done by the evaluator.
QRV_NOINLINE ResultCode CopyClipboardImage(ScriptLine& line, CommandArgs& args) {
  const ArgRecord& value = line.ArgList[1];
  if (!EqualsNoCase(std::wstring_view(value.Content, value.ContentLength), L"ClipboardAll")) return ResultCode::Ok;
  Variable* target = args.Var[0];
  Variable* image = Values().Globals.Find(L"ClipboardAll");
  if (!target || !image || image->Type() != VAR_CLIPBOARDALL) return ResultCode::Ok;
  return target->AssignVariable(*image);
}

}  // namespace

bool TextIsTrueResult(const wchar_t* text) { return text && *text; }

CommandArgs::~CommandArgs() {
  if (FirstObject) FirstObject->Release();
}

namespace {

// Hands an arithmetic command the number its amount's expression gave; a
// text leaves the amount to be read from the argument's text.
void TakeArithmeticValue(ExprToken& number, CommandArgs& args) {
  if (number.Symbol == ExprSymbol::Integer) {
    args.ValueKind = PURE_INTEGER;
    args.ValueInteger = number.ValueInt64;
  } else if (number.Symbol == ExprSymbol::Float) {
    args.ValueKind = PURE_FLOAT;
    args.ValueFloat = number.ValueDouble;
  } else if (number.Symbol == ExprSymbol::ObjectRef) {
    number.Object->Release();  // an object is not a number: the value reads as ""
  }
}

}  // namespace

ResultCode PrepareArgs(ScriptLine& line, CommandArgs& args, std::wstring& buffer) {
  const CommandEntry& entry = CommandInfo(line.CommandIndex);
  args.Count = line.ArgTotal > entry.MostArgs ? line.ArgTotal : entry.MostArgs;
  if (args.Count > kMaxArgs) args.Count = kMaxArgs;
  size_t offsets[kMaxArgs];
  buffer.clear();
  for (int i = 0; i < line.ArgTotal && i < kMaxArgs; ++i) {
    const ArgRecord& arg = line.ArgList[i];
    offsets[i] = kNotInBuffer;
    args.Var[i] = nullptr;
    if (arg.Kind == ARG_TYPE_OUTPUT_VAR && !arg.ExprFlag) {
      args.Var[i] = arg.ResolvedVar;
      if (!args.Var[i] && arg.ContentLength) {
        args.Var[i] = ResolveDynamicVar(line, arg, buffer);
        if (!args.Var[i]) return ResultCode::Fail;
        uint8_t type = args.Var[i]->Type();
        if (type == VAR_BUILTIN || type == VAR_CLIPBOARDALL)
          return ReportLineError(&line, L"Not allowed as an output variable.", ERROR_KIND_ERROR, args.Var[i]->Name());
      }
      args.Text[i] = L"";
      args.Length[i] = 0;
      continue;
    }
    if (arg.ExprFlag) {
      offsets[i] = buffer.size();
      ResultCode result = ResultCode::Ok;
      // Arithmetic takes its value as a number when the expression gives one,
      // sparing a round trip through text.
      bool wantsNumber = i == 1 && line.CommandIndex >= ACT_ADD && line.CommandIndex <= ACT_DIV;
      // SetTimer takes a function object as well as a name.
      bool wantsObject = i == 0 && line.CommandIndex == ACT_SETTIMER;
      ExprToken number;
      number.Symbol = ExprSymbol::String;
      if (!EvaluateExpression(line, i, result, wantsNumber || wantsObject ? &number : nullptr, buffer,
                              i == 1 ? args.Var[0] : nullptr))
        return result == ResultCode::Ok ? ResultCode::Fail : result;
      if (wantsObject) {
        if (number.Symbol == ExprSymbol::ObjectRef) args.FirstObject = number.Object;
        continue;
      }
      if (wantsNumber) TakeArithmeticValue(number, args);
      continue;
    }
    if (arg.Kind == ARG_TYPE_INPUT_VAR) {
      Variable* var = arg.ResolvedVar;
      if (!var && arg.ContentLength) {
        var = ResolveDynamicVar(line, arg, buffer);
        if (!var) return ResultCode::Fail;
      }
      args.Var[i] = var;
      offsets[i] = buffer.size();
      if (var) AppendVarText(buffer, *var);
      buffer.push_back(L'\0');
      continue;
    }
    if (!arg.RefList) {
      args.Text[i] = arg.Content;
      args.Length[i] = arg.ContentLength;
      continue;
    }
    offsets[i] = buffer.size();
    AppendExpanded(buffer, arg);
    buffer.push_back(L'\0');
    // An argument that is one reference and nothing else also hands over
    // its variable, so that a command can take a value that has no text
    // form (a saved clipboard image) as it is.
    const DerefEntry& first = arg.RefList[0];
    if (first.Var && !arg.RefList[1].Var && first.Offset == 0 && first.Length == arg.ContentLength)
      args.Var[i] = first.Var;
  }
  // Texts in the buffer get their pointers only now: the buffer may have
  // moved while later arguments were expanded.
  for (int i = 0; i < line.ArgTotal && i < kMaxArgs; ++i) {
    if (offsets[i] == kNotInBuffer) continue;
    args.Text[i] = buffer.data() + offsets[i];
    args.Length[i] = TextLength(args.Text[i]);
  }
  for (int i = line.ArgTotal; i < args.Count; ++i) {
    args.Text[i] = L"";
    args.Length[i] = 0;
    args.Var[i] = nullptr;
  }
  return ResultCode::Ok;
}

namespace {

// "x += expression" and "x -= expression" with x named in the line and no
// time unit: the amount is evaluated as a number straight away, without the
// set-up of a command's arguments. False when the line has another form.
QRV_NOINLINE bool RunExpressionArithmetic(ScriptLine& line, ResultCode& result) {
  const ArgRecord& output = line.ArgList[0];
  if (line.ArgTotal != 2 || output.ExprFlag || !output.ResolvedVar || !line.ArgList[1].ExprFlag) return false;
  ExpansionScope expansion;
  std::wstring& buffer = expansion.Buffer();
  CommandArgs args;
  args.Var[0] = output.ResolvedVar;
  ExprToken number;
  number.Symbol = ExprSymbol::String;
  ResultCode evaluated = ResultCode::Ok;
  if (!EvaluateExpression(line, 1, evaluated, &number, buffer)) {
    result = evaluated == ResultCode::Ok ? ResultCode::Fail : evaluated;
    return true;
  }
  TakeArithmeticValue(number, args);
  args.Count = 3;
  args.Text[0] = args.Text[2] = L"";
  args.Length[0] = args.Length[2] = 0;
  args.Var[1] = args.Var[2] = nullptr;
  args.Text[1] = buffer.data();
  args.Length[1] = TextLength(buffer.data());
  result = RunArithmetic(line, args);
  return true;
}

// "x := expression" with x named in the line, and a line that is one
// expression: the evaluator stores the value (or drops it) itself, so the
// line needs none of a command's argument set-up.
bool IsDirectExpressionLine(const ScriptLine& line) {
  if (line.CommandIndex == ACT_EXPRESSION) return line.ArgTotal == 1 && line.ArgList[0].ExprFlag;
  if (line.CommandIndex != ACT_ASSIGNEXPR || line.ArgTotal != 2) return false;
  const ArgRecord& output = line.ArgList[0];
  return !output.ExprFlag && output.ResolvedVar && line.ArgList[1].ExprFlag;
}

QRV_NOINLINE ResultCode RunDirectExpressionLine(ScriptLine& line) {
  ExpansionScope expansion;
  const int argIndex = line.CommandIndex == ACT_ASSIGNEXPR ? 1 : 0;
  Variable* target = argIndex ? line.ArgList[0].ResolvedVar : nullptr;
  ResultCode evaluated = ResultCode::Ok;
  if (EvaluateExpression(line, argIndex, evaluated, nullptr, expansion.Buffer(), target)) return ResultCode::Ok;
  return evaluated == ResultCode::Ok ? ResultCode::Fail : evaluated;
}

}  // namespace

ResultCode RunLines(ScriptLine* start, RunMode mode, ScriptLine*& jumpToLine) {
  const ScriptLine* level = start ? start->EnclosingLine : nullptr;
  jumpToLine = nullptr;
  for (ScriptLine* line = start; line;) {
    ExecState& exec = Exec();
    uint32_t tick;
    if (exec.QuickLinesLeft > 0) {
      --exec.QuickLinesLeft;
      tick = exec.LastCheckTick;
    } else {
      tick = exec.Hooks.CheckMessagesBetweenLines();
    }
    Script().CurrentLine = line;
    if (Values().CurrentThread->LogLines) LogLine(line, tick);

    const ActionType action = line->CommandIndex;
    if (action == ACT_ADD || action == ACT_SUB || action == ACT_ASSIGNEXPR || action == ACT_EXPRESSION) {
      ResultCode stored = ResultCode::Ok;
      const bool quick =
          action == ACT_ADD || action == ACT_SUB ? RunQuickArithmetic(*line, stored) : RunQuickStatement(*line, stored);
      if (quick) {
        if (stored != ResultCode::Ok) return stored;
        if (mode == RunMode::OneLine) return ResultCode::Ok;
        line = line->FollowingLine;
        continue;
      }
      if (action == ACT_ADD || action == ACT_SUB) {
        // Calls in the expression may take long: the next line checks.
        exec.QuickLinesLeft = 0;
        if (RunExpressionArithmetic(*line, stored)) {
          if (stored != ResultCode::Ok) return stored;
          if (mode == RunMode::OneLine) return ResultCode::Ok;
          line = line->FollowingLine;
          continue;
        }
      }
    }
    if (action == ACT_ASSIGNEXPR && line->ArgTotal > 1 && line->ArgList[1].ContentLength == kClipboardAllNameLength)
        [[unlikely]] {
      ResultCode copied = ResultCode::Ok;
      if (CopiedClipboardImage(*line, copied)) {
        if (copied != ResultCode::Ok) return copied;
        if (mode == RunMode::OneLine) return ResultCode::Ok;
        line = line->FollowingLine;
        continue;
      }
    }
    if (IsDirectExpressionLine(*line)) {
      // A call in the expression may take long: the next line checks.
      exec.QuickLinesLeft = 0;
      const ResultCode evaluated = RunDirectExpressionLine(*line);
      if (evaluated != ResultCode::Ok) return evaluated;
      if (mode == RunMode::OneLine) return ResultCode::Ok;
      line = line->FollowingLine;
      continue;
    }
    ResultCode result = ResultCode::Ok;
    ScriptLine* next = line->FollowingLine;
    ScriptLine* jump = nullptr;
    if (action == ACT_BLOCK_BEGIN) {
      // Braces take no arguments, so they skip the set-up of a line's.
      if (line->Extra == kFunctionBodyMark) {
        next = line->TargetLine;
      } else {
        result = RunLines(line->FollowingLine, RunMode::UntilBlockEnd, jump);
        next = line->TargetLine;
      }
    } else if (IsExpressionIf(*line)) {
      // Tested for its truth as the value it is; an if has no arguments to
      // expand, so it skips their set-up.
      const bool passed = EvaluateCondition(*line, 0, result);
      // A condition that may call a function may take long: the next line checks.
      if (!IsIntegerOnly(*line)) exec.QuickLinesLeft = 0;
      if (result != ResultCode::Ok) return result;
      result = FollowIf(*line, passed, mode, next, jump);
    } else if (action == ACT_RETURN) {
      // A return has no arguments to set up: its value, if any, goes
      // straight to the call that waits for it.
      if (line->ArgTotal > 0) {
        if (!IsIntegerOnly(*line)) exec.QuickLinesLeft = 0;
        ExpansionScope expansion;
        result = Exec().Hooks.DeliverReturnValue(*line, expansion.Buffer());
        if (result != ResultCode::Ok) return result;
      }
      return mode == RunMode::UntilReturn ? ResultCode::Ok : ResultCode::Returned;
    } else if (action == ACT_BLOCK_END) {
      if (mode == RunMode::UntilBlockEnd) return ResultCode::Ok;
      // Reported once here; this path answers through its own return value.
      static_cast<void>(ReportLineError(line, kReturnBeforeBrace));
      return ResultCode::Fail;
    } else {
      // A line of the general path may take long: the next one checks.
      exec.QuickLinesLeft = 0;
      ExpansionScope expansion;
      CommandArgs args;

      if (!(CommandInfo(action).Flags & kRunsOwnArgs) && line->ArgTotal > 0) {
        result = PrepareArgs(*line, args, expansion.Buffer());
        if (result != ResultCode::Ok) return result;
      } else {
        args.Count = 0;
      }

      switch (action) {
        case ACT_ELSE:
          // Reached only by falling out of an if body: the else part is skipped.
          next = line->TargetLine;
          break;
        case ACT_FINALLY:
          // Reached in the normal flow: its body simply runs.
          next = line->FollowingLine;
          break;
        case ACT_UNTIL: next = line->FollowingLine; break;
        case ACT_TRY: result = RunTry(*line, next, jump); break;
        case ACT_CATCH:
          // A catch reached in the flow (its try threw nothing) is skipped.
          next = line->TargetLine;
          break;
        case ACT_THROW: result = RunThrow(*line, expansion.Buffer()); break;
        case ACT_GOTO:
        case ACT_GOSUB: {
          ScriptLine* target = nullptr;
          result = ResolveJumpTarget(*line, args, target);
          if (result != ResultCode::Ok) break;
          if (action == ACT_GOTO) {
            jump = target;
          } else {
            ScriptLine* subJump = nullptr;
            result = RunLines(target, RunMode::UntilReturn, subJump);
            if (result == ResultCode::Returned) result = ResultCode::Ok;
          }
          break;
        }
        case ACT_EXIT:
          if (Script().StayResident) return ResultCode::ThreadExit;
          [[fallthrough]];
        case ACT_EXITAPP:
          // A cancelled exit keeps the script running; there is no caller to pass it to.
          static_cast<void>(Exec().Hooks.ExitApp(EXIT_EXIT, static_cast<int>(TextToInteger(args[0])), *args[0] != 0));
          return ResultCode::EarlyExit;
        case ACT_BREAK:
          if (line->TargetLine) {
            jump = line->TargetLine;
            break;
          }
          return ResultCode::BreakOut;
        case ACT_CONTINUE: jumpToLine = line->TargetLine; return ResultCode::NextPass;
        case ACT_LOOP:
        case ACT_WHILE:
        case ACT_FOR: result = RunLoop(*line, next, jump, expansion.Buffer()); break;
        case ACT_ASSIGN: result = RunLegacyAssign(*line, expansion.Buffer()); break;
        case ACT_ASSIGNEXPR:
          // x := ClipboardAll saves the clipboard's image, which has no text
          // form for the evaluator to have stored.
          if (line->ArgTotal > 1 && line->ArgList[1].ContentLength == kClipboardAllNameLength) [[unlikely]]
            result = CopyClipboardImage(*line, args);
          break;
        case ACT_EXPRESSION: break;  // the evaluator has done the work
        case ACT_ADD:
        case ACT_SUB:
        case ACT_MULT:
        case ACT_DIV: result = RunArithmetic(*line, args); break;
        default:
          if (IsIf(action)) {
            bool passed = action == ACT_IFEXPR && TextIsTrueResult(args[0]);
            if (action != ACT_IFEXPR) {
              ResultCode test = TestCondition(*line, args);
              if (test == ResultCode::Fail) return test;
              passed = test == ResultCode::TestPassed;
            }
            result = FollowIf(*line, passed, mode, next, jump);
            break;
          }
          result = DispatchCommand(*line, args);
          break;
      }
    }

    if (result == ResultCode::Returned && mode == RunMode::UntilReturn) return ResultCode::Ok;
    if (result != ResultCode::Ok) {
      jumpToLine = jump;
      return result;
    }
    if (jump) {
      if (JumpStaysHere(jump, level, mode)) {
        line = jump;
        continue;
      }
      jumpToLine = jump;
      return ResultCode::Ok;
    }
    if (mode == RunMode::OneLine) {
      return ResultCode::Ok;
    }
    line = next;
  }
  return ResultCode::Ok;
}
