// Function definitions and variable declarations.
#include "objects/declarations.h"

#include <string>
#include <vector>

#include "base/error_sink.h"
#include "base/load_pool.h"
#include "base/script_context.h"
#include "base/script_line.h"
#include "objects/class_declarations.h"
#include "objects/func.h"
#include "objects/func_call.h"
#include "objects/objects_state.h"
#include "objects/property.h"
#include "script/arg_parser.h"
#include "script/line_parser.h"
#include "script/messages.h"
#include "script/script_lines.h"
#include "script/script_reader.h"
#include "values/numeric_text.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace decl {

using reader::IsBlank;
using reader::LeftTrimmed;
using reader::RightTrimmed;
using reader::Trimmed;

namespace {

// Where the text continues after the blanks at `at`.
size_t OffsetAfterBlanks(std::wstring_view text, size_t at) {
  return text.size() - LeftTrimmed(text.substr(at)).size();
}

// Most parameters one function may declare.
constexpr size_t kMaxParams = 254;
// Most names one function may declare global.
constexpr size_t kMaxDeclaredGlobals = 2000;

// Characters that end a parameter's name.
constexpr std::wstring_view kParamNameEnders = L", \t:=*)";
// Characters that end a declared variable's name.
constexpr std::wstring_view kDeclaredNameEnders = L", \t=:";

// The text without a final "{" and the blanks before it; sets had.
std::wstring_view WithoutFinalBrace(std::wstring_view text, bool& had) {
  text = RightTrimmed(text);
  had = !text.empty() && text.back() == L'{';
  return had ? RightTrimmed(text.substr(0, text.size() - 1)) : text;
}

// Whether a word starts the text, followed by a blank or the end.
bool StartsWithKeyword(std::wstring_view text, std::wstring_view word) {
  return text.size() >= word.size() && EqualsNoCase(text.substr(0, word.size()), word) &&
         (text.size() == word.size() || IsBlank(text[word.size()]));
}

// The text of a quoted default: "" stands for one quote; escape sequences
// become their characters (the escape character followed by "s" stays "s").
// Returns false when the closing quote is missing; `end` gets the position
// after it.
bool ParseQuotedDefault(std::wstring_view text, size_t start, std::wstring& out, size_t& end) {
  const wchar_t escape = Script().Syntax.EscapeChar;
  for (size_t i = start + 1; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (c == L'"') {
      if (i + 1 < text.size() && text[i + 1] == L'"') {
        out += L'"';
        ++i;
        continue;
      }
      end = i + 1;
      return true;
    }
    if (c == escape && i + 1 < text.size()) {
      out += reader::EscapedChar(text[++i], false);
      continue;
    }
    out += c;
  }
  return false;
}

// Whether a word is an integer literal: optional sign, then decimal digits
// or "0x" and hexadecimal digits.
bool IsIntegerLiteral(std::wstring_view word) {
  size_t i = !word.empty() && (word[0] == L'-' || word[0] == L'+') ? 1 : 0;
  if (word.size() > i + 2 && word[i] == L'0' && (word[i + 1] == L'x' || word[i + 1] == L'X')) {
    for (size_t k = i + 2; k < word.size(); ++k)
      if (!iswxdigit(word[k])) return false;
    return true;
  }
  if (i == word.size()) return false;
  for (size_t k = i; k < word.size(); ++k)
    if (word[k] < L'0' || word[k] > L'9') return false;
  return true;
}

// Whether a word is a float literal: one ".", digits, optional exponent.
bool IsFloatLiteral(std::wstring_view word) {
  size_t i = !word.empty() && (word[0] == L'-' || word[0] == L'+') ? 1 : 0;
  bool dot = false, digits = false;
  for (; i < word.size(); ++i) {
    const wchar_t c = word[i];
    if (c >= L'0' && c <= L'9') {
      digits = true;
    } else if (c == L'.' && !dot) {
      dot = true;
    } else if ((c == L'e' || c == L'E') && dot && digits) {
      size_t k = i + 1;
      if (k < word.size() && (word[k] == L'-' || word[k] == L'+')) ++k;
      if (k == word.size()) return false;
      for (; k < word.size(); ++k)
        if (word[k] < L'0' || word[k] > L'9') return false;
      return true;
    } else {
      return false;
    }
  }
  return dot && digits;
}

// Parses one default value starting at `at`; moves `at` past it.
ResultCode ParseDefault(std::wstring_view header, size_t& at, FuncParam& param) {
  at = OffsetAfterBlanks(header, at);
  if (at < header.size() && header[at] == L'"') {
    std::wstring text;
    size_t end = 0;
    if (!ParseQuotedDefault(header, at, text, end)) return ReportLoadError(parse_msg::MissingCloseQuote, header);
    param.DefaultKind = ParamDefault::Text;
    param.DefaultText = PoolCopy(text);
    at = end;
    return ResultCode::Ok;
  }
  size_t end = at;
  while (end < header.size() && header[end] != L',' && header[end] != L')' && !IsBlank(header[end])) ++end;
  const std::wstring_view word = header.substr(at, end - at);
  at = end;
  if (EqualsNoCase(word, L"false") || EqualsNoCase(word, L"true")) {
    param.DefaultKind = ParamDefault::Integer;
    param.DefaultInteger = EqualsNoCase(word, L"true") ? 1 : 0;
    return ResultCode::Ok;
  }
  const std::wstring copy(word);
  if (IsIntegerLiteral(word)) {
    param.DefaultKind = ParamDefault::Integer;
    const bool negative = copy[0] == L'-';
    param.DefaultInteger = TextToInteger(copy.c_str() + (copy[0] == L'+' ? 1 : 0));
    if (negative && param.DefaultInteger > 0) param.DefaultInteger = -param.DefaultInteger;
    return ResultCode::Ok;
  }
  if (IsFloatLiteral(word)) {
    param.DefaultKind = ParamDefault::Float;
    param.DefaultFloat = TextToDouble(copy.c_str());
    return ResultCode::Ok;
  }
  return ReportLoadError(parse_msg::UnsupportedDefault, header);
}

// Adds an implicit parameter ("this", "value") of a method.
ResultCode AddImplicitParam(Func& func, const wchar_t* name) {
  FuncParam param;
  param.Var = func.Scope.Locals.FindOrAdd(name, VAR_LOCAL | VAR_FUNC_PARAM | VAR_DECLARED);
  if (!param.Var) return ResultCode::Fail;
  func.Params.push_back(param);
  ++func.RequiredCount;
  return ResultCode::Ok;
}

// Parses the parameter list that starts after "(" at `at`.
ResultCode ParseParameters(Func& func, std::wstring_view header, size_t at) {
  bool defaultsStarted = false;
  at = OffsetAfterBlanks(header, at);
  if (at < header.size() && header[at] == L')') {
    at = OffsetAfterBlanks(header, at + 1);
    return at == header.size() ? ResultCode::Ok : ReportLoadError(parse_msg::InvalidFunctionDeclaration, header);
  }
  for (;;) {
    at = OffsetAfterBlanks(header, at);
    if (at >= header.size()) return ReportLoadError(parse_msg::MissingCloseParen, header);
    FuncParam param;
    std::wstring_view rest = header.substr(at);
    if (rest.size() > 6 && EqualsNoCase(rest.substr(0, 5), L"ByRef") && IsBlank(rest[5])) {
      param.IsByRef = true;
      at = OffsetAfterBlanks(header, at + 5);
    }
    size_t end = at;
    while (end < header.size() && kParamNameEnders.find(header[end]) == std::wstring_view::npos) ++end;
    const std::wstring_view name = header.substr(at, end - at);
    if (name.empty()) return ReportLoadError(parse_msg::BlankParameter, header);
    if (func.Scope.Locals.Find(name)) return ReportLoadError(parse_msg::DuplicateParameter, header);
    if (func.Params.size() >= kMaxParams) return ReportLoadError(parse_msg::TooManyParams, header);
    if (!IsValidVariableName(name)) return ReportLoadError(parse_msg::IllegalParameterName, name);
    param.Var = func.Scope.Locals.FindOrAdd(name, VAR_LOCAL | VAR_FUNC_PARAM | VAR_DECLARED);
    if (!param.Var) return ResultCode::Fail;
    if (param.Var->Type() != VAR_NORMAL) return ReportLoadError(parse_msg::IllegalParameterName, name);
    at = OffsetAfterBlanks(header, end);

    if (at < header.size() && header[at] == L'*') {
      func.IsVariadic = true;
      func.RestParam = param.Var;
      at = OffsetAfterBlanks(header, at + 1);
      if (at >= header.size() || header[at] != L')') return ReportLoadError(parse_msg::MissingCloseParen, header);
    } else {
      if (at < header.size() && (header[at] == L':' || header[at] == L'=')) {
        if (header[at] == L':') {
          if (at + 1 >= header.size() || header[at + 1] != L'=')
            return ReportLoadError(parse_msg::ExpectedAssign, header);
          ++at;
        }
        ++at;
        if (ParseDefault(header, at, param) != ResultCode::Ok) return ResultCode::Fail;
        defaultsStarted = true;
        at = OffsetAfterBlanks(header, at);
      } else if (defaultsStarted) {
        return ReportLoadError(parse_msg::DefaultRequired, header);
      } else {
        ++func.RequiredCount;
      }
      func.Params.push_back(param);
    }
    if (at >= header.size()) return ReportLoadError(parse_msg::MissingCloseParen, header);
    if (header[at] == L')') {
      at = OffsetAfterBlanks(header, at + 1);
      return at == header.size() ? ResultCode::Ok : ReportLoadError(parse_msg::InvalidFunctionDeclaration, header);
    }
    if (header[at] != L',') return ReportLoadError(parse_msg::MissingComma, header);
    ++at;
    if (LeftTrimmed(header.substr(at)).substr(0, 1) == L")") return ReportLoadError(parse_msg::BlankParameter, header);
  }
}

// The scope mode of a lone declaration keyword at the top of a body.
ResultCode ApplyLoneKeyword(Func& func, std::wstring_view keyword, std::wstring_view text) {
  if (!func.DeclarationsOpen) return ReportLoadError(parse_msg::NoRecognizedAction, text);
  if (EqualsNoCase(keyword, L"global")) {
    func.Scope.Mode = SCOPE_ASSUME_GLOBAL;
  } else if (EqualsNoCase(keyword, L"local")) {
    func.Scope.Mode = SCOPE_FORCE_LOCAL;
    func.LocalDeclared = true;
  } else {
    func.Scope.Mode = func.LocalDeclared ? SCOPE_FORCE_LOCAL_STATIC : SCOPE_ASSUME_STATIC;
  }
  func.ScopeDecided = true;
  return ResultCode::Ok;
}

enum class DeclKind { Global, Local, Static };

// Decides or checks the function's scope mode for a declaration with names.
ResultCode CheckDeclarationKind(Func& func, DeclKind kind, std::wstring_view text) {
  if (kind == DeclKind::Static) return ResultCode::Ok;
  if (!func.ScopeDecided) {
    func.Scope.Mode = kind == DeclKind::Local ? SCOPE_ASSUME_GLOBAL : SCOPE_ASSUME_LOCAL;
    func.ScopeDecided = true;
    return ResultCode::Ok;
  }
  if (kind == DeclKind::Global && func.Scope.Mode == SCOPE_ASSUME_GLOBAL)
    return ReportLoadError(parse_msg::GlobalsNotAllowed, text);
  if (kind == DeclKind::Local && func.Scope.Mode == SCOPE_ASSUME_LOCAL)
    return ReportLoadError(parse_msg::LocalsNotAllowed, text);
  return ResultCode::Ok;
}

// Creates (or checks) the variable one declared name stands for.
// The variable a declaration may name: null after reporting a built-in
// variable (ErrorLevel excepted), which cannot be declared.
Variable* Declarable(Variable* var, std::wstring_view name, std::wstring_view text) {
  if (!var) return nullptr;
  const bool builtIn = var->Type() == VAR_BUILTIN || var->Type() == VAR_CLIPBOARDALL;
  if (builtIn && !EqualsNoCase(name, L"ErrorLevel")) {
    // Reported once here; this path answers through its own return value.
    static_cast<void>(ReportLoadError(parse_msg::BuiltInDeclared, text));
    return nullptr;
  }
  return var;
}

Variable* DeclareName(std::wstring_view name, DeclKind kind, std::wstring_view text) {
  Func* func = Objects().FunctionBeingDefined;
  if (!IsValidVariableName(name)) {
    Values().Globals.FindOrAdd(name, VAR_GLOBAL);  // reports the name error
    return nullptr;
  }
  if (!func) {
    // "global" at the top level: a super-global.
    Variable* var = Declarable(Values().Globals.FindOrAdd(name, VAR_GLOBAL), name, text);
    if (var) var->AddScope(VAR_SUPER_GLOBAL | VAR_DECLARED);
    return var;
  }
  if (Variable* local = func->Scope.Locals.Find(name)) {
    if (local->Scope() & VAR_FUNC_PARAM) {
      // Reported once here; this path answers through its own return value.
      static_cast<void>(ReportLoadError(parse_msg::ParameterDeclared, text));
      return nullptr;
    }
    const bool isStatic = (local->Scope() & VAR_LOCAL_STATIC) != 0;
    if (isStatic || kind != DeclKind::Local) {
      // Reported once here; this path answers through its own return value.
      static_cast<void>(ReportLoadError(
          local->Scope() & VAR_DECLARED ? parse_msg::DuplicateDeclaration : parse_msg::DeclarationConflicts, text));
      return nullptr;
    }
    local->AddScope(VAR_DECLARED);
    return local;
  }
  if (kind != DeclKind::Global && func->Scope.DeclaredGlobals.Find(name)) {
    // Reported once here; this path answers through its own return value.
    static_cast<void>(ReportLoadError(parse_msg::DuplicateDeclaration, text));
    return nullptr;
  }
  if (kind == DeclKind::Global) {
    Variable* global = Declarable(Values().Globals.FindOrAdd(name, VAR_GLOBAL), name, text);
    if (!global) return nullptr;
    if (func->Scope.DeclaredGlobals.Count() >= kMaxDeclaredGlobals) {
      // Reported once here; this path answers through its own return value.
      static_cast<void>(ReportLoadError(parse_msg::TooManyDeclarations, text));
      return nullptr;
    }
    if (func->Scope.DeclaredGlobals.Insert(global) != ResultCode::Ok) return nullptr;
    return global;
  }
  const uint8_t scope = VAR_LOCAL | VAR_DECLARED | (kind == DeclKind::Static ? VAR_LOCAL_STATIC : 0);
  return Declarable(func->Scope.Locals.FindOrAdd(name, scope), name, text);
}

// Whether a line is a control statement whose body the next line is.
bool IsControlLine(const ScriptLine* line) {
  if (!line) return false;
  const ActionType action = line->CommandIndex;
  return IsIf(action) || action == ACT_ELSE || IsLoop(action) || action == ACT_TRY || action == ACT_CATCH ||
         action == ACT_FINALLY;
}

// Parses the names (and initialisers) of a declaration.
ResultCode ParseDeclaredNames(std::wstring_view names, DeclKind kind, std::wstring_view text) {
  struct Initializer {
    std::wstring Assignment;
  };
  std::vector<Initializer> initializers;
  size_t at = 0;
  for (;;) {
    at = OffsetAfterBlanks(names, at);
    size_t end = at;
    while (end < names.size() && kDeclaredNameEnders.find(names[end]) == std::wstring_view::npos) ++end;
    const std::wstring_view name = names.substr(at, end - at);
    if (name.empty()) return ReportLoadError(parse_msg::NoRecognizedAction, text);
    Variable* var = DeclareName(name, kind, text);
    if (!var) return ResultCode::Fail;
    at = OffsetAfterBlanks(names, end);
    if (at < names.size() && (names[at] == L'=' || names[at] == L':')) {
      if (names[at] == L':') {
        if (at + 1 >= names.size() || names[at + 1] != L'=') return ReportLoadError(parse_msg::ExpectedAssign, text);
        ++at;
      }
      ++at;
      const size_t valueEnd = InitializerEnd(names, at);
      std::wstring assignment(name);
      assignment += L" := ";
      assignment += Trimmed(names.substr(at, valueEnd - at));
      initializers.push_back({std::move(assignment)});
      at = valueEnd;
    }
    at = OffsetAfterBlanks(names, at);
    if (at >= names.size()) break;
    if (names[at] != L',') return ReportLoadError(parse_msg::NoRecognizedAction, text);
    ++at;
  }
  if (initializers.empty()) return ResultCode::Ok;
  const bool wrap = kind != DeclKind::Static && IsControlLine(Script().LastScriptLine);
  if (wrap && !AppendScriptLine(ACT_BLOCK_BEGIN, nullptr, 0, false)) return ResultCode::Fail;
  for (const Initializer& init : initializers) {
    const ResultCode parsed =
        kind == DeclKind::Static ? AddStaticInitializer(init.Assignment) : ParseCommandLine(init.Assignment);
    if (parsed != ResultCode::Ok) return ResultCode::Fail;
  }
  if (wrap && !AppendScriptLine(ACT_BLOCK_END, nullptr, 0, false)) return ResultCode::Fail;
  return ResultCode::Ok;
}

// Whether an accessor's short name ("Prop.Get", "Prop.Set") is a setter's.
bool IsSetterName(std::wstring_view name) {
  const size_t dot = name.rfind(L'.');
  return dot != std::wstring_view::npos && dot + 1 < name.size() && name[dot + 1] != L'G' && name[dot + 1] != L'g';
}

// Creates a method (or property accessor) of the open class and stores it:
// a method in the class under its short name, an accessor in its property.
Func* CreateMethod(std::wstring_view name, std::wstring_view header, Object& classObject) {
  std::wstring fullName(CurrentClassName());
  fullName += L'.';
  fullName += name;
  Property* property = CurrentClassProperty();
  if ((!property && classObject.GetField(name)) || FindListedFunction(fullName)) {
    // Reported once here; this path answers through its own return value.
    static_cast<void>(ReportLoadError(parse_msg::DuplicateDeclaration, header));
    return nullptr;
  }
  Func* func = CreateFunction(fullName, false, &classObject);
  if (!func) return nullptr;
  if (!property) {
    FieldValue field;
    field.Type = FieldValue::Kind::Object;
    field.Object = func;  // a Func ignores its reference count
    classObject.SetField(name, std::move(field));
  } else if (IsSetterName(name)) {
    property->Setter = func;
  } else {
    property->Getter = func;
  }
  if (AddImplicitParam(*func, L"this") != ResultCode::Ok) return nullptr;
  if (property && IsSetterName(name) && AddImplicitParam(*func, L"value") != ResultCode::Ok) return nullptr;
  return func;
}

}  // namespace

