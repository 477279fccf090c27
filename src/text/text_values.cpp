// Reading arguments and writing results for the text subsystem (see
// text_values.h).
#include "text/text_values.h"

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "base/error_sink.h"
#include "base/script_context.h"
#include "objects/builtin_functions.h"
#include "text/messages.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

// The variable whose own text a reader may use directly: a normal variable
// that holds text (built-in variables and the clipboard are read through
// their expanded text).
Variable* TextHolder(Variable* var) {
  if (!var) return nullptr;
  Variable* target = var->ResolveAlias();
  if (target->Type() != VAR_NORMAL || target->HasObject()) return nullptr;
  return target;
}

// Whether a view lies inside the variable's current buffer.
bool LiesIn(std::wstring_view text, Variable& var) {
  const wchar_t* start = var.TextOf(false, true);
  const size_t capacity = var.ByteCapacity() / sizeof(wchar_t);
  return text.data() >= start && text.data() < start + (capacity ? capacity : 1);
}

}  // namespace

std::wstring_view ParamView(ExprToken& param, wchar_t* numberBuffer) {
  if (param.Symbol == ExprSymbol::VariableRef) {
    Variable* holder = TextHolder(param.Var);
    if (holder) {
      const wchar_t* text = holder->TextOf();
      return std::wstring_view(text, holder->Length());
    }
  }
  size_t length = 0;
  const wchar_t* text = ParamText(param, numberBuffer, &length);
  return std::wstring_view(text, length);
}

std::wstring_view ArgText(const CommandArgs& args, int index) {
  if (index >= args.Count) return {};
  if (Variable* holder = TextHolder(args.Var[index])) {
    const wchar_t* text = holder->TextOf();
    return std::wstring_view(text, holder->Length());
  }
  return args.Text[index] ? std::wstring_view(args.Text[index], args.Length[index]) : std::wstring_view();
}

ResultCode StoreText(Variable* output, std::wstring_view text) {
  if (!output) return ResultCode::Ok;
  Variable& target = *output->ResolveAlias();
  if (!text.empty() && LiesIn(text, target)) {
    const std::wstring copy(text);
    return target.Assign(copy.data(), static_cast<ptrdiff_t>(copy.size()));
  }
  if (text.empty()) return target.Assign();
  return target.Assign(text.data(), static_cast<ptrdiff_t>(text.size()));
}

ResultCode SetResultTextChecked(ExprToken& result, std::wstring_view text) {
  if ((text.size() + 1) * sizeof(wchar_t) > Values().MaxVarCapacity)
    return ReportLineError(Script().CurrentLine, text_msg::MemoryLimitReached);
  if (!SetResultText(result, text)) return ReportLineError(Script().CurrentLine, text_msg::OutOfMemory);
  return ResultCode::Ok;
}

ResultCode SetResultTextChecked(ExprToken& result, std::wstring_view text, ShortResultSlot slot) {
  if (text.size() > kShortResultChars) return SetResultTextChecked(result, text);
  wchar_t* buffer = Text().ShortResults[static_cast<size_t>(slot)];
  // The text may already lie in the buffer (a result built there).
  std::char_traits<wchar_t>::move(buffer, text.data(), text.size());
  buffer[text.size()] = L'\0';
  result.SetText(buffer);
  return ResultCode::Ok;
}

wchar_t* AllocTextBlock(size_t chars) {
  if (chars >= SIZE_MAX / sizeof(wchar_t) || (chars + 1) * sizeof(wchar_t) > Values().MaxVarCapacity) {
    static_cast<void>(ReportLineError(Script().CurrentLine, text_msg::MemoryLimitReached));
    return nullptr;
  }
  auto* block = static_cast<wchar_t*>(AllocVarHeap((chars + 1) * sizeof(wchar_t)));
  if (!block) static_cast<void>(ReportLineError(Script().CurrentLine, text_msg::OutOfMemory));
  return block;
}

void SetResultBlock(ExprToken& result, wchar_t* block) {
  result.SetText(block);
  result.HeapText = block;
}

ResultCode StoreBlock(Variable* output, wchar_t* block, size_t chars) {
  Variable* target = output ? output->ResolveAlias() : nullptr;
  if (target && target->Type() == VAR_NORMAL) return target->AcceptMemory(block, chars);
  const ResultCode stored = StoreText(target, std::wstring_view(block, chars));
  FreeVarHeap(block);
  return stored;
}

wchar_t* ReplaceIntoBlock(std::wstring_view haystack, std::wstring_view search, std::wstring_view replacement,
                          CaseMode mode, int64_t limit, size_t& replaced, size_t& length, bool& failed) {
  std::vector<size_t>& matches = Text().Matches;
  FindMatches(haystack, search, mode, limit, matches);
  replaced = matches.size();
  failed = false;
  length = haystack.size();
  wchar_t* block = nullptr;
  if (replaced) {
    length = ReplacedLength(haystack.size(), replaced, search.size(), replacement.size());
    block = AllocTextBlock(length);
    if (block)
      WriteReplaced(haystack, matches, search.size(), replacement, block);
    else
      failed = true;
  }
  TrimKeptList(matches);
  return block;
}

int32_t ArgInt32(const CommandArgs& args, int index) {
  const int64_t value = TextToInteger(args[index]);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

namespace {

// The ErrorLevel variable (created when first needed).
Variable* ErrorLevelVariable() { return Values().Globals.FindOrAdd(L"ErrorLevel", VAR_GLOBAL); }

}  // namespace

ResultCode SetErrorLevel(std::wstring_view text) {
  Variable* errorLevel = ErrorLevelVariable();
  return errorLevel ? errorLevel->Assign(text) : ResultCode::Fail;
}

ResultCode SetErrorLevel(int64_t value) {
  Variable* errorLevel = ErrorLevelVariable();
  return errorLevel ? errorLevel->AssignInteger(value) : ResultCode::Fail;
}
