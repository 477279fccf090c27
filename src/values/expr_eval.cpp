// The evaluator's main loop: operands, run-time variable and double-deref
// resolution, short circuits and the ternary, calls, the in-place forms of
// concatenation, and the hand-over of the final value. Also the arena that
// holds every evaluation's temporaries.
#include "values/expr_eval.h"

#include <windows.h>

#include <cwchar>

#include "base/error_sink.h"
#include "base/load_pool.h"
#include "base/portability.h"
#include "base/script_context.h"
#include "base/script_line.h"
#include "base/text_length.h"
#include "values/expr_compiler.h"
#include "values/expr_integer.h"
#include "values/expr_operators.h"
#include "values/expr_scan.h"
#include "values/object.h"
#include "values/parsed_arg.h"
#include "values/thread_settings.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

// Arena chunks: taken from the heap when first needed, then kept and reused
// by every later evaluation.
constexpr size_t kArenaChunkBytes = 64 * 1024;
constexpr size_t kMaxArenaChunks = 1024;
constexpr size_t kArenaAlignment = 16;

}  // namespace

// Stack-like memory shared by all evaluations, nested ones included: each
// evaluation takes what it needs above the current position and gives it
// back by returning to the position it started at.
class EvalArena {
 public:
  // The position to return to (chunk and bytes used in it).
  void Position(size_t& chunk, size_t& used) const {
    chunk = current_;
    used = used_;
  }
  // Returns to a position taken earlier. The memory above it may hold
  // other texts soon, so a joined text noted there is forgotten.
  void Release(size_t chunk, size_t used) {
    current_ = chunk;
    used_ = used;
    joined_ = nullptr;
  }
  // The latest joined text and its length (see EvalFrame::NoteJoined).
  void NoteJoined(wchar_t* text, size_t length) {
    joined_ = text;
    joinedLength_ = length;
  }
  wchar_t* Joined() const { return joined_; }
  size_t JoinedLength() const { return joinedLength_; }
  // Grows the newest block in place when nothing was taken above it and
  // its chunk has room; false leaves it as it was.
  bool Extend(void* block, size_t oldBytes, size_t newBytes) {
    if (current_ >= count_) return false;
    oldBytes = Aligned(oldBytes);
    newBytes = Aligned(newBytes);
    const Chunk& chunk = chunks_[current_];
    const auto* start = static_cast<char*>(block);
    if (used_ < oldBytes || start != chunk.Data + (used_ - oldBytes) || used_ - oldBytes + newBytes > chunk.Size)
      return false;
    used_ = used_ - oldBytes + newBytes;
    return true;
  }
  // Memory above the current position; null when the system has none.
  void* Alloc(size_t bytes) {
    bytes = Aligned(bytes);
    for (;;) {
      if (current_ < count_) {
        if (used_ + bytes <= chunks_[current_].Size) {
          void* at = chunks_[current_].Data + used_;
          used_ += bytes;
          return at;
        }
        ++current_;  // the rest of this chunk waits for the next evaluation
        used_ = 0;
        continue;
      }
      if (count_ == kMaxArenaChunks) return nullptr;
      const size_t size = bytes > kArenaChunkBytes ? bytes : kArenaChunkBytes;
      auto* data = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, size));
      if (!data) return nullptr;
      ++Values().ExprCounters.ArenaChunks;
      chunks_[count_++] = {data, size};
      current_ = count_ - 1;
      used_ = 0;
    }
  }

 private:
  struct Chunk {
    char* Data;
    size_t Size;
  };
  static size_t Aligned(size_t bytes) { return (bytes + kArenaAlignment - 1) & ~(kArenaAlignment - 1); }
  Chunk chunks_[kMaxArenaChunks] = {};
  size_t count_ = 0;
  size_t current_ = 0;  // == count_ when no chunk is in use yet
  size_t used_ = 0;
  wchar_t* joined_ = nullptr;
  size_t joinedLength_ = 0;
};

namespace {

// The one arena; only the script thread evaluates expressions. Made on
// first use and never freed (its chunks serve every later evaluation).
inline EvalArena& Arena() {
  if (!Values().Arena) Values().Arena = new EvalArena();
  return *Values().Arena;
}

// Whether a line's final value is reduced to its truth.
bool IsConditionLine(ActionType action) { return action == ACT_IFEXPR || action == ACT_WHILE || action == ACT_UNTIL; }

// Puts a variable's value into a token when the value is a number that has
// no text of its own (a number stored, not a text that looks like one).
bool NumberOfVariable(Variable& variable, ExprToken& token) {
  Variable& var = *variable.ResolveAlias();
  const uint8_t attrib = var.Attrib();
  if (!(attrib & VAR_ATTRIB_CONTENTS_OUT_OF_DATE)) return false;
  if (attrib & VAR_ATTRIB_HAS_VALID_INT64) {
    token.SetInteger(var.ToInteger(false));
  } else if (attrib & VAR_ATTRIB_HAS_VALID_DOUBLE) {
    token.SetFloat(var.ToFloat(false));
  } else {
    return false;
  }
  token.Circuit = nullptr;
  return true;
}

// The name error of a double-deref that built an illegal variable name.
std::wstring IllegalNameMessage(std::wstring_view name) {
  std::wstring message = msg::VarNameIllegalChar;
  const std::wstring_view shown = name.substr(0, msg::kIllegalNameShown);
  message.append(shown.empty() ? std::wstring_view(L" ") : shown);
  message += L'"';
  return message;
}

// One run of a postfix array.
class Evaluation {
 public:
  // An evaluation of one compiled argument; assignTarget is the output
  // variable of an ACT_ASSIGNEXPR line, else null.
  Evaluation(EvalFrame& frame, const CompiledExpression& form, Variable* assignTarget)
      : frame_(frame), postfix_(form.Postfix), count_(form.PostfixCount), target_(assignTarget) {}
  // Releases the object references still on the operand stack.
  ~Evaluation();

