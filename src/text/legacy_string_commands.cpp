// The legacy String commands: StringLeft, StringRight, StringMid,
// StringTrimLeft, StringTrimRight, StringLower, StringUpper, StringLen,
// StringGetPos, StringReplace and StringSplit.
//
// Every command reads its input through ArgText (a variable's whole stored
// text) and writes its output through StoreText, which copes with the output
// being the input variable and enforces #MaxMem. Counts are 32-bit integers;
// a negative count means 0 and a count beyond the input means all of it.
#include <windows.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "base/error_sink.h"
#include "base/script_line.h"
#include "text/messages.h"
#include "text/text_commands.h"
#include "text/text_search.h"
#include "text/text_state.h"
#include "text/text_values.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

// Argument positions shared by the String commands.
enum : int { kArgOutput = 0, kArgInput = 1, kArgThird = 2, kArgFourth = 3, kArgFifth = 4 };

// StringMid's count when none is given.
constexpr int64_t kWholeRest = INT32_MAX;
// Characters of the array name StringSplit uses.
constexpr size_t kMaxArrayNameChars = 253;

// A count argument limited to 0..length.
size_t ClampedCount(const CommandArgs& args, int index, size_t length) {
  const int32_t count = ArgInt32(args, index);
  if (count <= 0) return 0;
  return std::min(static_cast<size_t>(count), length);
}

// Whether the line is StringLeft/StringTrimLeft (rather than the Right form).
bool IsLeftForm(const ScriptLine& line) {
  return line.CommandIndex == ACT_STRINGLEFT || line.CommandIndex == ACT_STRINGTRIMLEFT;
}

}  // namespace

// StringLeft and StringRight: the first or last n characters.
ResultCode CmdStringLeftRight(ScriptLine& line, CommandArgs& args) {
  const std::wstring_view input = ArgText(args, kArgInput);
  const size_t n = ClampedCount(args, kArgThird, input.size());
  return StoreText(args.Var[kArgOutput], IsLeftForm(line) ? input.substr(0, n) : input.substr(input.size() - n));
}

// StringTrimLeft and StringTrimRight: the input without its first or last
// n characters.
ResultCode CmdStringTrim(ScriptLine& line, CommandArgs& args) {
  const std::wstring_view input = ArgText(args, kArgInput);
  const size_t n = ClampedCount(args, kArgThird, input.size());
  return StoreText(args.Var[kArgOutput], IsLeftForm(line) ? input.substr(n) : input.substr(0, input.size() - n));
}

// StringMid: count characters from start, or ending at start with "L".
ResultCode CmdStringMid(ScriptLine&, CommandArgs& args) {
  const std::wstring_view input = ArgText(args, kArgInput);
  Variable* output = args.Var[kArgOutput];
  int64_t count = kWholeRest;
  if (args.Count > kArgFourth && *args[kArgFourth]) {
    count = ArgInt32(args, kArgFourth);
    if (count < 1) return StoreText(output, {});
  }
  int64_t start = ArgInt32(args, kArgThird);
  if ((args[kArgFifth][0] | 0x20) == L'l') {
    if (start < 1) return StoreText(output, {});
    start = start + 1 - count;
    if (start < 1) {
      count += start - 1;
      start = 1;
    }
  } else if (start < 1) {
    start = 1;
  }
  const int64_t length = static_cast<int64_t>(input.size());
  if (length < start) return StoreText(output, {});
  const int64_t take = std::min(count, length - (start - 1));
  return StoreText(output, input.substr(static_cast<size_t>(start - 1), static_cast<size_t>(take)));
}

// StringLower and StringUpper, with "T" for title case.
ResultCode CmdStringCase(ScriptLine& line, CommandArgs& args) {
  std::wstring text(ArgText(args, kArgInput));
  const std::wstring_view mode = args[kArgThird];
  if (mode == L"T" || mode == L"t")
    ToTitleCase(text.data(), text.size());
  else if (line.CommandIndex == ACT_STRINGLOWER)
    ToLowerCase(text.data(), text.size());
  else
    ToUpperCase(text.data(), text.size());
  return StoreText(args.Var[kArgOutput], text);
}

// StringLen: the input's length; a saved clipboard image counts its bytes / 2.
ResultCode CmdStringLen(ScriptLine&, CommandArgs& args) {
  Variable* output = args.Var[kArgOutput];
  if (!output) return ResultCode::Ok;
  Variable* input = args.Var[kArgInput] ? args.Var[kArgInput]->ResolveAlias() : nullptr;
  const size_t length = input && (input->Attrib() & VAR_ATTRIB_BINARY_CLIP) ? input->ByteLength() / sizeof(wchar_t)
                                                                            : ArgText(args, kArgInput).size();
  return output->AssignInteger(static_cast<int64_t>(length));
}

namespace {

// The occurrence StringGetPos's fourth parameter asks for: the number after
// a leading "L" or "R"; 1 in every other case.
int64_t OccurrenceOf(std::wstring_view side) {
  if (side.size() < 2) return 1;
  const wchar_t first = static_cast<wchar_t>(side[0] | 0x20);
  if (first != L'l' && first != L'r') return 1;
  const std::wstring number(side.substr(1));
  if (IsNumeric(number.c_str(), true, false, false) != PURE_INTEGER) return 1;
  return TextToInteger(number.c_str());
}

// The 0-based position StringGetPos reports, or -1.
int64_t FindPosition(std::wstring_view input, std::wstring_view search, std::wstring_view side, int64_t offsetArg) {
  const int64_t occurrence = OccurrenceOf(side);
  if (occurrence <= 0) return -1;
  if (search.empty()) return 0;
  const size_t offset = offsetArg < 0 ? 0 : static_cast<size_t>(offsetArg);
  if (offset >= input.size()) return -1;
  const TextSearch finder(input, search, ThreadCaseMode());
  const bool fromRight = !side.empty() && (side[0] == L'1' || (side[0] | 0x20) == L'r');
  size_t found = kNoMatch;
  if (fromRight) {
    size_t end = input.size() - offset;
    for (int64_t n = 0; n < occurrence; ++n) {
      found = finder.Previous(end);
      if (found == kNoMatch) return -1;
      end = found + search.size() - 1;
    }
  } else {
    size_t from = offset;
    for (int64_t n = 0; n < occurrence; ++n) {
      found = finder.Next(from);
      if (found == kNoMatch) return -1;
      from = found + search.size();
    }
  }
  return static_cast<int64_t>(found);
}

}  // namespace

