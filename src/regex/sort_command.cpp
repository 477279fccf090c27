// Sort: splits a variable's text at a delimiter, orders the items by the
// options (case rules, numbers, column, file name, reverse, random, a
// script function) and joins them again.
//
// Invariants: the variable changes only when sorting finished (a failed
// comparison function leaves it untouched); a text that ends with its
// delimiter keeps one after its last item unless "Z" makes that delimiter
// start an empty item; CR LF texts split at LF keep their CRs with items.
#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <string>
#include <string_view>
#include <vector>

#include "base/script_line.h"
#include "exec/errors.h"
#include "objects/func.h"
#include "objects/func_call.h"
#include "objects/object_invoke.h"
#include "regex/regex_commands.h"
#include "regex/regex_state.h"
#include "values/numeric_text.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

enum class CaseMode : uint8_t { Insensitive, Ordinal, Locale };

struct SortOptions {
  CaseMode Case = CaseMode::Insensitive;
  wchar_t Delimiter = L'\n';
  std::wstring FunctionName;
  bool HasFunction = false;
  bool Numeric = false;
  size_t Column = 0;  // 0-based
  bool HasColumn = false;
  bool Reverse = false;
  bool Random = false;
  bool Unique = false;
  bool FinalEmptyItem = false;  // "Z"
  bool FileName = false;        // "\"
};

// Reads the options one character at a time; others are ignored.
SortOptions ParseSortOptions(std::wstring_view text) {
  SortOptions o;
  for (size_t i = 0; i < text.size(); ++i) {
    switch (std::towupper(text[i])) {
      case L'C':
        if (i + 1 < text.size() && std::towupper(text[i + 1]) == L'L') {
          o.Case = CaseMode::Locale;
          ++i;
        } else {
          o.Case = CaseMode::Ordinal;
        }
        break;
      case L'D':
        if (i + 1 < text.size()) o.Delimiter = text[++i];
        break;
      case L'F': {
        size_t j = i + 1;
        while (j < text.size() && (text[j] == L' ' || text[j] == L'\t')) ++j;
        size_t end = j;
        while (end < text.size() && text[end] != L' ' && text[end] != L'\t') ++end;
        o.FunctionName.assign(text.substr(j, end - j));
        o.HasFunction = true;
        i = end;
        break;
      }
      case L'N': o.Numeric = true; break;
      case L'P': {
        size_t j = i + 1;
        while (j < text.size() && iswdigit(text[j])) ++j;
        long n = j > i + 1 ? std::wcstol(std::wstring(text.substr(i + 1, j - i - 1)).c_str(), nullptr, 10) : 0;
        o.Column = n > 1 ? static_cast<size_t>(n - 1) : 0;
        o.HasColumn = true;
        i = j - 1;
        break;
      }
      case L'R':
        if (text.size() - i >= 6 && CompareStringOrdinal(text.data() + i, 6, L"Random", 6, TRUE) == CSTR_EQUAL) {
          o.Random = true;
          i += 5;
        } else {
          o.Reverse = true;
        }
        break;
      case L'U': o.Unique = true; break;
      case L'Z': o.FinalEmptyItem = true; break;
      case L'\\': o.FileName = true; break;
      default: break;
    }
  }
  return o;
}

