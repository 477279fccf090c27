// Classifying logical lines and parsing command lines into script lines.
#include "script/line_parser.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "base/error_sink.h"
#include "base/script_context.h"
#include "script/arg_parser.h"
#include "script/declaration_hooks.h"
#include "script/directives.h"
#include "script/messages.h"
#include "script/script_lines.h"
#include "script/script_reader.h"
#include "script/script_state.h"
#include "values/numeric_text.h"
#include "values/variable.h"

using reader::IsBlank;
using reader::LeftTrimmed;
using reader::Trimmed;

namespace {

// Longest first word of a command line.
constexpr size_t kMaxFirstWord = 253;
// Characters that end the first word of a line besides blanks and the delimiter.
constexpr std::wstring_view kFirstWordEnders = L"(<>:=+-*/!~&|^[.?{";
// Characters a time unit of "+=" and "-=" may not hold.
constexpr std::wstring_view kNotInTimeUnit = L" \t<>=/|^,:*&~!()[]{}+-?.\"";

bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

// True when `word` starts the text and is followed by a blank or the end.
bool StartsWithWord(std::wstring_view text, std::wstring_view word) {
  return StartsWithNoCase(text, word) && (text.size() == word.size() || IsBlank(text[word.size()]));
}

// A character of a variable or function name.
bool IsNameChar(wchar_t c) { return c >= 128 || iswalnum(c) || c == L'_' || c == L'$' || c == L'#' || c == L'@'; }

// Fills a message pattern: the first "%s" takes the name, "%d" or "%u" the
// number, and a second "%s" the plural ending. Done by hand because the
// wide printf family reads "%s" differently from one C runtime to another.
std::wstring FormatMessage(const wchar_t* format, std::wstring_view name, unsigned number, const wchar_t* plural) {
  std::wstring out;
  bool nameUsed = false;
  for (const wchar_t* p = format; *p; ++p) {
    if (p[0] == L'%' && p[1] == L's') {
      out += nameUsed ? std::wstring_view(plural ? plural : L"") : name;
      nameUsed = true;
      ++p;
    } else if (p[0] == L'%' && (p[1] == L'd' || p[1] == L'u')) {
      out += std::to_wstring(number);
      ++p;
    } else {
      out += *p;
    }
  }
  return out;
}

// Adds a line with no arguments (block braces, Else and the like).
ResultCode AddSimpleLine(ActionType action) {
  return AppendScriptLine(action, nullptr, 0, false) ? ResultCode::Ok : ResultCode::Fail;
}

// Whether an expression holds a comma outside quotes and brackets.
bool HasTopLevelComma(std::wstring_view text) { return InitializerEnd(text, 0) < text.size(); }

// A hotstring line: ":options:abbreviation::replacement".
bool IsHotstringLine(std::wstring_view text) {
  if (text.size() < 2 || text[0] != L':') return false;
  size_t optionsEnd = text.find(L':', 1);
  return optionsEnd != std::wstring_view::npos && text.find(L"::", optionsEnd + 1) != std::wstring_view::npos;
}

// True when the text before "::" reads as a hotkey: modifier symbols and a
// key name, or two key names joined by " & ", optionally followed by "up".
bool IsHotkeyLine(std::wstring_view text) {
  size_t colons = text.find(L"::");
  if (colons == std::wstring_view::npos) return false;
  std::wstring_view name = Trimmed(text.substr(0, colons));
  if (colons == 0 && text.size() > 2 && text[2] == L':') return true;  // the ":" key
  if (name.empty()) return false;
  if (name.size() == 1) return true;
  size_t i = 0;
  while (i < name.size() && std::wstring_view(L"~*$!^+#<>").find(name[i]) != std::wstring_view::npos) ++i;
  std::wstring_view keys = name.substr(i);
  if (keys.size() == 1) return true;
  if (keys.size() > 3 && EqualsNoCase(keys.substr(keys.size() - 3), L" up"))
    keys = Trimmed(keys.substr(0, keys.size() - 3));
  auto isKeyName = [](std::wstring_view key) {
    if (key.empty()) return false;
    if (key.size() == 1) return true;
    for (wchar_t c : key)
      if (!iswalnum(c) && c != L'_') return false;
    return true;
  };
  size_t amp = keys.find(L" & ");
  if (amp != std::wstring_view::npos)
    return isKeyName(Trimmed(keys.substr(0, amp))) && isKeyName(Trimmed(keys.substr(amp + 3)));
  return isKeyName(keys);
}

// A label line: ends with one ":", has more than one character, and holds
// no blank, delimiter or escape character.
bool IsLabelLine(std::wstring_view text) {
  if (text.size() < 2 || text.back() != L':' || text[text.size() - 2] == L':') return false;
  for (wchar_t c : text.substr(0, text.size() - 1))
    if (IsBlank(c) || c == Script().Syntax.Delimiter || c == Script().Syntax.EscapeChar) return false;
  return true;
}

// Position of the first unescaped delimiter in raw text, or npos.
size_t FindRawDelimiter(std::wstring_view raw, size_t from = 0) {
  const SyntaxChars& syntax = Script().Syntax;
  for (size_t i = from; i < raw.size(); ++i) {
    if (raw[i] == syntax.EscapeChar) {
      ++i;
      continue;
    }
    if (raw[i] == syntax.Delimiter) return i;
  }
  return std::wstring_view::npos;
}

// The command a word names, looking at the legacy names too; ACT_INVALID
// when it names none.
ActionType CommandOfWord(std::wstring_view word) {
  ActionType action = FindCommand(word);
  if (action != ACT_INVALID) return action;
  const LegacyCommand* legacy = FindLegacyCommand(word);
  return legacy ? legacy->Becomes : ACT_INVALID;
}

// Commands after which a same-line command may follow in the last argument.
bool AllowsSameLineCommand(ActionType action, bool legacyIf) {
  if (legacyIf) return true;
  return action >= ACT_IFWINEXIST && action <= ACT_IFMSGBOX;
}

// For the if-commands that allow it, splits "IfEqual, x, 1, MsgBox hi" into
// the if's own arguments and the command that follows it on the line.
std::optional<std::pair<std::wstring, std::wstring>> SplitSameLineCommand(std::wstring_view rawArgs, int mostArgs) {
  size_t pos = 0;
  for (int n = 1; n < mostArgs; ++n) {
    size_t d = FindRawDelimiter(rawArgs, pos);
    if (d == std::wstring_view::npos) return std::nullopt;
    pos = d + 1;
  }
  for (size_t d = FindRawDelimiter(rawArgs, pos); d != std::wstring_view::npos; d = FindRawDelimiter(rawArgs, d + 1)) {
    std::wstring_view rest = LeftTrimmed(rawArgs.substr(d + 1));
    size_t end = 0;
    while (end < rest.size() && !IsBlank(rest[end]) && rest[end] != Script().Syntax.Delimiter) ++end;
    if (end > 0 && CommandOfWord(rest.substr(0, end)) != ACT_INVALID)
      return std::make_pair(std::wstring(rawArgs.substr(0, d)), std::wstring(rest));
  }
  return std::nullopt;
}

// Decides the loop kind that can be known before the script runs.
intptr_t LoopKindOf(ActionType action, const ArgRecord* args, int argCount) {
  if (action == ACT_WHILE) return LOOP_WHILE;
  if (action == ACT_FOR) return LOOP_FOR;
  if (argCount == 0) return LOOP_COUNT;
  const ArgRecord& first = args[0];
  bool fixed = !first.ExprFlag && !first.RefList;
  if (!fixed) return LOOP_UNDECIDED;
  std::wstring_view word(first.Content, first.ContentLength);
  if (EqualsNoCase(word, L"Parse")) return LOOP_PARSE;
  if (EqualsNoCase(word, L"Read")) return LOOP_READ;
  if (EqualsNoCase(word, L"Files")) return LOOP_FILES;
  if (EqualsNoCase(word, L"Reg")) return LOOP_REG;
  if (argCount == 1 && IsNumeric(first.Content) != PURE_NOT_NUMERIC) return LOOP_COUNT;
  static const wchar_t* const kRootKeys[] = {L"HKEY_LOCAL_MACHINE",  L"HKLM", L"HKEY_CLASSES_ROOT", L"HKCR",
                                             L"HKEY_CURRENT_USER",   L"HKCU", L"HKEY_USERS",        L"HKU",
                                             L"HKEY_CURRENT_CONFIG", L"HKCC"};
  std::wstring_view root = word.substr(0, word.find(L'\\'));
  for (const wchar_t* key : kRootKeys)
    if (EqualsNoCase(root, key)) return LOOP_REG_LEGACY;
  return LOOP_FILES_LEGACY;
}

// Builds the records of a parsed line and appends it, with the load-time
// facts block linking needs (loop kinds).
ResultCode AppendParsedLine(ActionType action, std::vector<ParsedArg>& args) {
  ArgRecord* records = nullptr;
  if (BuildArgRecords(action, args, records) != ResultCode::Ok) return ResultCode::Fail;
  int count = static_cast<int>(args.size());
  ScriptLine* line = AppendScriptLine(action, records, count, false);
  if (!line) return ResultCode::Fail;
  if (IsLoop(action)) line->Extra = LoopKindOf(action, records, count);
  // A script that builds a Gui window waits for its events after the
  // auto-execute section instead of exiting.
  if (action == ACT_GUI) Script().StayResident = true;
  return ResultCode::Ok;
}

// Checks the parameter counts of a command against its table entry.
ResultCode CheckParameterCounts(std::wstring_view name, const CommandEntry& entry, const std::vector<ParsedArg>& args,
                                std::wstring_view lineText) {
  if (args.size() < entry.LeastArgs) {
    return ReportLoadError(
        FormatMessage(parse_msg::RequiresAtLeast, name, entry.LeastArgs, entry.LeastArgs > 1 ? L"s" : L""), lineText);
  }
  for (unsigned i = 0; i < entry.LeastArgs; ++i) {
    if (args[i].Text.empty())
      return ReportLoadError(FormatMessage(parse_msg::RequiresNonBlank, name, i + 1, nullptr), lineText);
  }
  return ResultCode::Ok;
}

// Commands that take no parameters: the rest of the line is an opening
// brace and/or the next line ("else MsgBox", "try {").
ResultCode ParseNoArgCommand(ActionType action, std::wstring_view rest) {
  if (AddSimpleLine(action) != ResultCode::Ok) return ResultCode::Fail;
  rest = LeftTrimmed(rest);
  if (!rest.empty() && rest[0] == Script().Syntax.Delimiter) rest = LeftTrimmed(rest.substr(1));
  if (rest.empty()) return ResultCode::Ok;
  if (rest[0] == L'{') {
    if (AddSimpleLine(ACT_BLOCK_BEGIN) != ResultCode::Ok) return ResultCode::Fail;
    rest = LeftTrimmed(rest.substr(1));
    if (rest.empty()) return ResultCode::Ok;
  }
  return ClassifyLine(rest, Script().CurrentLineNumber);
}

// Removes an opening brace that ends the last argument of Loop, While, For
// and Catch; returns true when there was one.
bool TakeTrailingBrace(ActionType action, std::vector<ParsedArg>& args) {
  if (args.empty()) return false;
  bool eligible =
      action == ACT_FOR || action == ACT_CATCH || ((action == ACT_LOOP || action == ACT_WHILE) && args.size() == 1);
  if (!eligible) return false;
  ParsedArg& last = args.back();
  if (last.Text.empty() || last.Text.back() != L'{' || last.Literal.back()) return false;
  last.Text.pop_back();
  last.Literal.pop_back();
  last.RightTrim();
  if (args.size() == 1 && last.Text.empty()) args.clear();
  return true;
}

// Parses the arguments of a command named by the line's first word and
// appends its line(s).
ResultCode ParseCommandArgs(ActionType action, const LegacyCommand* legacy, std::wstring_view rawArgs,
                            std::wstring_view lineText) {
  const CommandEntry& entry = CommandInfo(action);
  const int leastArgs = legacy ? legacy->Entry.LeastArgs : entry.LeastArgs;
  const int mostArgs = legacy ? legacy->Entry.MostArgs : entry.MostArgs;
  if (mostArgs == 0) return ParseNoArgCommand(action, rawArgs);

  std::wstring sameLineCommand;
  std::wstring headArgs(rawArgs);
  if (AllowsSameLineCommand(action, legacy && action >= ACT_IFEQUAL && action <= ACT_IFLESSOREQUAL)) {
    if (auto split = SplitSameLineCommand(rawArgs, mostArgs)) {
      headArgs = split->first;
      sameLineCommand = split->second;
    }
  }
  std::vector<ParsedArg> args = action == ACT_FOR ? SplitForArgs(ProcessEscapes(headArgs))
                                                  : SplitArgs(ProcessEscapes(headArgs), action, mostArgs);
  bool brace = TakeTrailingBrace(action, args);
  if (brace && args.empty() && (action == ACT_WHILE || action == ACT_FOR))
    return ReportLoadError(parse_msg::Param1Required, lineText);
  CommandEntry counts = entry;
  counts.LeastArgs = static_cast<uint8_t>(leastArgs);
  if (CheckParameterCounts(legacy ? legacy->Entry.Name : entry.Name, counts, args, lineText) != ResultCode::Ok)
    return ResultCode::Fail;

  if (legacy && legacy->Form == LegacyForm::ActiveStats) {
    // WinGetActiveStats: the title into the first variable, the position
    // into the other four, both of the active window.
    std::vector<ParsedArg> title = {args[0], LiteralArg(kActiveWindowTitle)};
    if (AppendParsedLine(ACT_WINGETTITLE, title) != ResultCode::Ok) return ResultCode::Fail;
    std::vector<ParsedArg> pos = {args[1], args[2], args[3], args[4], LiteralArg(kActiveWindowTitle)};
    return AppendParsedLine(ACT_WINGETPOS, pos);
  }
  if (legacy && legacy->Form == LegacyForm::ActiveTitle) args.push_back(LiteralArg(kActiveWindowTitle));

  if (AppendParsedLine(action, args) != ResultCode::Ok) return ResultCode::Fail;
  if (brace && AddSimpleLine(ACT_BLOCK_BEGIN) != ResultCode::Ok) return ResultCode::Fail;
  if (!sameLineCommand.empty()) return ParseCommandLine(sameLineCommand);
  return ResultCode::Ok;
}

// Appends an operator form ("x = text", "x := expr", "x += 5") from its
// variable and raw value text.
ResultCode AddOperatorLine(ActionType action, std::wstring_view var, std::wstring_view rawValue,
                           std::wstring_view lineText) {
  std::wstring raw(var);
  raw += Script().Syntax.Delimiter;
  raw += rawValue;
  // The variable needs no escape processing; the value does.
  std::vector<ParsedArg> args;
  if (action == ACT_ASSIGN || action == ACT_ASSIGNEXPR) {
    ParsedArg value = ProcessEscapes(rawValue);
    value.LeftTrim();
    value.RightTrim();
    args.push_back(LiteralArg(var));
    if (!value.Text.empty() || action == ACT_ASSIGN) args.push_back(std::move(value));
  } else {
    args = SplitArgs(ProcessEscapes(raw), action, CommandInfo(action).MostArgs);
  }
  if (CheckParameterCounts(CommandInfo(action).Name, CommandInfo(action), args, lineText) != ResultCode::Ok)
    return ResultCode::Fail;
  return AppendParsedLine(action, args);
}

// Adds the whole text as an expression statement.
ResultCode AddExpressionStatement(std::wstring_view text) {
  std::vector<ParsedArg> args = {ProcessEscapes(text)};
  args[0].LeftTrim();
  args[0].RightTrim();
  return AppendParsedLine(ACT_EXPRESSION, args);
}

// Walks "a.b.c" after the first word and decides whether the line is an
// expression statement (a method call, item access or member assignment).
bool MemberChainIsExpression(std::wstring_view rest) {
  size_t i = 0;
  while (i < rest.size() && rest[i] == L'.') {
    ++i;
    size_t nameStart = i;
    while (i < rest.size() && (IsNameChar(rest[i]) && rest[i] != L'#' && rest[i] != L'@' && rest[i] != L'$')) ++i;
    if (i == nameStart) return false;
    if (i < rest.size() && rest[i] == L'(') return true;
    while (i < rest.size() && IsBlank(rest[i])) ++i;
    if (i >= rest.size() || rest[i] == L'[') return true;
    std::wstring_view tail = rest.substr(i);
    static const wchar_t* const kAssignOps[] = {L":=", L"+=", L"-=",  L"*=",  L"/=",  L"|=", L"&=",
                                                L"^=", L".=", L"//=", L"<<=", L">>=", L"++", L"--"};
    for (const wchar_t* op : kAssignOps)
      if (tail.substr(0, wcslen(op)) == op) return true;
  }
  return false;
}

// Parses the legacy and expression forms of "if".
ResultCode ParseIfLine(std::wstring_view afterIf, std::wstring_view lineText) {
  std::wstring_view rest = LeftTrimmed(afterIf);
  const wchar_t deref = Script().Syntax.DerefChar;
  auto expressionIf = [&](std::wstring_view condition) -> ResultCode {
    std::wstring_view cond = Trimmed(condition);
    bool brace = false;
    if (!cond.empty() && cond.back() == L'{') {
      cond = Trimmed(cond.substr(0, cond.size() - 1));
      brace = true;
    }
    if (cond.empty()) return ReportLoadError(parse_msg::Param1Required, lineText);
    std::vector<ParsedArg> args = {ProcessEscapes(cond)};
    if (AppendParsedLine(ACT_IFEXPR, args) != ResultCode::Ok) return ResultCode::Fail;
    return brace ? AddSimpleLine(ACT_BLOCK_BEGIN) : ResultCode::Ok;
  };
  if (rest.empty()) return ReportLoadError(parse_msg::Param1Required, lineText);
  if (rest[0] == L'(' || (rest.size() > 1 && rest[0] == deref && IsBlank(rest[1]))) {
    if (rest[0] == deref) rest = rest.substr(2);
    return expressionIf(rest);
  }
  size_t varEnd = 0;
  while (varEnd < rest.size() && !IsBlank(rest[varEnd]) &&
         std::wstring_view(L"=<>!").find(rest[varEnd]) == std::wstring_view::npos)
    ++varEnd;
  std::wstring_view var = rest.substr(0, varEnd);
  std::wstring_view tail = LeftTrimmed(rest.substr(varEnd));
  if (EqualsNoCase(var, L"not")) return expressionIf(rest);

  struct ComparisonForm {
    const wchar_t* Op;
    ActionType Action;
  };
  static const ComparisonForm kComparisons[] = {
      {L"<>", ACT_IFNOTEQUAL},    {L"!=", ACT_IFNOTEQUAL}, {L">=", ACT_IFGREATEROREQUAL},
      {L"<=", ACT_IFLESSOREQUAL}, {L"=", ACT_IFEQUAL},     {L">", ACT_IFGREATER},
      {L"<", ACT_IFLESS},
  };
  for (const ComparisonForm& form : kComparisons) {
    size_t opLength = wcslen(form.Op);
    if (tail.substr(0, opLength) != form.Op) continue;
    // "==" and the like are expression comparisons, not the legacy form.
    if (tail.size() > opLength && tail[opLength] == L'=' && form.Action == ACT_IFEQUAL) break;
    std::vector<ParsedArg> args = {LiteralArg(var), ProcessEscapes(tail.substr(opLength))};
    args[1].LeftTrim();
    args[1].RightTrim();
    return AppendParsedLine(form.Action, args);
  }

  struct KeywordForm {
    const wchar_t* Words;
    ActionType Action;
  };
  static const KeywordForm kKeywords[] = {
      {L"not between", ACT_IFNOTBETWEEN},
      {L"not contains", ACT_IFNOTCONTAINS},
      {L"not in", ACT_IFNOTIN},
      {L"between", ACT_IFBETWEEN},
      {L"contains", ACT_IFCONTAINS},
      {L"is not", ACT_IFISNOT},
      {L"in", ACT_IFIN},
      {L"is", ACT_IFIS},
  };
  for (const KeywordForm& form : kKeywords) {
    if (!StartsWithWord(tail, form.Words)) continue;
    std::wstring_view value = tail.substr(wcslen(form.Words));
    std::vector<ParsedArg> args = {LiteralArg(var)};
    if (form.Action == ACT_IFBETWEEN || form.Action == ACT_IFNOTBETWEEN) {
      size_t andAt = std::wstring_view::npos;
      for (size_t i = 0; i + 5 <= value.size(); ++i) {
        if (IsBlank(value[i]) && EqualsNoCase(value.substr(i + 1, 3), L"and") && IsBlank(value[i + 4])) {
          andAt = i;
          break;
        }
      }
      if (andAt == std::wstring_view::npos) return ReportLoadError(parse_msg::BetweenRequiresAnd, lineText);
      args.push_back(ProcessEscapes(Trimmed(value.substr(0, andAt))));
      args.push_back(ProcessEscapes(Trimmed(value.substr(andAt + 5))));
    } else {
      args.push_back(ProcessEscapes(Trimmed(value)));
    }
    return AppendParsedLine(form.Action, args);
  }
  return expressionIf(rest);
}

// Handles a line whose first word is followed by an operator; returns
// nullopt when the line is not an operator form.
std::optional<ResultCode> ParseOperatorForm(std::wstring_view text, std::wstring_view word,
                                            std::wstring_view afterWord) {
  std::wstring_view rest = LeftTrimmed(afterWord);
  const wchar_t delimiter = Script().Syntax.Delimiter;
  auto startsWith = [&](std::wstring_view op) { return rest.substr(0, op.size()) == op; };

  if (word.empty()) {
    // "++x" or "--x" alone adds or subtracts one; any other leading
    // operator starts an expression.
    if (startsWith(L"++") || startsWith(L"--")) {
      std::wstring_view name = Trimmed(rest.substr(2));
      bool plainName = !name.empty();
      for (wchar_t c : name) plainName = plainName && IsNameChar(c);
      if (plainName) return AddOperatorLine(rest[0] == L'+' ? ACT_ADD : ACT_SUB, name, L"1", text);
    }
    return AddExpressionStatement(text);
  }
  if (startsWith(L":=")) {
    // "a := x, b := a" runs left to right as one expression: the first
    // assignment must happen before the rest, not after it.
    if (HasTopLevelComma(rest.substr(2))) return AddExpressionStatement(text);
    return AddOperatorLine(ACT_ASSIGNEXPR, word, rest.substr(2), text);
  }
  if (startsWith(L"==")) return AddExpressionStatement(text);
  if (startsWith(L"=")) return AddOperatorLine(ACT_ASSIGN, word, rest.substr(1), text);
  if (startsWith(L"+=") || startsWith(L"-=")) {
    std::wstring_view value = rest.substr(2);
    size_t d = FindRawDelimiter(value);
    if (d != std::wstring_view::npos) {
      std::wstring_view unit = Trimmed(value.substr(d + 1));
      if (unit.find_first_of(kNotInTimeUnit) != std::wstring_view::npos) return AddExpressionStatement(text);
    }
    return AddOperatorLine(rest[0] == L'+' ? ACT_ADD : ACT_SUB, word, value, text);
  }
  if (startsWith(L"*=") || startsWith(L"/=")) {
    std::wstring_view value = rest.substr(2);
    if (FindRawDelimiter(value) != std::wstring_view::npos) return AddExpressionStatement(text);
    return AddOperatorLine(rest[0] == L'*' ? ACT_MULT : ACT_DIV, word, value, text);
  }
  static const wchar_t* const kExpressionAssignments[] = {L"//=", L".=", L"|=", L"&=", L"^=", L"<<=", L">>="};
  for (const wchar_t* op : kExpressionAssignments)
    if (startsWith(op)) return AddExpressionStatement(text);
  if (startsWith(L"++") || startsWith(L"--")) {
    if (Trimmed(rest.substr(2)).empty()) return AddOperatorLine(rest[0] == L'+' ? ACT_ADD : ACT_SUB, word, L"1", text);
    // "Send ++a" is the command with its text, not an increment.
    if (afterWord.size() > rest.size() && CommandOfWord(word) != ACT_INVALID) return std::nullopt;
    return AddExpressionStatement(text);
  }
  if (afterWord.size() == rest.size() && (startsWith(L"(") || startsWith(L"["))) {
    if (EqualsNoCase(word, L"if") || EqualsNoCase(word, L"while")) return std::nullopt;
    return AddExpressionStatement(text);
  }
  if (startsWith(L".") && !startsWith(L".=") && afterWord.size() == rest.size()) {
    if (MemberChainIsExpression(rest)) return AddExpressionStatement(text);
    return std::nullopt;
  }
  // A ternary at statement level; a command name followed by a blank keeps
  // its text ("MsgBox Really? Yes: no").
  size_t question = text.find(L'?');
  if (question != std::wstring_view::npos && text.find(L':', question) != std::wstring_view::npos &&
      !(rest.empty() || rest[0] == delimiter) && CommandOfWord(word) == ACT_INVALID)
    return AddExpressionStatement(text);
  return std::nullopt;
}

// Dispatches a line that does not begin with a brace.
ResultCode ClassifyOrdinaryLine(std::wstring_view text) {
  if (IsHotstringLine(text)) return ReportLoadError(parse_msg::HotstringsNotSupported, text);
  if (IsHotkeyLine(text)) return ReportLoadError(parse_msg::HotkeysNotSupported, text);
  if (text == L":") return ReportLoadError(parse_msg::NoRecognizedAction, text);
  if (IsLabelLine(text)) {
    std::wstring_view name = Trimmed(text.substr(0, text.size() - 1));
    return DefineLabel(name, false);
  }
  if (text[0] == L'#') {
    switch (ApplyDirective(text)) {
      case DirectiveResult::Handled: return ResultCode::Ok;
      case DirectiveResult::Failed: return ResultCode::Fail;
      case DirectiveResult::NotADirective: break;
    }
  }
  return ParseCommandLine(text);
}

// A held-back "name(...)" line that no "{" followed: a call, which a class
// body cannot hold.
ResultCode ClassifyHeldBackLine(std::wstring_view text) {
  if (ClassBodyObject()) return ReportLoadError(parse_msg::InvalidClassMember, text);
  return ClassifyOrdinaryLine(text);
}

}  // namespace