size_t InitializerEnd(std::wstring_view text, size_t at) {
  int depth = 0;
  bool quoted = false;
  for (; at < text.size(); ++at) {
    const wchar_t c = text[at];
    if (c == Script().Syntax.EscapeChar) {
      ++at;  // an escaped character is never syntax
      continue;
    }
    if (c == L'"') quoted = !quoted;
    if (quoted) continue;
    if (c == L'(' || c == L'[' || c == L'{') ++depth;
    if ((c == L')' || c == L']' || c == L'}') && depth > 0) --depth;
    if (c == L',' && depth == 0) return at;
  }
  return at;
}

ResultCode AddStaticInitializer(std::wstring_view assignment, ActionType forcedAction) {
  Objects().AddingStaticInitializer = true;
  const ResultCode parsed = ParseCommandLine(assignment, forcedAction);
  Objects().AddingStaticInitializer = false;
  if (parsed != ResultCode::Ok) return ResultCode::Fail;
  // Runs once before the auto-execute section, not where it stands.
  ScriptLine* line = Script().LastScriptLine;
  line->Extra = line->CommandIndex;
  line->CommandIndex = ACT_STATIC;
  return ResultCode::Ok;
}

bool IsFunctionDefinition(std::wstring_view line, bool& opensBody) {
  size_t i = 0;
  while (i < line.size() && !IsBlank(line[i]) && kDefinitionNameStoppers.find(line[i]) == std::wstring_view::npos) ++i;
  if (i == 0 || i >= line.size() || line[i] != L'(') return false;
  const std::wstring_view name = line.substr(0, i);
  if (EqualsNoCase(name, L"if") || EqualsNoCase(name, L"while")) return false;
  if (i + 1 < line.size() && line[i + 1] == L':') return false;
  const std::wstring_view head = WithoutFinalBrace(line, opensBody);
  return !head.empty() && head.back() == L')';
}