  // Runs the tokens. Ok leaves the value in Value() (null when the
  // expression yields the empty string); anything else is the failure.
  ResultCode Run();
  ExprToken* Value() const { return yieldEmpty_ || sp_ != 1 ? nullptr : stack_[0]; }
  // Whether the line's output variable already holds the value.
  bool TargetAssigned() const { return targetAssigned_; }
  // Gives up the value's object reference (the caller took it).
  void ForgetValueObject() {
    if (ExprToken* value = Value()) value->Symbol = ExprSymbol::Integer;
  }

 private:
  // Reports a run-time error on the line and fails.
  ResultCode Fail(const wchar_t* message, std::wstring_view detail = {}) {
    // Reported once here; this path answers through its own return value.
    static_cast<void>(ReportLineError(&frame_.Line(), message, ERROR_KIND_ERROR, detail));
    return ResultCode::Fail;
  }
  // The operand stack.
  void Push(ExprToken* t) { stack_[sp_++] = t; }
  ExprToken* Pop() { return stack_[--sp_]; }
  // Releases the object reference a consumed operand owned, unless the
  // result carries it on.
  void Discard(ExprToken& operand, const ExprToken& result) {
    Discard(operand, result.Symbol == ExprSymbol::ObjectRef ? result.Object : nullptr);
  }
  void Discard(ExprToken& operand, const IObject* kept = nullptr);
  // Where evaluation goes on after a value was produced at `at`.
  size_t AfterValue(size_t at);

  // The value of a RuntimeRef token: A_Index, a variable, or a double-deref.
  ResultCode ResolveRuntimeRef(const ExprToken& source, ExprToken& slot);
  // A variable read now: itself while it has a value, else the text it
  // stands for (the environment, a built-in, the clipboard).
  ResultCode ResolveVariable(Variable* var, ExprToken& slot);
  // Builds a double-deref chunk's name and finds what it names.
  ResultCode ResolveChunk(const ExprToken& source, ExprToken& slot);
  // Runs the call at token i and pushes its result.
  ResultCode DoCall(size_t& i);
  // After a call at token i: releases a failed call's result, or takes the
  // result's text over, drops the `taken` entries the call used and pushes it.
  ResultCode FinishCall(size_t i, ResultCode result, size_t taken);
  // The function a dynamic call's text names, or null; `failed` after an
  // error was reported.
  const ExprFunc* FunctionNamedBy(ExprToken& named, bool& failed);
  // The read of a compound assignment to a member: leaves the target and
  // keys on the stack for the store that follows.
  ResultCode GetInPlace(size_t i, ExprCallFunction callee);
  // Calls an object that a dynamic call named, and pushes its result.
  ResultCode CallObjectOnStack(size_t i, IObject* object, size_t paramCount, size_t taken, bool expandLast);
  // Makes a call's text result the evaluation's own (or the output variable's).
  ResultCode AdoptCallText(size_t i, ExprToken& slot);
  // Concatenation at token i, in place when a variable is about to take it.
  ResultCode DoConcat(size_t& i);
  // Joins left and right straight into target when that saves a copy; false
  // when the ordinary way must be taken (result tells a failure).
  bool ConcatInto(Variable& target, ExprToken& left, ExprToken& right, ResultCode& result);