ResultCode ParseCommandLine(std::wstring_view text, ActionType forcedAction) {
  if (forcedAction == ACT_EXPRESSION) return AddExpressionStatement(text);
  bool declaration = false;
  if (ParseDeclaration(text, declaration) != ResultCode::Ok) return ResultCode::Fail;
  if (declaration) return ResultCode::Ok;

  const wchar_t delimiter = Script().Syntax.Delimiter;
  size_t wordEnd = 0;
  while (wordEnd < text.size() && !IsBlank(text[wordEnd]) && text[wordEnd] != delimiter &&
         kFirstWordEnders.find(text[wordEnd]) == std::wstring_view::npos)
    ++wordEnd;
  std::wstring_view word = text.substr(0, wordEnd);
  if (word.size() > kMaxFirstWord) return ReportLoadError(parse_msg::NoRecognizedAction, text);
  std::wstring_view afterWord = text.substr(wordEnd);
  std::wstring_view rest = LeftTrimmed(afterWord);

  bool followedByParen = !afterWord.empty() && afterWord[0] == L'(';
  bool wordStands = afterWord.empty() || IsBlank(afterWord[0]) || afterWord[0] == delimiter;
  if (EqualsNoCase(word, L"if") && (wordStands || followedByParen)) return ParseIfLine(afterWord, text);

  if (rest.empty() || rest[0] != delimiter) {
    if (auto handled = ParseOperatorForm(text, word, afterWord)) return *handled;
  }

  if (wordStands || (followedByParen && EqualsNoCase(word, L"while"))) {
    std::wstring_view rawArgs = rest;
    if (!rawArgs.empty() && rawArgs[0] == delimiter) rawArgs = rawArgs.substr(1);
    ActionType action = FindCommand(word);
    if (action != ACT_INVALID) return ParseCommandArgs(action, nullptr, rawArgs, text);
    if (const LegacyCommand* legacy = FindLegacyCommand(word))
      return ParseCommandArgs(legacy->Becomes, legacy, rawArgs, text);
  }
  if (followedByParen) return AddExpressionStatement(text);
  if (text.find(L"::") != std::wstring_view::npos) return ReportLoadError(parse_msg::InvalidHotkey, text);
  return ReportLoadError(parse_msg::NoRecognizedAction, text);
}