// Only A-Z fold to a-z; everything else compares by code unit.
int CompareFolded(std::wstring_view a, std::wstring_view b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    wchar_t x = a[i], y = b[i];
    if (x >= L'A' && x <= L'Z') x = static_cast<wchar_t>(x + 32);
    if (y >= L'A' && y <= L'Z') y = static_cast<wchar_t>(y + 32);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// Compares two texts in a case mode.
int CompareText(std::wstring_view a, std::wstring_view b, CaseMode mode) {
  switch (mode) {
    case CaseMode::Ordinal: return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
    case CaseMode::Locale: return lstrcmpiW(std::wstring(a).c_str(), std::wstring(b).c_str());
    case CaseMode::Insensitive: break;
  }
  return CompareFolded(a, b);
}

// Most decimal digits a double holds exactly (10^15 < 2^53).
constexpr int kExactDigits = 15;

// A plain decimal integer (digits only, no point or exponent following,
// within kExactDigits) at `digits`, read without the C library, whose
// parser takes a process-wide lock for every number; false when the text
// needs the full parser.
bool PlainDecimal(const wchar_t* digits, double& value) {
  int64_t magnitude = 0;
  int count = 0;
  for (; *digits >= L'0' && *digits <= L'9'; ++digits, ++count) {
    if (count == kExactDigits) return false;
    magnitude = magnitude * 10 + (*digits - L'0');
  }
  const wchar_t next = *digits;
  if (!count || next == L'.' || next == L'e' || next == L'E' || next == L'x' || next == L'X') return false;
  value = static_cast<double>(magnitude);
  return true;
}

// An item read as a number: hexadecimal as an integer, else the longest
// numeric prefix (0 when there is none). The text ends at a zero.
double ItemNumber(const wchar_t* item) {
  const wchar_t* p = item;
  while (*p == L' ' || *p == L'\t') ++p;
  const wchar_t* q = p;
  if (*q == L'+' || *q == L'-') ++q;
  if (q[0] == L'0' && (q[1] == L'x' || q[1] == L'X') && iswxdigit(q[2])) {
    double value = static_cast<double>(std::wcstoull(q + 2, nullptr, 16));
    return *p == L'-' ? -value : value;
  }
  double plain = 0;
  if (PlainDecimal(q, plain)) return *p == L'-' ? -plain : plain;
  return std::wcstod(p, nullptr);
}

// One item: its text (zero-terminated inside the work copy of the sorted
// text) and where it started there.
struct SortItem {
  std::wstring_view Text;
  size_t Offset;
  uint32_t Key;  // Random
  double Number;
};

// The part of an item the comparison looks at.
std::wstring_view ComparedPart(const SortItem& item, const SortOptions& o) {
  std::wstring_view text = item.Text;
  if (o.FileName) {
    size_t slash = text.rfind(L'\\');
    return slash == std::wstring_view::npos ? text : text.substr(slash + 1);
  }
  if (o.HasColumn) return o.Column < text.size() ? text.substr(o.Column) : std::wstring_view();
  return text;
}

// The number a numeric sort compares: the column's when "P" gives one.
// Every compared part ends where its item does, at a zero.
double ComparedNumber(const SortItem& item, const SortOptions& o) {
  const std::wstring_view part = ComparedPart(item, o);
  return ItemNumber(part.empty() ? L"" : part.data());
}

// Orders items with a script function; a failure stops every later call.
struct FunctionComparer {
  Func* Function;
  bool Failed = false;

  // The function's verdict on a against b: <0, 0 or >0.
  int Compare(const SortItem& a, const SortItem& b) {
    if (Failed) return 0;
    ExprToken first{}, second{}, distance{}, result{};
    first.SetText(a.Text.data());
    second.SetText(b.Text.data());
    distance.SetInteger(static_cast<int64_t>(b.Offset) - static_cast<int64_t>(a.Offset));
    ExprToken* params[] = {&first, &second, &distance};
    result.SetText(L"");
    result.HeapText = nullptr;
    int count = Function->Params.size() >= 3 ? 3 : 2;
    if (CallFunctionChecked(*Function, result, params, count, false) != ResultCode::Ok) {
      Failed = true;
      ReleaseResult(result);
      return 0;
    }
    double value = 0;
    if (result.Symbol == ExprSymbol::Integer)
      value = static_cast<double>(result.ValueInt64);
    else if (result.Symbol == ExprSymbol::Float)
      value = result.ValueDouble;
    else if (result.Symbol == ExprSymbol::String || result.Symbol == ExprSymbol::RawWord)
      value = ItemNumber(result.Text);
    ReleaseResult(result);
    return value > 0 ? 1 : (value < 0 ? -1 : 0);
  }
};

// The built-in orderings (everything but a script function).
int CompareItems(const SortItem& a, const SortItem& b, const SortOptions& o) {
  if (o.Random) return a.Key < b.Key ? -1 : (a.Key > b.Key ? 1 : 0);
  int c;
  if (o.Numeric && !o.FileName) {
    c = a.Number < b.Number ? -1 : (a.Number > b.Number ? 1 : 0);
  } else {
    c = CompareText(ComparedPart(a, o), ComparedPart(b, o), o.Case);
  }
  return o.Reverse ? -c : c;
}

// The function an "F" option names, if it is fit to compare.
Func* SortFunction(const SortOptions& o) {
  Func* func = LookupFunction(o.FunctionName);
  if (!func || func->IsBuiltIn) return nullptr;
  if (func->Params.size() < 2 || func->Params.size() > 3) return nullptr;
  if (func->Params[0].IsByRef || func->Params[1].IsByRef) return nullptr;
  return func;
}

// Whether an item repeats the one written before it ("U").
bool SameItem(const SortItem& a, const SortItem& b, const SortOptions& o) {
  if (o.Numeric && !o.HasColumn) return a.Number == b.Number;
  return CompareText(a.Text, b.Text, o.Case) == 0;
}

// Sets ErrorLevel to a count (a count is not a failure, so never thrown).
ResultCode SetErrorLevelCount(size_t removed) {
  Variable* errorLevel = Values().Globals.FindOrAdd(L"ErrorLevel", VAR_GLOBAL);
  return errorLevel ? errorLevel->AssignInteger(static_cast<int64_t>(removed)) : ResultCode::Fail;
}

}  // namespace