ResultCode DeclareFunction(std::wstring_view header, Object* classObject) {
  if (Objects().FunctionBeingDefined) return ReportLoadError(parse_msg::FunctionInFunction, header);
  if (Script().LabelsAwaitingLine > 0) return ReportLoadError(parse_msg::LabelPointsToFunction, header);
  const size_t paren = header.find(L'(');
  const std::wstring_view name = header.substr(0, paren);
  Func* func = nullptr;
  if (classObject) {
    func = CreateMethod(name, header, *classObject);
    if (!func) return ResultCode::Fail;
  } else if (Func* existing = FindListedFunction(name)) {
    if (!existing->IsBuiltIn) return ReportLoadError(parse_msg::DuplicateFunction, header);
    // A script function replaces the built-in function of its name.
    func = existing;
    func->IsBuiltIn = false;
    func->Native = nullptr;
    func->Expr.Call = CallScriptFunction;
  } else {
    func = CreateFunction(name, false, nullptr);
    if (!func) return ResultCode::Fail;
  }
  if (ParseParameters(*func, header, paren + 1) != ResultCode::Ok) return ResultCode::Fail;
  func->SyncLimits();
  Objects().FunctionBeingDefined = func;
  ScriptLine* open = AppendScriptLine(ACT_BLOCK_BEGIN, nullptr, 0, false);
  if (!open) return ResultCode::Fail;
  open->Extra = kFunctionBodyMark;
  func->BodyBlock = open;
  Objects().BodyDepth = 1;
  return ResultCode::Ok;
}

