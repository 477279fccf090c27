// Legacy if-forms.
#include "exec/conditions.h"

#include <windows.h>

#include <string>

#include "base/script_line.h"
#include "exec/errors.h"
#include "exec/exec_state.h"
#include "values/numeric_text.h"
#include "values/thread_settings.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

// Longest item of an in/contains list.
constexpr size_t kMaxListItem = 16384;

wchar_t FoldAscii(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 32) : c; }

// Numeric kind of the compared variable: its cached type when it has one.
NumericKind KindOfVar(Variable* var, const wchar_t* text) { return var ? var->NumericType() : IsNumeric(text); }

// Compares two numbers of the given kinds: <0, 0 or >0.
int CompareNumbers(const wchar_t* a, NumericKind ka, const wchar_t* b, NumericKind kb) {
  if (ka == PURE_FLOAT || kb == PURE_FLOAT) {
    double x = TextToDouble(a), y = TextToDouble(b);
    return x < y ? -1 : x > y ? 1 : 0;
  }
  int64_t x = TextToInteger(a), y = TextToInteger(b);
  return x < y ? -1 : x > y ? 1 : 0;
}

// Compares the variable's text with a value, numerically when both are numbers.
int CompareValues(Variable* var, const wchar_t* text, const wchar_t* value) {
  NumericKind ka = KindOfVar(var, text);
  NumericKind kb = IsNumeric(value);
  if (ka != PURE_NOT_NUMERIC && kb != PURE_NOT_NUMERIC) return CompareNumbers(text, ka, value, kb);
  return CompareByCaseSense(text, value);
}

// Splits an in/contains list at commas; ",," stands for a literal comma.
template <typename Visit>
bool ForEachListItem(std::wstring_view list, Visit visit) {
  std::wstring item;
  for (size_t i = 0; i <= list.size(); ++i) {
    if (i < list.size() && list[i] == L',' && i + 1 < list.size() && list[i + 1] == L',') {
      item += L',';
      ++i;
      continue;
    }
    if (i == list.size() || list[i] == L',') {
      if (item.size() > kMaxListItem) item.resize(kMaxListItem);
      if (visit(item)) return true;
      item.clear();
      continue;
    }
    item += list[i];
  }
  return false;
}

// True when the text is a valid YYYYMMDDHH24MISS prefix of digits.
bool IsTimeStamp(std::wstring_view text) {
  if (text.empty() || text.size() > 14 || text.size() % 2) return false;
  for (wchar_t c : text)
    if (c < L'0' || c > L'9') return false;
  auto field = [&](size_t at) { return (text[at] - L'0') * 10 + (text[at + 1] - L'0'); };
  if (text.size() < 4) return false;
  int year = field(0) * 100 + field(2);
  if (year < 1601) return false;
  if (text.size() >= 6 && (field(4) < 1 || field(4) > 12)) return false;
  if (text.size() >= 8) {
    static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int month = field(4), day = field(6);
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    int limit = month == 2 ? (leap ? 29 : 28) : kDays[month - 1];
    if (day < 1 || day > limit) return false;
  }
  if (text.size() >= 10 && field(8) > 23) return false;
  if (text.size() >= 12 && field(10) > 59) return false;
  if (text.size() >= 14 && field(12) > 59) return false;
  return true;
}

// Applies a character class test to every character (empty text passes).
template <typename Test>
bool AllChars(std::wstring_view text, Test test) {
  for (wchar_t c : text)
    if (!test(c)) return false;
  return true;
}

// Character type bits of one character by the system's classification.
WORD CharType(wchar_t c) {
  WORD type = 0;
  GetStringTypeW(CT_CTYPE1, &c, 1, &type);
  return type;
}

}  // namespace