// Sort, Var [, Options]
ResultCode CmdSort(ScriptLine&, CommandArgs& args) {
  SortOptions o = ParseSortOptions(args[1]);
  Func* function = nullptr;
  if (o.HasFunction && !(function = SortFunction(o))) return ResultCode::Ok;
  Variable* var = args.Var[0] ? args.Var[0]->ResolveAlias() : nullptr;
  if (!var || (var->Type() != VAR_NORMAL && var->Type() != VAR_CLIPBOARD)) return ResultCode::Ok;
  std::wstring work(var->TextOf(), var->Length());
  if (work.empty()) return ResultCode::Ok;
  bool endsWithDelimiter = work.back() == o.Delimiter;
  bool crlf = false;
  if (o.Delimiter == L'\n' && (!endsWithDelimiter || o.FinalEmptyItem)) {
    size_t firstLf = work.find(L'\n');
    if (firstLf != std::wstring::npos && firstLf > 0 && work[firstLf - 1] == L'\r') {
      work += L"\r\n";
      crlf = true;
    }
  }
  bool keepFinalDelimiter = crlf || (endsWithDelimiter && !o.FinalEmptyItem);
  if (keepFinalDelimiter) work.pop_back();
  // Items are views into the work copy, each ended by a zero written over
  // its delimiter, so that none is copied.
  std::vector<SortItem> items;
  items.reserve(static_cast<size_t>(std::count(work.begin(), work.end(), o.Delimiter)) + 1);
  for (size_t start = 0;;) {
    size_t end = work.find(o.Delimiter, start);
    size_t stop = end == std::wstring::npos ? work.size() : end;
    items.push_back({std::wstring_view(work).substr(start, stop - start), start, 0, 0});
    if (end == std::wstring::npos) break;
    work[end] = L'\0';
    start = end + 1;
  }
  if (items.size() < 2) return o.Unique ? SetErrorLevelCount(0) : ResultCode::Ok;
  for (SortItem& item : items) {
    if (o.Random) item.Key = static_cast<uint32_t>(Regex().SortRandom());
    if (o.Numeric) item.Number = ComparedNumber(item, o);
  }
  // A merge sort: stable, and it stays within bounds even when a script
  // function answers inconsistently.
  if (function) {
    FunctionComparer comparer{function};
    std::stable_sort(items.begin(), items.end(),
                     [&](const SortItem& a, const SortItem& b) { return comparer.Compare(a, b) < 0; });
    if (comparer.Failed) return ResultCode::Fail;
  } else if (o.Numeric && !o.FileName && !o.Random) {
    // Numbers parsed once above: the comparison is a plain one.
    if (o.Reverse)
      std::stable_sort(items.begin(), items.end(),
                       [](const SortItem& a, const SortItem& b) { return b.Number < a.Number; });
    else
      std::stable_sort(items.begin(), items.end(),
                       [](const SortItem& a, const SortItem& b) { return a.Number < b.Number; });
  } else {
    std::stable_sort(items.begin(), items.end(),
                     [&](const SortItem& a, const SortItem& b) { return CompareItems(a, b, o) < 0; });
  }
  std::wstring out;
  out.reserve(work.size() + 1);
  size_t removed = 0;
  const SortItem* previous = nullptr;
  for (const SortItem& item : items) {
    if (o.Unique && previous && SameItem(*previous, item, o)) {
      ++removed;
      continue;
    }
    if (previous) out += o.Delimiter;
    out += item.Text;
    previous = &item;
  }
  if (keepFinalDelimiter) out += o.Delimiter;
  if (crlf) out.resize(out.size() - 2);
  if (var->Assign(out) != ResultCode::Ok) return ResultCode::Fail;
  return o.Unique ? SetErrorLevelCount(removed) : ResultCode::Ok;
}