void NoteScriptLine(ScriptLine& line) {
  Func* func = Objects().FunctionBeingDefined;
  if (!func || Objects().BodyDepth == 0) return;
  if (!Objects().AddingStaticInitializer && !func->Body) {
    func->Body = &line;
    func->DeclarationsOpen = false;
    if (!func->ScopeDecided) {
      func->Scope.Mode = SCOPE_ASSUME_LOCAL;
      func->ScopeDecided = true;
    }
  }
  if (line.CommandIndex == ACT_BLOCK_BEGIN) ++Objects().BodyDepth;
  if (line.CommandIndex == ACT_BLOCK_END && --Objects().BodyDepth == 0) {
    line.Extra = kFunctionBodyMark;
    Objects().FunctionBeingDefined = nullptr;
  }
}

ResultCode ParseDeclaration(std::wstring_view text, bool& handled) {
  handled = false;
  DeclKind kind;
  size_t keywordLength;
  if (StartsWithKeyword(text, L"global")) {
    kind = DeclKind::Global;
    keywordLength = 6;
  } else if (StartsWithKeyword(text, L"local")) {
    kind = DeclKind::Local;
    keywordLength = 5;
  } else if (StartsWithKeyword(text, L"static")) {
    kind = DeclKind::Static;
    keywordLength = 6;
  } else {
    return ResultCode::Ok;
  }
  Func* func = Objects().FunctionBeingDefined;
  if (!func && kind != DeclKind::Global) return ResultCode::Ok;  // a command line
  handled = true;
  const std::wstring_view names = Trimmed(text.substr(keywordLength));
  if (names.empty()) {
    if (!func) return ReportLoadError(parse_msg::NoRecognizedAction, text);
    return ApplyLoneKeyword(*func, text.substr(0, keywordLength), text);
  }
  if (func && CheckDeclarationKind(*func, kind, text) != ResultCode::Ok) return ResultCode::Fail;
  return ParseDeclaredNames(names, kind, text);
}

