// Loop runners.
#include "exec/loops.h"

#include <windows.h>

#include <cmath>
#include <string_view>

#include "base/script_context.h"
#include "base/script_line.h"
#include "exec/errors.h"
#include "exec/file_loops.h"
#include "exec/list_lines.h"
#include "exec/loop_iteration.h"
#include "exec/read_loop.h"
#include "exec/reg_loop.h"
#include "exec/run_lines.h"
#include "values/expr_eval.h"
#include "values/expr_operators.h"
#include "values/numeric_text.h"
#include "values/object.h"
#include "values/thread_settings.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

inline constexpr wchar_t kLoopKindNotSupported[] = L"This kind of loop is not supported by this version yet.";
// Longest delimiter and omit-character lists of a parse loop.
constexpr size_t kMaxParseChars = 511;

// Saves the thread's loop counter and field, and restores them when the
// loop ends, so nested loops leave the outer loop's values intact.
class LoopStateGuard {
 public:
  LoopStateGuard() : index_(Values().CurrentThread->LoopIndex), field_(Values().CurrentThread->LoopField) {
    Values().CurrentThread->LoopIndex = 1;
  }
  ~LoopStateGuard() {
    Values().CurrentThread->LoopIndex = index_;
    Values().CurrentThread->LoopField = field_;
  }

 private:
  int64_t index_;
  const wchar_t* field_;
};

// Evaluates a line's single expression argument for its truth.
bool EvaluateTruth(ScriptLine& line, ResultCode& result) {
  result = ResultCode::Ok;
  if (line.ArgTotal == 0) return false;
  return EvaluateCondition(line, 0, result);
}

}  // namespace

// The common step: runs the body once, interprets its result and jumps,
// tests the Until line and advances the counter.
Iteration RunIteration(ScriptLine& loopLine, ScriptLine* untilLine, ResultCode& result, ScriptLine*& jumpToLine) {
  ScriptLine* jump = nullptr;
  result = RunLines(loopLine.FollowingLine, RunMode::OneLine, jump);
  if (jump) {
    if (jump == &loopLine) {
      bool next = result == ResultCode::NextPass;
      result = ResultCode::Ok;
      if (!next) return Iteration::Stop;  // a labelled Break of this loop
    } else {
      jumpToLine = jump;
      return Iteration::Stop;
    }
  } else if (result == ResultCode::BreakOut) {
    result = ResultCode::Ok;
    return Iteration::Stop;
  } else if (result != ResultCode::Ok && result != ResultCode::NextPass) {
    return Iteration::Stop;
  }
  result = ResultCode::Ok;
  if (untilLine) {
    Script().CurrentLine = untilLine;
    if (Values().CurrentThread->LogLines) LogLine(untilLine, GetTickCount());
    bool done = EvaluateTruth(*untilLine, result);
    if (result != ResultCode::Ok || done) return Iteration::Stop;
  }
  ++Values().CurrentThread->LoopIndex;
  return Iteration::Continue;
}