  EvalFrame& frame_;
  const ExprToken* postfix_;
  size_t count_;
  Variable* target_;            // ACT_ASSIGNEXPR: the output variable
  ExprToken* slots_ = nullptr;  // a working copy per postfix token
  ExprToken** stack_ = nullptr;
  size_t sp_ = 0;
  bool yieldEmpty_ = false;  // a condition that makes the whole expression empty
  bool targetAssigned_ = false;
};

Evaluation::~Evaluation() {
  for (size_t i = 0; i < sp_; ++i)
    if (stack_[i]->Symbol == ExprSymbol::ObjectRef) stack_[i]->Object->Release();
}

void Evaluation::Discard(ExprToken& operand, const IObject* kept) {
  if (operand.Symbol != ExprSymbol::ObjectRef || operand.Object == kept) return;
  operand.Object->Release();
  operand.Symbol = ExprSymbol::Integer;  // owns nothing any more
}

size_t Evaluation::AfterValue(size_t at) {
  const ExprToken* link = postfix_[at].Circuit;
  while (link) {
    const size_t linkIndex = static_cast<size_t>(link - postfix_);
    ExprToken& value = *stack_[sp_ - 1];
    const bool truth = TruthOf(value);
    --sp_;
    Discard(value);
    // The condition of ?: is consumed; false skips to the else branch.
    if (link->Symbol == ExprSymbol::Then) return truth ? at + 1 : linkIndex + 1;
    const bool decides = (link->Symbol == ExprSymbol::Or) == truth;
    if (!decides) return at + 1;  // the right side decides
    ExprToken& slot = slots_[linkIndex];
    slot.SetInteger(truth ? 1 : 0);
    slot.Circuit = nullptr;
    Push(&slot);
    at = linkIndex;  // a || b || c: the same truth may decide the next one too
    link = link->Circuit;
  }
  return at + 1;
}

ResultCode Evaluation::ResolveVariable(Variable* var, ExprToken& slot) {
  Variable& resolved = *var->ResolveAlias();
  const uint8_t type = resolved.Type();
  if (type == VAR_NORMAL) {
    const uint8_t holds = VAR_ATTRIB_OBJECT | VAR_ATTRIB_HAS_VALID_INT64 | VAR_ATTRIB_HAS_VALID_DOUBLE;
    if (Values().NoEnv || resolved.ByteLength() || (resolved.Attrib() & holds)) {
      slot.SetVariable(var);
      return ResultCode::Ok;
    }
  }
  if (type == VAR_CLIPBOARDALL) {
    slot.SetText(L"");
    return ResultCode::Ok;
  }
  if (BuiltInView view = resolved.View()) {
    if (const wchar_t* text = view()) {
      slot.SetText(*text ? text : L"", *text ? ExprSymbol::RawWord : ExprSymbol::String);
      return ResultCode::Ok;
    }
  }
  // An empty normal variable may stand for an environment variable; built-ins
  // and the clipboard make their text on request.
  const size_t length = var->GetText(nullptr);
  if (!length) {
    if (type == VAR_NORMAL)
      slot.SetVariable(var);
    else
      slot.SetText(L"");
    return ResultCode::Ok;
  }
  wchar_t* text = frame_.AllocText(length, var->Name());
  if (!text) return ResultCode::Fail;
  const size_t got = var->GetText(text);
  text[got] = L'\0';
  slot.SetText(got ? text : L"", got ? ExprSymbol::RawWord : ExprSymbol::String);
  return ResultCode::Ok;
}

QRV_NOINLINE ResultCode Evaluation::ResolveChunk(const ExprToken& source, ExprToken& slot) {
  const DerefEntry* parts = source.Parts;
  size_t partCount = 0;
  while (parts[partCount].Var) ++partCount;
  const bool namesFunction = parts[partCount].Offset == kExprChunkNamesFunction;
  const wchar_t* chunk = source.Text;
  const size_t chunkLength = std::wcslen(chunk);
  if (namesFunction && partCount == 1 && parts[0].Offset == 0 && parts[0].Length == chunkLength) {
    // %fn%(...) where fn holds a function object: call it as it is.
    if (IObject* object = parts[0].Var->ObjectValue()) {
      object->AddRef();
      slot.SetObject(object);
      return ResultCode::Ok;
    }
  }
  wchar_t name[kMaxVarNameLength + 1];
  size_t length = 0, at = 0;
  bool tooLong = false;
  for (size_t k = 0; k <= partCount && !tooLong; ++k) {
    const size_t literalEnd = k < partCount ? parts[k].Offset : chunkLength;
    const size_t literalLength = literalEnd - at;
    if (length + literalLength > kMaxVarNameLength) {
      tooLong = true;
      break;
    }
    std::wmemcpy(name + length, chunk + at, literalLength);
    length += literalLength;
    if (k == partCount) break;
    Variable* var = parts[k].Var;
    const size_t bound = var->GetText(nullptr);
    if (length + bound > kMaxVarNameLength) {
      tooLong = true;
      break;
    }
    length += var->GetText(name + length);
    at = parts[k].Offset + parts[k].Length;
  }
  if (tooLong) {
    if (namesFunction) {
      yieldEmpty_ = true;  // no function has such a name
      return ResultCode::Ok;
    }
    slot.SetText(L"");
    return ResultCode::Ok;
  }
  name[length] = L'\0';
  const std::wstring_view nameView(name, length);
  if (namesFunction) {
    wchar_t* copy = frame_.AllocText(length);
    if (!copy) return ResultCode::Fail;
    std::wmemcpy(copy, name, length + 1);
    slot.SetText(copy);
    return ResultCode::Ok;
  }
  if (!length) {
    slot.SetText(L"");
    return ResultCode::Ok;
  }
  if (!IsValidVariableName(nameView)) return Fail(IllegalNameMessage(nameView).c_str());
  FunctionScope* scope = Values().CurrentFunctionScope ? Values().CurrentFunctionScope() : nullptr;
  Variable* var = FindOrAddVariable(nameView, Values().Globals, scope, ResolvePhase::Running);
  if (!var) return ResultCode::Fail;
  return ResolveVariable(var, slot);
}

ResultCode Evaluation::ResolveRuntimeRef(const ExprToken& source, ExprToken& slot) {
  if (source.Parts == g_ExprLoopIndexMarker) {
    slot.SetInteger(Values().CurrentThread->LoopIndex);
    return ResultCode::Ok;
  }
  if (!source.Parts) return ResolveVariable(source.Var, slot);
  return ResolveChunk(source, slot);
}

ResultCode Evaluation::AdoptCallText(size_t i, ExprToken& slot) {
  const wchar_t* text = slot.Text ? slot.Text : L"";
  const size_t length = TextLength(text);
  wchar_t* heap = slot.HeapText;
  slot.Circuit = nullptr;
  if (heap) {
    // A returned heap block that is the line's final value becomes the
    // output variable's buffer without a copy.
    if (i + 1 == count_ && target_ && target_->ResolveAlias()->Type() == VAR_NORMAL) {
      if (target_->AcceptMemory(heap, length) != ResultCode::Ok) return ResultCode::Fail;
      targetAssigned_ = true;
      slot.SetVariable(target_);
      return ResultCode::Ok;
    }
    if (frame_.AdoptHeapBlock(heap) != ResultCode::Ok) return ResultCode::Fail;
    slot.SetText(heap, ExprSymbol::RawWord);
    return ResultCode::Ok;
  }
  // The function's memory may be reused by its next call.
  wchar_t* copy = frame_.AllocText(length);
  if (!copy) return ResultCode::Fail;
  std::wmemcpy(copy, text, length + 1);
  slot.SetText(copy, ExprSymbol::RawWord);
  return ResultCode::Ok;
}

ResultCode Evaluation::FinishCall(size_t i, ResultCode result, size_t taken) {
  ExprToken& slot = slots_[i];
  if (result == ResultCode::Returned) result = ResultCode::Ok;
  if (result != ResultCode::Ok) {
    if (slot.Symbol == ExprSymbol::ObjectRef) slot.Object->Release();
    if ((slot.Symbol == ExprSymbol::String || slot.Symbol == ExprSymbol::RawWord) && slot.HeapText)
      FreeVarHeap(slot.HeapText);
    return result;
  }
  if (slot.Symbol == ExprSymbol::String || slot.Symbol == ExprSymbol::RawWord) {
    if (AdoptCallText(i, slot) != ResultCode::Ok) return ResultCode::Fail;
  } else {
    slot.Circuit = nullptr;
  }
  // A call's result owns its own reference: every operand gives its up.
  for (size_t k = 0; k < taken; ++k) Discard(*Pop());
  Push(&slot);
  return ResultCode::Ok;
}

QRV_NOINLINE const ExprFunc* Evaluation::FunctionNamedBy(ExprToken& named, bool& failed) {
  wchar_t buffer[kNumberTextChars];
  TextPiece piece;
  if (!TextOf(frame_, named, buffer, piece)) {
    failed = true;
    return nullptr;
  }
  return Values().FindFunction ? Values().FindFunction(std::wstring_view(piece.Chars, piece.Length)) : nullptr;
}

QRV_NOINLINE ResultCode Evaluation::CallObjectOnStack(size_t i, IObject* object, size_t paramCount, size_t taken,
                                                      bool expandLast) {
  if (!Values().CallObject) return Fail(expr_msg::ObjectsUnsupported);
  ExprToken& slot = slots_[i];
  slot.SetText(L"");
  slot.HeapText = nullptr;
  bool handled = false;
  ResultCode result =
      Values().CallObject(object, slot, stack_ + (sp_ - paramCount), static_cast<int>(paramCount), expandLast, handled);
  return FinishCall(i, result, taken);
}

ResultCode Evaluation::DoCall(size_t& i) {
  const ExprToken& source = postfix_[i];
  ExprToken& slot = slots_[i];
  const ExprCall& call = *source.CallInfo;
  const size_t paramCount = static_cast<size_t>(call.ParamCount);
  const ExprFunc* func = call.Func;
  size_t taken = paramCount;
  if (sp_ < paramCount) {
    yieldEmpty_ = true;
    return ResultCode::Ok;
  }
  if (!func) {
    // A dynamic call: the entry below the parameters names the function.
    if (sp_ < paramCount + 1) {
      yieldEmpty_ = true;
      return ResultCode::Ok;
    }
    ExprToken& named = *stack_[sp_ - paramCount - 1];
    taken = paramCount + 1;
    if (IObject* object = ObjectOf(named)) return CallObjectOnStack(i, object, paramCount, taken, call.ExpandLast);
    bool failed = false;
    func = FunctionNamedBy(named, failed);
    if (failed) return ResultCode::Fail;
    if (!func) {
      // Neither a function nor an object: a text has no methods to call.
      slot.SetText(L"");
      slot.Circuit = nullptr;
      for (size_t k = 0; k < taken; ++k) Discard(*Pop());
      Push(&slot);
      return ResultCode::Ok;
    }
    if (static_cast<int>(paramCount) < func->MinParams && !call.ExpandLast) {
      yieldEmpty_ = true;
      return ResultCode::Ok;
    }
  }
  ExprCallFunction callee = func->Call;
  if (!callee && Values().ObjectCall) callee = Values().ObjectCall(*func);
  if (func == &g_ExprMemberGetInPlace && callee) return GetInPlace(i, callee);
  if (!callee) {
    const wchar_t* message = func->UnavailableMessage && *func->UnavailableMessage ? func->UnavailableMessage
                                                                                   : expr_msg::FunctionUnavailable;
    return Fail(message, func->Name);
  }
  slot.SetText(L"");
  slot.HeapText = nullptr;
  ResultCode result =
      call.ExpandLast && Values().SpreadCall && func->Owner
          ? Values().SpreadCall(*func, slot, stack_ + (sp_ - paramCount), static_cast<int>(paramCount))
          : callee(*func, slot, stack_ + (sp_ - paramCount), static_cast<int>(paramCount), call.ExpandLast);
  return FinishCall(i, result, taken);
}

QRV_NOINLINE ResultCode Evaluation::GetInPlace(size_t i, ExprCallFunction callee) {
  const ExprToken& source = postfix_[i];
  ExprToken& slot = slots_[i];
  size_t items = static_cast<size_t>(source.CallInfo->ParamCount);
  if (items == 1) {
    // x[a, b] += v: the number of target and keys lies on top of them.
    ExprToken& count = *Pop();
    items = static_cast<size_t>(IntegerOf(count));
  }
  if (items > sp_) {
    yieldEmpty_ = true;
    return ResultCode::Ok;
  }
  slot.SetText(L"");
  slot.HeapText = nullptr;
  ResultCode result = callee(*source.CallInfo->Func, slot, stack_ + (sp_ - items), static_cast<int>(items), false);
  // The target and keys stay for the store that follows.
  return FinishCall(i, result, 0);
}

QRV_NOINLINE bool Evaluation::ConcatInto(Variable& target, ExprToken& left, ExprToken& right, ResultCode& result) {
  Variable& var = *target.ResolveAlias();
  if (var.Type() != VAR_NORMAL) return false;
  const bool leftIsTarget = left.Symbol == ExprSymbol::VariableRef && left.Var->ResolveAlias() == &var;
  const bool rightIsTarget = right.Symbol == ExprSymbol::VariableRef && right.Var->ResolveAlias() == &var;
  wchar_t leftBuffer[kNumberTextChars], rightBuffer[kNumberTextChars];
  TextPiece a, b;
  result = ResultCode::Ok;
  if (leftIsTarget) {
    // x := x . y appends in place when x has room.
    if (var.HasObject() || !TextOf(frame_, right, rightBuffer, b)) return false;
    return var.Append(b.Chars, b.Length) == ResultCode::Ok;
  }
  if (rightIsTarget) return false;
  // x := a . b: joined straight into x's own buffer.
  if (!TextOf(frame_, left, leftBuffer, a) || !TextOf(frame_, right, rightBuffer, b)) return false;
  if (var.Assign(nullptr, static_cast<ptrdiff_t>(a.Length + b.Length)) != ResultCode::Ok) {
    result = ResultCode::Fail;
    return true;
  }
  auto* buffer = const_cast<wchar_t*>(var.TextOf(false, true));
  if (a.Length + b.Length) {
    std::wmemcpy(buffer, a.Chars, a.Length);
    std::wmemcpy(buffer + a.Length, b.Chars, b.Length);
  }
  var.SetLength(a.Length + b.Length);
  return true;
}

QRV_NOINLINE ResultCode Evaluation::DoConcat(size_t& i) {
  ExprToken& right = *Pop();
  ExprToken& left = *Pop();
  ExprToken& slot = slots_[i];
  // The joined text may be about to go into a variable: the line's output
  // variable (x := a . b) or the target of an assignment that follows.
  Variable* target = nullptr;
  bool forAssign = false;
  if (i + 1 == count_ && target_) {
    target = target_;
  } else if (i + 1 < count_ && postfix_[i + 1].Symbol == ExprSymbol::Assign && sp_ >= 1 &&
             stack_[sp_ - 1]->Symbol == ExprSymbol::VariableRef) {
    target = stack_[sp_ - 1]->Var;
    forAssign = true;
  }
  ResultCode result = ResultCode::Ok;
  if (target && ConcatInto(*target, left, right, result)) {
    Discard(left);
    Discard(right);
    if (result != ResultCode::Ok) return result;
    if (forAssign) {
      // The assignment is done; its result is the variable.
      ++i;
      --sp_;
      slots_[i].SetVariable(target);
      slots_[i].Circuit = nullptr;
      Push(&slots_[i]);
    } else {
      targetAssigned_ = true;
      slot.SetVariable(target);
      slot.Circuit = nullptr;
      Push(&slot);
    }
    return ResultCode::Ok;
  }
  result = EvalConcat(frame_, left, right, slot);
  Discard(left);
  Discard(right);
  if (result != ResultCode::Ok) return result;
  slot.Circuit = nullptr;
  Push(&slot);
  return ResultCode::Ok;
}

ResultCode Evaluation::Run() {
  if (!count_) return ResultCode::Ok;
  // One piece of work memory: the token copies, then the operand stack.
  auto* work = static_cast<char*>(frame_.AllocWork(count_ * (sizeof(ExprToken) + sizeof(ExprToken*))));
  if (!work) return ResultCode::Fail;
  slots_ = reinterpret_cast<ExprToken*>(work);
  stack_ = reinterpret_cast<ExprToken**>(work + count_ * sizeof(ExprToken));
  for (size_t i = 0; i < count_;) {
    const ExprToken& source = postfix_[i];
    ExprToken& slot = slots_[i];
    const ExprSymbol symbol = source.Symbol;
    size_t at = i;  // the token whose circuit link applies to the value now on top
    ResultCode result = ResultCode::Ok;
    if (IsExprOperand(symbol)) {
      if (symbol == ExprSymbol::RuntimeRef) {
        result = ResolveRuntimeRef(source, slot);
      } else {
        slot = source;
      }
      slot.Circuit = nullptr;
      if (result != ResultCode::Ok) return result;
      if (yieldEmpty_) return ResultCode::Ok;
      Push(&slot);
    } else if (symbol == ExprSymbol::Then) {
      // Reached only after the then-branch: its value stands, the else
      // branch is skipped.
      if (!sp_) {
        yieldEmpty_ = true;
        return ResultCode::Ok;
      }
      if (source.Circuit) at = static_cast<size_t>(source.Circuit - postfix_);
    } else if (symbol == ExprSymbol::Else) {
      if (!sp_) {
        yieldEmpty_ = true;
        return ResultCode::Ok;
      }
    } else if (symbol == ExprSymbol::Call || symbol == ExprSymbol::RegExMatch) {
      result = DoCall(i);
      at = i;
    } else if (symbol == ExprSymbol::Concat) {
      if (sp_ < 2) {
        yieldEmpty_ = true;
        return ResultCode::Ok;
      }
      result = DoConcat(i);
      at = i;
    } else if (symbol == ExprSymbol::Comma || IsExprAssignment(symbol) || symbol == ExprSymbol::Power ||
               (symbol >= ExprSymbol::Equal && symbol <= ExprSymbol::FloorDivide)) {
      if (sp_ < 2) {
        yieldEmpty_ = true;
        return ResultCode::Ok;
      }
      ExprToken& right = *Pop();
      ExprToken& left = *Pop();
      slot.Circuit = nullptr;
      if (symbol == ExprSymbol::Comma) {
        slot = left;  // the right side was evaluated for its effects
        slot.Circuit = nullptr;
      } else if (IsExprAssignment(symbol)) {
        result = EvalAssign(symbol, frame_, left, right, slot);
      } else {
        result = EvalBinary(symbol, frame_, left, right, slot);
      }
      const bool keeps = result == ResultCode::Ok && slot.Symbol == ExprSymbol::ObjectRef;
      Discard(left, keeps ? slot.Object : nullptr);
      Discard(right, keeps ? slot.Object : nullptr);
      if (result == ResultCode::Ok) Push(&slot);
    } else {
      // Unary operators, and Or/And reached without a short circuit.
      if (!sp_) {
        yieldEmpty_ = true;
        return ResultCode::Ok;
      }
      ExprToken& operand = *Pop();
      slot.Circuit = nullptr;
      result = EvalUnary(symbol, frame_, operand, slot);
      Discard(operand, result == ResultCode::Ok && slot.Symbol == ExprSymbol::ObjectRef ? slot.Object : nullptr);
      if (result == ResultCode::Ok) Push(&slot);
    }
    if (result != ResultCode::Ok) return result;
    if (yieldEmpty_) return ResultCode::Ok;
    i = AfterValue(at);
  }
  return ResultCode::Ok;
}

// Appends the text form of an expression's value; false after an error.
QRV_NOINLINE bool AppendValueText(EvalFrame& frame, ExprToken& value, std::wstring& out) {
  wchar_t buffer[kNumberTextChars];
  TextPiece piece;
  if (!TextOf(frame, value, buffer, piece)) return false;
  out.append(piece.Chars, piece.Length);
  return true;
}

// Load errors captured by EvaluateExpressionText.

// Keeps the first error reported while EvaluateExpressionText runs.
void CaptureError(std::wstring_view message, std::wstring_view extra, int) {
  if (!Values().CapturedError || !Values().CapturedError->empty()) return;
  Values().CapturedError->assign(message);
  if (!extra.empty()) {
    *Values().CapturedError += L"\nSpecifically: ";
    *Values().CapturedError += extra;
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// The frame

EvalFrame::EvalFrame(ScriptLine& line) : line_(line) { Arena().Position(markChunk_, markUsed_); }

EvalFrame::~EvalFrame() {
  for (size_t i = 0; i < heapCount_; ++i) FreeVarHeap(heap_[i]);
  Arena().Release(markChunk_, markUsed_);
}

void* EvalFrame::AllocWork(size_t bytes) {
  void* memory = Arena().Alloc(bytes);
  // Reported once here; this path answers through its own return value.
  if (!memory) static_cast<void>(ReportLineError(&line_, expr_msg::OutOfMemory));
  return memory;
}

bool EvalFrame::KeepHeapBlock(wchar_t* block) {
  if (heapCount_ == kMaxEvalHeapBlocks) return false;
  if (heapCount_ == kInlineHeapBlocks && heap_ == inlineHeap_) {
    auto* grown = static_cast<wchar_t**>(Arena().Alloc(kMaxEvalHeapBlocks * sizeof(wchar_t*)));
    if (!grown) return false;
    for (size_t i = 0; i < heapCount_; ++i) grown[i] = inlineHeap_[i];
    heap_ = grown;
  }
  heap_[heapCount_++] = block;
  return true;
}

wchar_t* EvalFrame::AllocText(size_t chars, std::wstring_view detail) {
  const size_t needed = chars + 1;
  if (needed <= kMaxArenaPieceChars && arenaChars_ + needed <= kMaxArenaCharsPerEvaluation) {
    if (void* memory = Arena().Alloc(needed * sizeof(wchar_t))) {
      arenaChars_ += needed;
      return static_cast<wchar_t*>(memory);
    }
  }
  if (heapCount_ < kMaxEvalHeapBlocks && needed < SIZE_MAX / sizeof(wchar_t)) {
    if (auto* block = static_cast<wchar_t*>(AllocVarHeap(needed * sizeof(wchar_t)))) {
      ++Values().ExprCounters.HeapBlocks;
      KeepHeapBlock(block);
      return block;
    }
  }
  // Reported once here; this path answers through its own return value.
  static_cast<void>(ReportLineError(&line_, expr_msg::OutOfMemory, ERROR_KIND_ERROR, detail));
  return nullptr;
}

void EvalFrame::NoteJoined(wchar_t* text, size_t length) { Arena().NoteJoined(text, length); }

const wchar_t* EvalFrame::Joined() const { return Arena().Joined(); }

size_t EvalFrame::JoinedLength() const { return Arena().JoinedLength(); }

wchar_t* EvalFrame::ExtendJoined(const wchar_t* text, size_t extraChars) {
  EvalArena& arena = Arena();
  wchar_t* joined = arena.Joined();
  if (!joined || text != joined) return nullptr;
  const size_t oldNeeded = arena.JoinedLength() + 1;
  const size_t newNeeded = oldNeeded + extraChars;
  if (newNeeded > kMaxArenaPieceChars || arenaChars_ + extraChars > kMaxArenaCharsPerEvaluation) return nullptr;
  if (!arena.Extend(joined, oldNeeded * sizeof(wchar_t), newNeeded * sizeof(wchar_t))) return nullptr;
  arenaChars_ += extraChars;
  return joined;
}

ResultCode EvalFrame::AdoptHeapBlock(wchar_t* block) {
  if (KeepHeapBlock(block)) return ResultCode::Ok;
  FreeVarHeap(block);
  return ReportLineError(&line_, expr_msg::OutOfMemory);
}

// ---------------------------------------------------------------------------
// Entry points

const ExprMemoryCounters& GetExprMemoryCounters() { return Values().ExprCounters; }

namespace {

// The compiled form of an expression argument, compiled now for a line
// made after the script loaded; null after the compile error was reported.
CompiledExpression* CompiledFormOf(ScriptLine& line, int argIndex) {
  ArgRecord& arg = line.ArgList[argIndex];
  auto* form = static_cast<CompiledExpression*>(arg.CompiledForm);
  if (form && form->Postfix) return form;
  if (CompileExpression(line, arg) != ResultCode::Ok) return nullptr;
  return static_cast<CompiledExpression*>(arg.CompiledForm);
}

}  // namespace

bool EvaluateExpression(ScriptLine& line, int argIndex, ResultCode& result, ExprToken* resultToken, std::wstring& out,
                        Variable* outputVar) {
  result = ResultCode::Ok;
  CompiledExpression* form = CompiledFormOf(line, argIndex);
  if (!form) {
    result = ResultCode::Fail;
    return false;
  }
  Variable* target = nullptr;
  if (line.CommandIndex == ACT_ASSIGNEXPR && argIndex == 1)
    target = outputVar ? outputVar : line.ArgList[0].ResolvedVar;

  // The commonest expressions are one number: a literal or A_Index. Those
  // need no evaluation frame at all.
  if (form->PostfixCount == 1 && (resultToken || target)) {
    const ExprToken& only = form->Postfix[0];
    const bool literal = only.Symbol == ExprSymbol::Integer || only.Symbol == ExprSymbol::Float;
    const bool loopIndex = only.Symbol == ExprSymbol::RuntimeRef && only.Parts == g_ExprLoopIndexMarker;
    const bool integerWord = only.Symbol == ExprSymbol::RawWord && only.PreParsed && (target || only.Text[0] != L'0');
    if (literal || loopIndex || integerWord) {
      // The number is written straight into the token it goes to: building
      // it in a local and copying the whole token costs more than the rest.
      ExprToken local;
      ExprToken& value = target ? local : *resultToken;
      if (loopIndex)
        value.SetInteger(Values().CurrentThread->LoopIndex);
      else if (integerWord && !target)
        value.SetInteger(*only.PreParsed);
      else
        value = only;
      value.Circuit = nullptr;
      if (target && target->AssignToken(value) != ResultCode::Ok) {
        result = ResultCode::Fail;
        return false;
      }
      out.push_back(L'\0');
      return true;
    }
  }

  // Integer arithmetic and comparisons of integers need no frame either,
  // as long as their variables hold integers.
  int64_t integer = 0;
  if (form->IntegerOnly && (target || resultToken || IsConditionLine(line.CommandIndex)) &&
      TryIntegerValue(*form, integer)) {
    if (target) {
      if (target->AssignInteger(integer) != ResultCode::Ok) {
        result = ResultCode::Fail;
        return false;
      }
    } else if (IsConditionLine(line.CommandIndex)) {
      if (integer) out.push_back(L'1');
    } else {
      resultToken->SetInteger(integer);
      resultToken->Circuit = nullptr;
    }
    out.push_back(L'\0');
    return true;
  }

  // "return n" with a number in n hands the number over as it is.
  if (form->PostfixCount == 1 && resultToken && !target) {
    const ExprToken& only = form->Postfix[0];
    if (only.Symbol == ExprSymbol::RuntimeRef && !only.Parts && only.Var->ResolveAlias()->Type() == VAR_NORMAL &&
        NumberOfVariable(*only.Var, *resultToken)) {
      out.push_back(L'\0');
      return true;
    }
  }

  EvalFrame frame(line);
  Evaluation evaluation(frame, *form, target);
  const ResultCode ran = evaluation.Run();
  if (ran != ResultCode::Ok) {
    result = ran;
    return false;
  }
  ExprToken* value = evaluation.Value();
  if (target) {
    if (!evaluation.TargetAssigned()) {
      const ResultCode stored = value ? target->AssignToken(*value) : target->Assign(L"", 0);
      if (stored != ResultCode::Ok) {
        result = ResultCode::Fail;
        return false;
      }
    }
    out.push_back(L'\0');
    return true;
  }
  if (line.CommandIndex == ACT_EXPRESSION) {
    out.push_back(L'\0');
    return true;
  }
  if (IsConditionLine(line.CommandIndex)) {
    if (value && TruthOf(*value)) out.push_back(L'1');
    out.push_back(L'\0');
    return true;
  }
  if (resultToken && value) {
    if (value->Symbol == ExprSymbol::VariableRef && NumberOfVariable(*value->Var, *resultToken)) {
      out.push_back(L'\0');
      return true;
    }
    IObject* object = value->Symbol == ExprSymbol::VariableRef ? value->Var->ObjectValue() : nullptr;
    if (object) {
      object->AddRef();
      resultToken->SetObject(object);
      resultToken->Circuit = nullptr;
      out.push_back(L'\0');
      return true;
    }
    if (value->Symbol == ExprSymbol::Integer || value->Symbol == ExprSymbol::Float ||
        value->Symbol == ExprSymbol::ObjectRef) {
      *resultToken = *value;
      resultToken->Circuit = nullptr;
      if (value->Symbol == ExprSymbol::ObjectRef) evaluation.ForgetValueObject();
      out.push_back(L'\0');
      return true;
    }
  }
  if (value && !AppendValueText(frame, *value, out)) {
    result = ResultCode::Fail;
    return false;
  }
  out.push_back(L'\0');
  return true;
}

bool EvaluateCondition(ScriptLine& line, int argIndex, ResultCode& result) {
  result = ResultCode::Ok;
  CompiledExpression* form = CompiledFormOf(line, argIndex);
  if (!form) {
    result = ResultCode::Fail;
    return false;
  }
  int64_t integer = 0;
  if (form->IntegerOnly && TryIntegerValue(*form, integer)) return integer != 0;
  EvalFrame frame(line);
  Evaluation evaluation(frame, *form, nullptr);
  const ResultCode ran = evaluation.Run();
  if (ran != ResultCode::Ok) {
    result = ran;
    return false;
  }
  ExprToken* value = evaluation.Value();
  return value && TruthOf(*value);
}

ExprTestResult EvaluateExpressionText(std::wstring_view expression) {
  ExprTestResult outcome{false, {}, {}};
  std::wstring error;
  Values().CapturedError = &error;
  SetLoadErrorSink(CaptureError);
  const bool wasReady = Script().ReadyToRun;
  Script().ReadyToRun = false;  // reports go to the sink, not to a dialog

  ParsedArg parsed = LiteralArg(expression);
  auto* record = PoolNew<ArgRecord>();
  record->ExprFlag = true;
  auto* line = PoolNew<ScriptLine>();
  line->CommandIndex = ACT_INVALID;
  line->ArgTotal = 1;
  line->ArgList = record;
  bool ok = ScanExpressionArg(parsed, *record) == ResultCode::Ok;
  if (ok) {
    record->Content = PoolCopy(parsed.Text);
    record->ContentLength = static_cast<uint16_t>(parsed.Text.size());
    ok = CompileExpression(*line, *record) == ResultCode::Ok;
  }
  if (ok) {
    std::wstring out;
    ResultCode result;
    ok = EvaluateExpression(*line, 0, result, nullptr, out);
    if (ok) outcome.Text.assign(out.c_str());
  }
  Script().ReadyToRun = wasReady;
  SetLoadErrorSink(nullptr);
  Values().CapturedError = nullptr;
  outcome.Ok = ok;
  if (!ok) outcome.Error = error;
  return outcome;
}