void MoveStaticInitializers() {
  ScriptContext& s = Script();
  ScriptLine* firstMoved = nullptr;
  ScriptLine* lastMoved = nullptr;
  for (ScriptLine* line = s.FirstScriptLine; line;) {
    ScriptLine* next = line->FollowingLine;
    if (line->CommandIndex == ACT_STATIC) {
      // Unlink, restore the assignment's own action, append to the moved list.
      if (line->PreviousLine)
        line->PreviousLine->FollowingLine = next;
      else
        s.FirstScriptLine = next;
      if (next)
        next->PreviousLine = line->PreviousLine;
      else
        s.LastScriptLine = line->PreviousLine;
      line->CommandIndex = static_cast<ActionType>(line->Extra);
      line->Extra = 0;
      line->PreviousLine = lastMoved;
      line->FollowingLine = nullptr;
      if (lastMoved)
        lastMoved->FollowingLine = line;
      else
        firstMoved = line;
      lastMoved = line;
    }
    line = next;
  }
  if (!firstMoved) return;
  lastMoved->FollowingLine = s.FirstScriptLine;
  if (s.FirstScriptLine)
    s.FirstScriptLine->PreviousLine = lastMoved;
  else
    s.LastScriptLine = lastMoved;
  s.FirstScriptLine = firstMoved;
}

void ResetDeclarations() {
  Objects().FunctionBeingDefined = nullptr;
  Objects().BodyDepth = 0;
}

}  // namespace decl