namespace {

// Count loops: infinite without a count, else while the counter is at most
// the count (a float count is truncated).
ResultCode RunCountLoop(ScriptLine& loopLine, ScriptLine* untilLine, const wchar_t* countText, bool infinite,
                        ScriptLine*& jumpToLine) {
  int64_t count = 0;
  if (!infinite) {
    count = IsNumeric(countText) == PURE_FLOAT ? DoubleToInteger(std::trunc(TextToDouble(countText)))
                                               : TextToInteger(countText);
  }
  ResultCode result = ResultCode::Ok;
  while (infinite || Values().CurrentThread->LoopIndex <= count) {
    if (RunIteration(loopLine, untilLine, result, jumpToLine) == Iteration::Stop) break;
  }
  return result;
}

// While: the condition is tested before every iteration.
ResultCode RunWhileLoop(ScriptLine& loopLine, ScriptLine* untilLine, ScriptLine*& jumpToLine) {
  ResultCode result = ResultCode::Ok;
  for (bool first = true;; first = false) {
    if (!first) {
      Script().CurrentLine = &loopLine;
      if (Values().CurrentThread->LogLines) LogLine(&loopLine, GetTickCount());
    }
    bool holds = EvaluateTruth(loopLine, result);
    if (result != ResultCode::Ok || !holds) return result;
    if (RunIteration(loopLine, untilLine, result, jumpToLine) == Iteration::Stop) return result;
  }
}

// Splits the next CSV field from `text` at `pos`: quoted fields may hold
// commas and doubled quotes; text after a closing quote up to the comma is
// ignored.
std::wstring NextCsvField(const std::wstring& text, size_t& pos) {
  std::wstring field;
  if (pos < text.size() && text[pos] == L'"') {
    ++pos;
    while (pos < text.size()) {
      if (text[pos] == L'"') {
        if (pos + 1 < text.size() && text[pos + 1] == L'"') {
          field += L'"';
          pos += 2;
          continue;
        }
        ++pos;
        break;
      }
      field += text[pos++];
    }
    while (pos < text.size() && text[pos] != L',') ++pos;
  } else {
    while (pos < text.size() && text[pos] != L',') field += text[pos++];
  }
  return field;
}

// Removes omit characters from both ends of a field.
void TrimOmitChars(std::wstring& field, const std::wstring& omit) {
  if (omit.empty()) return;
  size_t start = field.find_first_not_of(omit);
  if (start == std::wstring::npos) {
    field.clear();
    return;
  }
  size_t end = field.find_last_not_of(omit);
  field = field.substr(start, end - start + 1);
}

// Loop, Parse: fields split at delimiter characters, each character alone
// without delimiters, or CSV fields.
ResultCode RunParseLoop(ScriptLine& loopLine, ScriptLine* untilLine, CommandArgs& args, ScriptLine*& jumpToLine) {
  // A copy, so that changing the variable inside the loop changes nothing.
  const std::wstring input(args[1], args.Length[1]);
  std::wstring delimiters(args[2]);
  std::wstring omit(args[3]);
  if (delimiters.size() > kMaxParseChars) delimiters.resize(kMaxParseChars);
  if (omit.size() > kMaxParseChars) omit.resize(kMaxParseChars);
  if (input.empty()) return ResultCode::Ok;
  const bool csv = CompareStringOrdinal(delimiters.c_str(), -1, L"CSV", -1, TRUE) == CSTR_EQUAL;
  std::wstring field;
  ResultCode result = ResultCode::Ok;
  size_t pos = 0;
  for (;;) {
    if (csv) {
      field = NextCsvField(input, pos);
      TrimOmitChars(field, omit);
    } else if (delimiters.empty()) {
      while (pos < input.size() && omit.find(input[pos]) != std::wstring::npos) ++pos;
      if (pos >= input.size()) break;
      field.assign(1, input[pos++]);
    } else {
      size_t end = input.find_first_of(delimiters, pos);
      if (end == std::wstring::npos) end = input.size();
      field = input.substr(pos, end - pos);
      TrimOmitChars(field, omit);
      pos = end;
    }
    Values().CurrentThread->LoopField = field.c_str();
    if (RunIteration(loopLine, untilLine, result, jumpToLine) == Iteration::Stop) break;
    if (delimiters.empty() && !csv) continue;
    if (pos >= input.size()) break;
    ++pos;  // past the delimiter: a trailing one leaves a final empty field
    if (pos == input.size()) {
      field.clear();
      Values().CurrentThread->LoopField = field.c_str();
      RunIteration(loopLine, untilLine, result, jumpToLine);
      break;
    }
  }
  return result;
}

// The variable of a For loop's key or value argument, or null when the
// argument is absent.
Variable* ForVariable(ScriptLine& loopLine, int index) {
  if (loopLine.ArgTotal <= index) return nullptr;
  return loopLine.ArgList[index].ResolvedVar;
}

// Asks an object for its enumerator: the _NewEnum method, as For calls it.
IObject* EnumeratorOf(IObject& object, ResultCode& result) {
  ExprToken answer, self, name;
  answer.SetText(L"");
  answer.HeapText = nullptr;
  self.SetObject(&object);
  name.SetText(L"_NewEnum");
  ExprToken* params[] = {&name};
  result = object.Invoke(answer, self, IT_CALL | IF_METAFUNC | IF_NEWENUM, params, 1);
  if (result == ResultCode::NotHandled || result == ResultCode::Returned) result = ResultCode::Ok;
  if (answer.Symbol == ExprSymbol::ObjectRef) return answer.Object;
  if ((answer.Symbol == ExprSymbol::String || answer.Symbol == ExprSymbol::RawWord) && answer.HeapText)
    FreeVarHeap(answer.HeapText);
  return nullptr;
}

// Calls the enumerator's Next with the loop's variables (a built-in
// enumerator directly); `more` tells whether it gave an item.
ResultCode NextOfEnumerator(IObject& enumerator, EnumBase* builtIn, Variable* key, Variable* value, bool& more) {
  if (builtIn) return builtIn->Next(key, value, more);
  ExprToken answer, self, name, keyToken, valueToken;
  answer.SetText(L"");
  answer.HeapText = nullptr;
  self.SetObject(&enumerator);
  name.SetText(L"Next");
  ExprToken* params[3] = {&name, &keyToken, &valueToken};
  int count = 1;
  if (key) {
    keyToken.SetVariable(key);
    keyToken.IsTarget = 1;
    ++count;
  }
  if (value) {
    if (!key) {
      keyToken.SetText(L"", ExprSymbol::Omitted);
      ++count;
    }
    valueToken.SetVariable(value);
    valueToken.IsTarget = 1;
    ++count;
  }
  ResultCode result = enumerator.Invoke(answer, self, IT_CALL | IF_METAFUNC, params, count);
  if (result == ResultCode::NotHandled || result == ResultCode::Returned) result = ResultCode::Ok;
  more = result == ResultCode::Ok && TruthOf(answer);
  if (answer.Symbol == ExprSymbol::ObjectRef) answer.Object->Release();
  if ((answer.Symbol == ExprSymbol::String || answer.Symbol == ExprSymbol::RawWord) && answer.HeapText)
    FreeVarHeap(answer.HeapText);
  return result;
}

// For key, value in expression: the object's enumerator gives the items.
ResultCode RunForLoop(ScriptLine& loopLine, ScriptLine* untilLine, ScriptLine*& jumpToLine) {
  const int objectArg = loopLine.ArgTotal - 1;
  ExprToken value;
  value.SetText(L"");
  value.HeapText = nullptr;
  std::wstring text;
  ResultCode result = ResultCode::Ok;
  if (objectArg < 0 || !EvaluateExpression(loopLine, objectArg, result, &value, text))
    return result == ResultCode::Ok ? ResultCode::Fail : result;
  IObject* object = value.Symbol == ExprSymbol::ObjectRef ? value.Object : nullptr;
  if (!object) {
    if ((value.Symbol == ExprSymbol::String || value.Symbol == ExprSymbol::RawWord) && value.HeapText)
      FreeVarHeap(value.HeapText);
    return ResultCode::Ok;  // anything but an object runs no iteration
  }
  IObject* enumerator = EnumeratorOf(*object, result);
  object->Release();
  if (!enumerator) return result;
  Variable* key = objectArg >= 1 ? ForVariable(loopLine, 0) : nullptr;
  Variable* item = objectArg >= 2 ? ForVariable(loopLine, 1) : nullptr;
  auto* builtIn = dynamic_cast<EnumBase*>(enumerator);
  for (;;) {
    bool more = false;
    result = NextOfEnumerator(*enumerator, builtIn, key, item, more);
    if (result != ResultCode::Ok || !more) break;
    if (RunIteration(loopLine, untilLine, result, jumpToLine) == Iteration::Stop) break;
  }
  enumerator->Release();
  return result;
}

// Whether the text names a registry root key ("HKCU", "HKEY_CURRENT_USER\\Software", ...).
bool NamesRootKey(const wchar_t* text) {
  static const wchar_t* const kRootKeys[] = {L"HKEY_LOCAL_MACHINE",  L"HKLM", L"HKEY_CLASSES_ROOT", L"HKCR",
                                             L"HKEY_CURRENT_USER",   L"HKCU", L"HKEY_USERS",        L"HKU",
                                             L"HKEY_CURRENT_CONFIG", L"HKCC"};
  const std::wstring_view word(text);
  const std::wstring_view root = word.substr(0, word.find(L'\\'));
  for (const wchar_t* key : kRootKeys)
    if (CompareStringOrdinal(root.data(), static_cast<int>(root.size()), key, -1, TRUE) == CSTR_EQUAL) return true;
  return false;
}

// The kind of a loop whose first argument was only known at run time.
intptr_t LoopKindAtRunTime(ScriptLine& loopLine, CommandArgs& args) {
  if (loopLine.ArgTotal == 0) return LOOP_COUNT;
  if (loopLine.ArgTotal == 1 && IsNumeric(args[0]) != PURE_NOT_NUMERIC) return LOOP_COUNT;
  static const struct {
    const wchar_t* Word;
    intptr_t Kind;
  } kKindWords[] = {{L"Read", LOOP_READ}, {L"Files", LOOP_FILES}, {L"Reg", LOOP_REG}, {L"Parse", LOOP_PARSE}};
  if (loopLine.ArgTotal > 1)
    for (const auto& row : kKindWords)
      if (CompareStringOrdinal(args[0], -1, row.Word, -1, TRUE) == CSTR_EQUAL) return row.Kind;
  return NamesRootKey(args[0]) ? LOOP_REG_LEGACY : LOOP_FILES_LEGACY;
}

}  // namespace