ResultCode ClassifyLine(std::wstring_view text, int lineNumber) {
  // A "name(...)" line held back: a following "{" makes it a function
  // definition, anything else a call.
  std::optional<PendingLine>& held = Loader().HeldLine;
  if (held) {
    PendingLine pending = std::move(*held);
    held.reset();
    if (!text.empty() && text[0] == L'{') {
      Script().CurrentLineNumber = pending.LineNumber;
      if (DeclareFunction(pending.Text, ClassBodyObject()) != ResultCode::Ok) return ResultCode::Fail;
      Script().CurrentLineNumber = lineNumber;
      return ClassifyLine(LeftTrimmed(text.substr(1)), lineNumber);
    }
    Script().CurrentLineNumber = pending.LineNumber;
    if (ClassifyHeldBackLine(pending.Text) != ResultCode::Ok) return ResultCode::Fail;
    Script().CurrentLineNumber = lineNumber;
  }
  bool classLine = false;
  if (ClassifyClassLine(text, lineNumber, classLine) != ResultCode::Ok) return ResultCode::Fail;
  if (classLine) return ResultCode::Ok;
  if (text.empty()) return ResultCode::Ok;
  if (text[0] == L'{' || text[0] == L'}') {
    if (AddSimpleLine(text[0] == L'{' ? ACT_BLOCK_BEGIN : ACT_BLOCK_END) != ResultCode::Ok) return ResultCode::Fail;
    return ClassifyLine(LeftTrimmed(text.substr(1)), lineNumber);
  }
  bool opensBody = false;
  if (IsFunctionDefinition(text, opensBody)) {
    if (opensBody) {
      std::wstring_view header = Trimmed(text);
      return DeclareFunction(Trimmed(header.substr(0, header.size() - 1)), ClassBodyObject());
    }
    Loader().HeldLine = PendingLine{std::wstring(Trimmed(text)), lineNumber};
    return ResultCode::Ok;
  }
  return ClassifyOrdinaryLine(text);
}

ResultCode FlushPendingLine() {
  if (FlushPendingClassHeader() != ResultCode::Ok) return ResultCode::Fail;
  std::optional<PendingLine>& held = Loader().HeldLine;
  if (!held) return ResultCode::Ok;
  PendingLine pending = std::move(*held);
  held.reset();
  Script().CurrentLineNumber = pending.LineNumber;
  return ClassifyHeldBackLine(pending.Text);
}

void ResetLineParser() {
  Loader().HeldLine.reset();
  ResetDeclarations();
  ResetClassDeclarations();
}