// StringGetPos: the 0-based position of a search text; ErrorLevel tells
// whether it was found.
ResultCode CmdStringGetPos(ScriptLine&, CommandArgs& args) {
  const int64_t position = FindPosition(ArgText(args, kArgInput), ArgText(args, kArgThird), args[kArgFourth],
                                        TextToInteger(args[kArgFifth]));
  if (SetErrorLevel(std::wstring_view(position < 0 ? L"1" : L"0")) != ResultCode::Ok) return ResultCode::Fail;
  Variable* output = args.Var[kArgOutput];
  return output ? output->AssignInteger(position) : ResultCode::Ok;
}

namespace {

// Whether a text contains a word, without regard to case.
bool ContainsNoCase(std::wstring_view text, std::wstring_view word) {
  return TextSearch(text, word, CaseMode::AsciiInsensitive).Next(0) != kNoMatch;
}

}  // namespace

// StringReplace: the first or every occurrence; ErrorLevel gets 0/1 or the
// count ("UseErrorLevel").
ResultCode CmdStringReplace(ScriptLine&, CommandArgs& args) {
  const std::wstring_view mode = args[kArgFifth];
  const bool useErrorLevel = ContainsNoCase(mode, L"UseErrorLevel");
  const bool all = useErrorLevel || mode.find_first_of(L"1aA") != std::wstring_view::npos;
  const std::wstring_view input = ArgText(args, kArgInput);
  size_t replaced = 0, length = 0;
  bool failed = false;
  wchar_t* block = ReplaceIntoBlock(input, ArgText(args, kArgThird), args[kArgFourth], ThreadCaseMode(), all ? -1 : 1,
                                    replaced, length, failed);
  if (failed) return ResultCode::Fail;
  const ResultCode stored =
      block ? StoreBlock(args.Var[kArgOutput], block, length) : StoreText(args.Var[kArgOutput], input);
  if (stored != ResultCode::Ok) return stored;
  if (useErrorLevel) return SetErrorLevel(static_cast<int64_t>(replaced));
  return SetErrorLevel(std::wstring_view(replaced ? L"0" : L"1"));
}

namespace {

// The variable of the pseudo-array StringSplit writes: found or created
// where the count variable lives (a global count means global elements).
Variable* ArrayElement(std::wstring_view name, bool global) {
  FunctionScope* scope = !global && Values().CurrentFunctionScope ? Values().CurrentFunctionScope() : nullptr;
  return FindOrAddVariable(name, Values().Globals, scope, ResolvePhase::Running);
}

// Splits the input into the pieces StringSplit stores.
std::vector<std::wstring_view> SplitPieces(std::wstring_view input, std::wstring_view delimiters,
                                           std::wstring_view omit) {
  std::vector<std::wstring_view> pieces;
  if (delimiters.empty()) {
    for (size_t i = 0; i < input.size(); ++i)
      if (omit.find(input[i]) == std::wstring_view::npos) pieces.push_back(input.substr(i, 1));
    return pieces;
  }
  for (size_t start = 0;;) {
    const size_t cut = input.find_first_of(delimiters, start);
    std::wstring_view piece =
        input.substr(start, cut == std::wstring_view::npos ? std::wstring_view::npos : cut - start);
    if (!omit.empty()) {
      const size_t first = piece.find_first_not_of(omit);
      piece = first == std::wstring_view::npos ? std::wstring_view() : piece.substr(first);
      piece = piece.substr(0, piece.find_last_not_of(omit) + 1);
    }
    pieces.push_back(piece);
    if (cut == std::wstring_view::npos) break;
    start = cut + 1;
  }
  return pieces;
}

}  // namespace

// StringSplit: the pieces go to Name1, Name2, ... and their count to Name0.
ResultCode CmdStringSplit(ScriptLine& line, CommandArgs& args) {
  const std::wstring_view arrayName = std::wstring_view(args[0]).substr(0, kMaxArrayNameChars);
  std::wstring name(arrayName);
  name += L'0';
  if (!IsValidVariableName(name))
    return ReportLineError(&line, msg::VarNameIllegalChar + name.substr(0, msg::kIllegalNameShown) + L"\"");
  Variable* countVar = ArrayElement(name, false);
  if (!countVar) return ResultCode::Fail;
  const bool global = (countVar->Scope() & VAR_LOCAL) == 0;
  const std::wstring input(ArgText(args, kArgInput));
  if (input.empty()) return countVar->AssignInteger(0);
  const std::vector<std::wstring_view> pieces = SplitPieces(input, args[kArgThird], args[kArgFourth]);
  for (size_t i = 0; i < pieces.size(); ++i) {
    name.resize(arrayName.size());
    name += std::to_wstring(i + 1);
    Variable* element = ArrayElement(name, global);
    if (!element) return ResultCode::Fail;
    if (StoreText(element, pieces[i]) != ResultCode::Ok) return ResultCode::Fail;
  }
  return countVar->AssignInteger(static_cast<int64_t>(pieces.size()));
}