ResultCode RunLoop(ScriptLine& loopLine, ScriptLine*& next, ScriptLine*& jumpToLine, std::wstring& buffer) {
  ScriptLine* untilLine =
      loopLine.TargetLine && loopLine.TargetLine->CommandIndex == ACT_UNTIL ? loopLine.TargetLine : nullptr;
  next = untilLine ? untilLine->FollowingLine : loopLine.TargetLine;
  LoopStateGuard guard;
  intptr_t kind = loopLine.Extra;
  if (kind == LOOP_WHILE) return RunWhileLoop(loopLine, untilLine, jumpToLine);
  if (kind == LOOP_FOR) return RunForLoop(loopLine, untilLine, jumpToLine);

  CommandArgs args;
  if (loopLine.ArgTotal > 0) {
    ResultCode prepared = PrepareArgs(loopLine, args, buffer);
    if (prepared != ResultCode::Ok) return prepared;
  }
  if (kind == LOOP_UNDECIDED) kind = LoopKindAtRunTime(loopLine, args);
  switch (kind) {
    case LOOP_COUNT: return RunCountLoop(loopLine, untilLine, args[0], loopLine.ArgTotal == 0, jumpToLine);
    case LOOP_PARSE: return RunParseLoop(loopLine, untilLine, args, jumpToLine);
    case LOOP_FILES_LEGACY: return RunFileLoop(loopLine, untilLine, args, true, jumpToLine);
    case LOOP_FILES: return RunFileLoop(loopLine, untilLine, args, false, jumpToLine);
    case LOOP_READ: return RunReadLoop(loopLine, untilLine, args, jumpToLine);
    case LOOP_REG_LEGACY: return RunRegLoop(loopLine, untilLine, args, true, jumpToLine);
    case LOOP_REG: return RunRegLoop(loopLine, untilLine, args, false, jumpToLine);
    default: return ReportLineError(&loopLine, kLoopKindNotSupported);
  }
}