int CompareByCaseSense(std::wstring_view a, std::wstring_view b) {
  switch (Values().CurrentThread->CaseSensitivity) {
    case 1: return a.compare(b);
    case 2:
      return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                            static_cast<int>(b.size())) -
             CSTR_EQUAL;
    default: break;
  }
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    wchar_t x = FoldAscii(a[i]), y = FoldAscii(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

bool ContainsByCaseSense(std::wstring_view text, std::wstring_view part) {
  if (part.empty()) return true;
  if (part.size() > text.size()) return false;
  for (size_t i = 0; i + part.size() <= text.size(); ++i)
    if (CompareByCaseSense(text.substr(i, part.size()), part) == 0) return true;
  return false;
}

bool TextIsOfType(std::wstring_view text, std::wstring_view type, bool& knownType) {
  knownType = true;
  std::wstring owned(text);
  if (EqualsNoCase(type, L"Number")) return IsNumeric(owned.c_str()) != PURE_NOT_NUMERIC;
  if (EqualsNoCase(type, L"Integer")) return IsNumeric(owned.c_str()) == PURE_INTEGER;
  if (EqualsNoCase(type, L"Float")) return IsNumeric(owned.c_str()) == PURE_FLOAT;
  if (EqualsNoCase(type, L"Time") || EqualsNoCase(type, L"Date")) return IsTimeStamp(text);
  if (EqualsNoCase(type, L"Digit")) return AllChars(text, [](wchar_t c) { return c >= L'0' && c <= L'9'; });
  if (EqualsNoCase(type, L"Xdigit")) {
    std::wstring_view rest =
        text.size() >= 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X') ? text.substr(2) : text;
    return AllChars(rest, [](wchar_t c) { return iswxdigit(c) != 0; });
  }
  if (EqualsNoCase(type, L"Alnum"))
    return AllChars(text, [](wchar_t c) { return (CharType(c) & (C1_ALPHA | C1_DIGIT)) != 0; });
  if (EqualsNoCase(type, L"Alpha")) return AllChars(text, [](wchar_t c) { return (CharType(c) & C1_ALPHA) != 0; });
  if (EqualsNoCase(type, L"Upper")) return AllChars(text, [](wchar_t c) { return (CharType(c) & C1_UPPER) != 0; });
  if (EqualsNoCase(type, L"Lower")) return AllChars(text, [](wchar_t c) { return (CharType(c) & C1_LOWER) != 0; });
  if (EqualsNoCase(type, L"Space")) return AllChars(text, [](wchar_t c) { return (CharType(c) & C1_SPACE) != 0; });
  knownType = false;
  return false;
}

namespace {

// The MsgBox result each IfMsgBox word stands for; a word not listed never
// matches.
struct MsgBoxWord {
  const wchar_t* Word;
  int32_t Code;
};
constexpr MsgBoxWord kMsgBoxWords[] = {
    {L"OK", IDOK},   {L"Cancel", IDCANCEL}, {L"Abort", IDABORT},       {L"Retry", IDRETRY},       {L"Ignore", IDIGNORE},
    {L"Yes", IDYES}, {L"No", IDNO},         {L"TryAgain", IDTRYAGAIN}, {L"Continue", IDCONTINUE}, {L"Timeout", -2},
};

// IfMsgBox: whether the thread's last MsgBox ended with the button the word names.
bool MsgBoxResultIs(const wchar_t* word) {
  for (const MsgBoxWord& row : kMsgBoxWords)
    if (EqualsNoCase(row.Word, word)) return Values().CurrentThread->MsgBoxResult == row.Code;
  return false;
}

}  // namespace

ResultCode TestCondition(ScriptLine& line, CommandArgs& args) {
  const wchar_t* text = args[0];
  Variable* var = args.Var[0];
  bool passed = false;
  switch (line.CommandIndex) {
    case ACT_IFEQUAL: passed = CompareValues(var, text, args[1]) == 0; break;
    case ACT_IFNOTEQUAL: passed = CompareValues(var, text, args[1]) != 0; break;
    case ACT_IFGREATER: passed = CompareValues(var, text, args[1]) > 0; break;
    case ACT_IFGREATEROREQUAL: passed = CompareValues(var, text, args[1]) >= 0; break;
    case ACT_IFLESS: passed = CompareValues(var, text, args[1]) < 0; break;
    case ACT_IFLESSOREQUAL: passed = CompareValues(var, text, args[1]) <= 0; break;
    case ACT_IFBETWEEN:
    case ACT_IFNOTBETWEEN: {
      NumericKind k = KindOfVar(var, text), kl = IsNumeric(args[1]), kh = IsNumeric(args[2]);
      bool numeric = k != PURE_NOT_NUMERIC && kl != PURE_NOT_NUMERIC && kh != PURE_NOT_NUMERIC;
      int low = numeric ? CompareNumbers(text, k, args[1], kl) : CompareByCaseSense(text, args[1]);
      int high = numeric ? CompareNumbers(text, k, args[2], kh) : CompareByCaseSense(text, args[2]);
      passed = low >= 0 && high <= 0;
      if (line.CommandIndex == ACT_IFNOTBETWEEN) passed = !passed;
      break;
    }
    case ACT_IFIN:
    case ACT_IFNOTIN:
      passed = ForEachListItem(args[1], [&](const std::wstring& item) { return CompareByCaseSense(text, item) == 0; });
      if (line.CommandIndex == ACT_IFNOTIN) passed = !passed;
      break;
    case ACT_IFCONTAINS:
    case ACT_IFNOTCONTAINS:
      passed = ForEachListItem(args[1], [&](const std::wstring& item) { return ContainsByCaseSense(text, item); });
      if (line.CommandIndex == ACT_IFNOTCONTAINS) passed = !passed;
      break;
    case ACT_IFIS:
    case ACT_IFISNOT: {
      bool known = false;
      bool numericType =
          EqualsNoCase(args[1], L"Number") || EqualsNoCase(args[1], L"Integer") || EqualsNoCase(args[1], L"Float");
      if (numericType && var && var->NumericType() != PURE_NOT_NUMERIC && !EqualsNoCase(args[1], L"Number")) {
        NumericKind kind = var->NumericType();
        passed = EqualsNoCase(args[1], L"Integer") ? kind == PURE_INTEGER : kind == PURE_FLOAT;
        known = true;
      } else {
        passed = TextIsOfType(text, args[1], known);
      }
      if (!known) return ResultCode::TestFailed;
      if (line.CommandIndex == ACT_IFISNOT) passed = !passed;
      break;
    }
    case ACT_IFINSTRING: passed = ContainsByCaseSense(text, args[1]); break;
    case ACT_IFNOTINSTRING: passed = !ContainsByCaseSense(text, args[1]); break;
    case ACT_IFEXIST:
    case ACT_IFNOTEXIST: {
      WIN32_FIND_DATAW found;
      HANDLE search = *text ? FindFirstFileW(text, &found) : INVALID_HANDLE_VALUE;
      passed = search != INVALID_HANDLE_VALUE;
      if (passed) FindClose(search);
      if (line.CommandIndex == ACT_IFNOTEXIST) passed = !passed;
      break;
    }
    case ACT_IFMSGBOX: passed = MsgBoxResultIs(text); break;
    default:
      // IfWin* are tested by the window-matching subsystem that registered
      // them; its row answers TestPassed, TestFailed or Fail.
      if (CommandFunction test = Exec().Commands[line.CommandIndex]) return test(line, args);
      return ReportLineError(&line, L"This command is not supported by this version yet.", ERROR_KIND_ERROR,
                             std::wstring(CommandInfo(line.CommandIndex).Name));
  }
  return passed ? ResultCode::TestPassed : ResultCode::TestFailed;
}
