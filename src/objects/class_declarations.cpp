// Class definitions: the class-body state machine and the class objects it
// builds.
#include "objects/class_declarations.h"

#include <optional>
#include <string>
#include <vector>

#include "base/error_sink.h"
#include "base/script_context.h"
#include "base/script_line.h"
#include "objects/declarations.h"
#include "objects/func.h"
#include "objects/objects_state.h"
#include "objects/property.h"
#include "script/directives.h"
#include "script/line_parser.h"
#include "script/messages.h"
#include "script/script_lines.h"
#include "script/script_reader.h"
#include "values/object.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace decl {

using reader::IsBlank;
using reader::LeftTrimmed;
using reader::RightTrimmed;
using reader::Trimmed;

namespace {

// Longest accumulated initialiser expression of one class-variable line.
constexpr size_t kMaxClassVarsExpression = 16384;
// The words that start a class header and name its base class.
constexpr std::wstring_view kClassWord = L"class";
constexpr std::wstring_view kExtends = L"extends";
// The word that starts static-variable declarations in a class body.
constexpr std::wstring_view kStaticWord = L"static";
// The header of the method that initialises instance variables.
constexpr wchar_t kInitHeader[] = L"__Init()";
constexpr wchar_t kInitName[] = L"__Init";
// Its first line when the class has a base: the base's initialisers first.
constexpr wchar_t kBaseInitCall[] = L"base.__Init()";
// Line number of the lines the parser writes itself.
constexpr int kGeneratedLineNumber = 0;

// The class parse state of the load in progress.
ClassParseState& Classes() { return Objects().Classes; }

// The text without a final "{" and the blanks before it; sets had.
std::wstring_view WithoutFinalBrace(std::wstring_view text, bool& had) {
  text = Trimmed(text);
  had = !text.empty() && text.back() == L'{';
  return had ? Trimmed(text.substr(0, text.size() - 1)) : text;
}

bool IsAsciiAlnum(wchar_t c) {
  return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}

// A character of a class name.
bool IsClassNameChar(wchar_t c) {
  return c >= 128 || IsAsciiAlnum(c) || c == L'_' || c == L'$' || c == L'#' || c == L'@';
}

// A character of a property or class-variable name.
bool IsMemberNameChar(wchar_t c) { return c >= 128 || IsAsciiAlnum(c) || c == L'_'; }

// Whether a word starts the text, followed by a blank or the end.
bool StartsWithKeyword(std::wstring_view text, std::wstring_view word) {
  return text.size() >= word.size() && EqualsNoCase(text.substr(0, word.size()), word) &&
         (text.size() == word.size() || IsBlank(text[word.size()]));
}

// A field value holding an object; the field takes over the reference.
FieldValue ObjectFieldValue(IObject* object) {
  FieldValue value;
  value.Type = FieldValue::Kind::Object;
  value.Object = object;
  return value;
}

// Reports a load error at a recorded place (the line where a header or a
// base class name was).
ResultCode ReportAt(int fileIndex, int line, std::wstring_view message, std::wstring_view extra) {
  ScriptContext& s = Script();
  const int savedFile = s.CurrentFileIndex, savedLine = s.CurrentLineNumber;
  s.CurrentFileIndex = fileIndex;
  s.CurrentLineNumber = line;
  // Reported once here; this path answers through its own return value.
  static_cast<void>(ReportLoadError(message, extra));
  s.CurrentFileIndex = savedFile;
  s.CurrentLineNumber = savedLine;
  return ResultCode::Fail;
}

// The placeholder standing for a base class not defined yet; made (at the
// current line) when the name is first used.
Object* PlaceholderFor(std::wstring_view name) {
  for (UnresolvedClass& entry : Classes().Unresolved)
    if (EqualsNoCase(entry.Name, name)) return entry.Placeholder;
  Object* placeholder = Object::Create();
  placeholder->SetField(L"__Class", FieldValue::OfText(name));
  Classes().Unresolved.push_back(
      {std::wstring(name), placeholder, Script().CurrentFileIndex, Script().CurrentLineNumber});
  return placeholder;
}

// Takes the placeholder of a class being defined out of the unresolved list
// (with its reference), or returns null when nothing named it yet.
Object* TakePlaceholder(std::wstring_view fullName) {
  std::vector<UnresolvedClass>& list = Classes().Unresolved;
  for (size_t i = 0; i < list.size(); ++i) {
    if (!EqualsNoCase(list[i].Name, fullName)) continue;
    Object* placeholder = list[i].Placeholder;
    list.erase(list.begin() + static_cast<ptrdiff_t>(i));
    return placeholder;
  }
  return nullptr;
}

// Whether a class appears in a base chain (which would then loop). Chains
// never loop while loading, so one is at most as long as the number of
// class and placeholder objects.
bool ChainHolds(const Object* chain, const Object* target) {
  const size_t longest = Classes().AllClasses.size() + Classes().Unresolved.size() + 1;
  for (size_t depth = 0; chain && depth <= longest; chain = chain->BaseObject(), ++depth)
    if (chain == target) return true;
  return false;
}

// Reads "Name [extends Base]"; reports the syntax errors.
ResultCode ParseClassHeader(std::wstring_view header, std::wstring_view& name, std::wstring_view& baseName) {
  size_t end = 0;
  while (end < header.size() && !IsBlank(header[end])) ++end;
  name = header.substr(0, end);
  baseName = {};
  const std::wstring_view rest = LeftTrimmed(header.substr(end));
  if (rest.empty()) return ResultCode::Ok;
  if (!StartsWithKeyword(rest, kExtends)) return ReportLoadError(parse_msg::ClassSyntax, header);
  baseName = Trimmed(rest.substr(kExtends.size()));
  if (baseName.empty()) return ReportLoadError(parse_msg::MissingClassName, header);
  for (wchar_t c : baseName)
    if (IsBlank(c)) return ReportLoadError(parse_msg::ClassSyntax, header);
  return ResultCode::Ok;
}

// Makes the variable of a top-level class a declared super-global; null
// after the error was reported.
Variable* ClassVariable(std::wstring_view name, std::wstring_view header) {
  Variable* var = Values().Globals.FindOrAdd(name, VAR_GLOBAL);
  if (!var) return nullptr;
  if (var->Type() != VAR_NORMAL) {
    // Reported once here; this path answers through its own return value.
    static_cast<void>(ReportLoadError(parse_msg::InvalidClassName, header));
    return nullptr;
  }
  if (var->HasObject()) {
    // Reported once here; this path answers through its own return value.
    static_cast<void>(ReportLoadError(parse_msg::DuplicateClass, header));
    return nullptr;
  }
  var->AddScope(VAR_SUPER_GLOBAL | VAR_DECLARED);
  return var;
}

// Closes the innermost open class.
void CloseClass() {
  Classes().Open.pop_back();
  if (Classes().Open.empty()) {
    Script().LabelsAwaitingLine += Classes().LabelsBeforeClass;
    Classes().LabelsBeforeClass = 0;
  }
  const size_t dot = Classes().FullName.rfind(L'.');
  Classes().FullName.resize(Classes().Open.empty() || dot == std::wstring::npos ? 0 : dot);
}

// The "}" line that closes a function's body.
ScriptLine* ClosingLineOf(const Func& func) {
  int depth = 0;
  for (ScriptLine* line = func.BodyBlock; line; line = line->FollowingLine) {
    if (line->CommandIndex == ACT_BLOCK_BEGIN) ++depth;
    if (line->CommandIndex == ACT_BLOCK_END && --depth == 0) return line;
  }
  return nullptr;
}

// Moves the script's last line in front of another line.
void MoveLastLineBefore(ScriptLine* before) {
  ScriptContext& s = Script();
  ScriptLine* line = s.LastScriptLine;
  if (!line || line == before) return;
  s.LastScriptLine = line->PreviousLine;
  if (s.LastScriptLine)
    s.LastScriptLine->FollowingLine = nullptr;
  else
    s.FirstScriptLine = nullptr;
  line->PreviousLine = before->PreviousLine;
  line->FollowingLine = before;
  if (before->PreviousLine)
    before->PreviousLine->FollowingLine = line;
  else
    s.FirstScriptLine = line;
  before->PreviousLine = line;
}

// Defines the class's __Init method: an empty body, or one that first runs
// the base class's initialisers. Its lines carry line number 0; a clash
// with an "__Init" key is reported at the declaration's own line.
Func* CreateInitMethod(Object& classObject) {
  ScriptContext& s = Script();
  if (DeclareFunction(kInitHeader, &classObject) != ResultCode::Ok) return nullptr;
  Func* init = Objects().FunctionBeingDefined;
  init->BodyBlock->SourceLine = kGeneratedLineNumber;
  // Names in initialisers are the script's globals.
  init->Scope.Mode = SCOPE_ASSUME_GLOBAL;
  init->ScopeDecided = true;
  const int savedLine = s.CurrentLineNumber;
  s.CurrentLineNumber = kGeneratedLineNumber;
  const bool ok = (!classObject.Base() || ParseCommandLine(kBaseInitCall, ACT_EXPRESSION) == ResultCode::Ok) &&
                  AppendScriptLine(ACT_BLOCK_END, nullptr, 0, false);
  s.CurrentLineNumber = savedLine;
  return ok ? init : nullptr;
}

// Appends instance-variable initialisers ("this.x := ..., ...") to the end
// of the class's __Init, defining __Init first when the class has none.
ResultCode AddInstanceInitializer(Object& classObject, std::wstring_view expression) {
  const ObjectField* field = classObject.GetField(kInitName);
  Func* init = field && field->IsObject() ? AsFunc(field->ObjectValue) : nullptr;
  if (!init) init = CreateInitMethod(classObject);  // reports a clashing "__Init" key
  if (!init) return ResultCode::Fail;
  ScriptLine* close = ClosingLineOf(*init);
  if (!close) return ResultCode::Fail;
  Objects().FunctionBeingDefined = init;  // names resolve in __Init's scope
  const ResultCode parsed = ParseCommandLine(expression, ACT_EXPRESSION);
  Objects().FunctionBeingDefined = nullptr;
  if (parsed != ResultCode::Ok) return ResultCode::Fail;
  MoveLastLineBefore(close);
  if (init->Body == close) init->Body = close->PreviousLine;
  return ResultCode::Ok;
}

// Opens the accessor named by a "Get" or "Set" line of the open property.
ResultCode OpenAccessor(std::wstring_view word) {
  std::wstring header = Classes().PropertyName;
  header += EqualsNoCase(word, L"Get") ? L".Get" : L".Set";
  header += Classes().PropertyParams;
  return DeclareFunction(header, Classes().Open.back().Class);
}

// Opens what a pending header announced, now that its "{" has come.
ResultCode OpenPendingHeader(const PendingHeader& pending) {
  switch (pending.Kind) {
    case HeaderKind::Class: return DeclareClass(pending.Text);
    case HeaderKind::Property: return DeclareProperty(pending.Text);
    case HeaderKind::Accessor: return OpenAccessor(pending.Text);
  }
  return ResultCode::Fail;
}

// Opens a header now, or keeps it for the next line's "{".
ResultCode OpenOrHold(HeaderKind kind, std::wstring_view header, bool opensBody, int lineNumber) {
  if (!opensBody) {
    Classes().Pending = PendingHeader{kind, std::wstring(header), lineNumber};
    return ResultCode::Ok;
  }
  return OpenPendingHeader(PendingHeader{kind, std::wstring(header), lineNumber});
}

// The header of a class line: the text after "Class" without a final "{".
std::wstring_view ClassHeaderOf(std::wstring_view line, bool& opensBody) {
  return LeftTrimmed(WithoutFinalBrace(line, opensBody).substr(kClassWord.size()));
}

// "Static" and a blank start static-variable declarations ("static" alone
// is a property's name).
bool IsStaticVarLine(std::wstring_view text) {
  return text.size() > kStaticWord.size() && StartsWithKeyword(text, kStaticWord);
}

// "name :=" starts an instance-variable line.
bool IsInstanceVarLine(std::wstring_view text) {
  size_t i = 0;
  while (i < text.size() && (IsMemberNameChar(text[i]) || text[i] == L'.')) ++i;
  if (i == 0) return false;
  const std::wstring_view rest = LeftTrimmed(text.substr(i));
  return rest.size() >= 2 && rest[0] == L':' && rest[1] == L'=';
}

// A name alone, a name with "[params]", or either with a final "{": a
// property header.
bool IsPropertyLine(std::wstring_view text, bool& opensBody) {
  const std::wstring_view head = WithoutFinalBrace(text, opensBody);
  size_t i = 0;
  while (i < head.size() && (IsMemberNameChar(head[i]) || head[i] == L'.')) ++i;
  return i > 0 && (i == head.size() || head[i] == L'[');
}

// A line of an open property's body: "Get" or "Set", optionally with "{".
ResultCode ClassifyPropertyLine(std::wstring_view text, int lineNumber) {
  bool opensBody = false;
  const std::wstring_view word = WithoutFinalBrace(text, opensBody);
  if (!EqualsNoCase(word, L"Get") && !EqualsNoCase(word, L"Set"))
    return ReportLoadError(parse_msg::InvalidAccessor, text);
  return OpenOrHold(HeaderKind::Accessor, word, opensBody, lineNumber);
}

// A line of a class body outside methods. Leaves `handled` false for a
// method header, which the line classifier defines.
ResultCode ClassifyBodyLine(std::wstring_view text, int lineNumber, bool& handled) {
  handled = true;
  if (text[0] == L'}') {
    if (Classes().CurrentProperty)
      Classes().CurrentProperty = nullptr;
    else
      CloseClass();
    return ClassifyLine(LeftTrimmed(text.substr(1)), lineNumber);
  }
  if (text[0] == L'#') {
    switch (ApplyDirective(text)) {
      case DirectiveResult::Handled: return ResultCode::Ok;
      case DirectiveResult::Failed: return ResultCode::Fail;
      case DirectiveResult::NotADirective: break;
    }
  }
  if (Classes().CurrentProperty) return ClassifyPropertyLine(text, lineNumber);
  bool opensBody = false;
  if (IsFunctionDefinition(text, opensBody)) {
    handled = false;
    return ResultCode::Ok;
  }
  if (IsClassDefinition(text, opensBody))
    return OpenOrHold(HeaderKind::Class, ClassHeaderOf(text, opensBody), opensBody, lineNumber);
  if (IsStaticVarLine(text)) return DeclareClassVars(LeftTrimmed(text.substr(kStaticWord.size())), true);
  if (IsInstanceVarLine(text)) return DeclareClassVars(text, false);
  if (IsPropertyLine(text, opensBody))
    return OpenOrHold(HeaderKind::Property, WithoutFinalBrace(text, opensBody), opensBody, lineNumber);
  return ReportLoadError(parse_msg::InvalidClassMember, text);
}

// Reads one class-variable item's name (with any ".member" parts) and adds
// a plain name to the class; `end` gets the position after the name.
ResultCode DeclareClassVarName(Object& classObject, std::wstring_view text, size_t at, size_t& end,
                               std::wstring_view& name) {
  end = at;
  while (end < text.size() && IsMemberNameChar(text[end])) ++end;
  name = text.substr(at, end - at);
  if (name.empty()) return ReportLoadError(parse_msg::InvalidClassVar, text);
  if (end < text.size() && text[end] == L'.') {
    // A member of a class variable declared earlier.
    if (!classObject.GetField(name)) return ReportLoadError(parse_msg::UnknownClassVar, text);
    while (end < text.size() && text[end] == L'.') {
      const size_t partStart = ++end;
      while (end < text.size() && IsMemberNameChar(text[end])) ++end;
      if (end == partStart) return ReportLoadError(parse_msg::InvalidClassVar, text);
    }
    name = text.substr(at, end - at);
    return ResultCode::Ok;
  }
  if (classObject.GetField(name)) return ReportLoadError(parse_msg::DuplicateDeclaration, text);
  classObject.SetField(name, FieldValue::OfText(L""));
  return ResultCode::Ok;
}

}  // namespace

bool IsClassDefinition(std::wstring_view line, bool& opensBody) {
  opensBody = false;
  if (line.size() <= kClassWord.size() || !EqualsNoCase(line.substr(0, kClassWord.size()), kClassWord) ||
      !IsBlank(line[kClassWord.size()]))
    return false;
  const std::wstring_view name = LeftTrimmed(line.substr(kClassWord.size()));
  if (name.empty() || kDefinitionNameStoppers.find(name[0]) != std::wstring_view::npos) return false;
  WithoutFinalBrace(line, opensBody);
  return true;
}

Object* ClassBodyObject() {
  return Classes().Open.empty() || Objects().FunctionBeingDefined ? nullptr : Classes().Open.back().Class;
}

Object* CurrentClassObject() { return Classes().Open.empty() ? nullptr : Classes().Open.back().Class; }

std::wstring_view CurrentClassName() { return Classes().FullName; }

Property* CurrentClassProperty() { return Classes().CurrentProperty; }

ResultCode ClassifyClassLine(std::wstring_view text, int lineNumber, bool& handled) {
  handled = false;
  ScriptContext& s = Script();
  if (Classes().Pending) {
    handled = true;
    const PendingHeader pending = std::move(*Classes().Pending);
    Classes().Pending.reset();
    if (text.empty() || text[0] != L'{')
      return ReportAt(s.CurrentFileIndex, pending.Line, parse_msg::MissingOpenBrace, pending.Text);
    s.CurrentLineNumber = pending.Line;
    if (OpenPendingHeader(pending) != ResultCode::Ok) return ResultCode::Fail;
    s.CurrentLineNumber = lineNumber;
    return ClassifyLine(LeftTrimmed(text.substr(1)), lineNumber);
  }
  if (text.empty()) return ResultCode::Ok;
  bool opensBody = false;
  if (Objects().FunctionBeingDefined) {
    // Classes are definitions of the whole script, never of one function.
    if (!IsClassDefinition(text, opensBody)) return ResultCode::Ok;
    handled = true;
    return ReportLoadError(parse_msg::ClassInFunction, text);
  }
  if (!Classes().Open.empty()) return ClassifyBodyLine(text, lineNumber, handled);
  if (!IsClassDefinition(text, opensBody)) return ResultCode::Ok;
  handled = true;
  return OpenOrHold(HeaderKind::Class, ClassHeaderOf(text, opensBody), opensBody, lineNumber);
}

ResultCode DeclareClass(std::wstring_view header) {
  if (Classes().Open.size() >= static_cast<size_t>(kMaxClassNesting))
    return ReportLoadError(parse_msg::ClassTooDeep, header);
  std::wstring_view name, baseName;
  if (ParseClassHeader(header, name, baseName) != ResultCode::Ok) return ResultCode::Fail;
  Object* base = nullptr;
  if (!baseName.empty()) {
    base = LookupClass(baseName);
    if (!base) base = PlaceholderFor(baseName);
  }
  if (name.empty()) return ReportLoadError(parse_msg::InvalidClassName, header);
  for (wchar_t c : name)
    if (!IsClassNameChar(c)) return ReportLoadError(parse_msg::InvalidClassName, header);

  Object* enclosing = CurrentClassObject();
  Variable* var = nullptr;
  if (!enclosing) {
    var = ClassVariable(name, header);
    if (!var) return ResultCode::Fail;
  } else if (enclosing->GetField(name)) {
    // Any key, not only another class: the class would otherwise replace a
    // method or variable of the same name.
    return ReportLoadError(parse_msg::DuplicateClass, header);
  }
  std::wstring fullName = enclosing ? Classes().FullName + L"." : std::wstring();
  fullName += name;
  if (fullName.size() > kMaxClassName) return ReportLoadError(parse_msg::ClassNameTooLong, header);

  Object* classObject = TakePlaceholder(fullName);
  if (!classObject) classObject = Object::Create();
  if (base && ChainHolds(base, classObject)) {
    classObject->Release();
    return ReportLoadError(parse_msg::ClassExtendsItself, header);
  }
  classObject->SetField(L"__Class", FieldValue::OfText(fullName));
  classObject->SetBase(base);
  // The variable or the enclosing class takes over the creator's reference.
  if (var) {
    if (var->AssignObject(classObject) != ResultCode::Ok) return ResultCode::Fail;
  } else {
    enclosing->SetField(name, ObjectFieldValue(classObject));
  }
  if (Classes().Open.empty()) {
    Classes().LabelsBeforeClass = Script().LabelsAwaitingLine;
    Script().LabelsAwaitingLine = 0;
  }
  Classes().Open.push_back({classObject, Script().CurrentFileIndex, Script().CurrentLineNumber});
  Classes().AllClasses.push_back(classObject);
  Classes().FullName = std::move(fullName);
  return ResultCode::Ok;
}

ResultCode DeclareProperty(std::wstring_view header) {
  size_t end = 0;
  while (end < header.size() && IsMemberNameChar(header[end])) ++end;
  const std::wstring_view name = header.substr(0, end);
  const std::wstring_view rest = header.substr(end);
  if (name.empty() || (!rest.empty() && rest[0] != L'[')) return ReportLoadError(parse_msg::InvalidClassMember, header);
  std::wstring params = L"()";
  if (!rest.empty()) {
    if (rest.back() != L']') return ReportLoadError(parse_msg::MissingCloseBracket, header);
    params = L"(";
    params += rest.substr(1, rest.size() - 2);
    params += L')';
  }
  Object* classObject = CurrentClassObject();
  if (classObject->GetField(name)) return ReportLoadError(parse_msg::DuplicateDeclaration, header);
  auto* property = new Property();
  classObject->SetField(name, ObjectFieldValue(property));  // the class holds the first reference
  Classes().CurrentProperty = property;
  Classes().PropertyName.assign(name);
  Classes().PropertyParams = std::move(params);
  return ResultCode::Ok;
}

ResultCode DeclareClassVars(std::wstring_view text, bool isStatic) {
  Object& classObject = *CurrentClassObject();
  const std::wstring target = isStatic ? Classes().FullName : std::wstring(L"this");
  std::wstring expression;
  size_t at = 0;
  for (;;) {
    at = text.size() - LeftTrimmed(text.substr(at)).size();
    size_t end = 0;
    std::wstring_view name;
    if (DeclareClassVarName(classObject, text, at, end, name) != ResultCode::Ok) return ResultCode::Fail;
    at = text.size() - LeftTrimmed(text.substr(end)).size();
    if (at < text.size() && (text[at] == L'=' || text[at] == L':')) {
      if (text[at] == L':' && (at + 1 >= text.size() || text[at + 1] != L'='))
        return ReportLoadError(parse_msg::InvalidClassVar, text);
      at += text[at] == L':' ? size_t{2} : size_t{1};
      const size_t valueEnd = InitializerEnd(text, at);
      const std::wstring_view value = Trimmed(text.substr(at, valueEnd - at));
      if (value.empty()) return ReportLoadError(parse_msg::InvalidClassVar, text);
      expression += target;
      expression += L'.';
      expression += name;
      expression += L" := ";
      expression += value;
      expression += L", ";
      if (expression.size() > kMaxClassVarsExpression) return ReportLoadError(parse_msg::DeclarationTooLong, text);
      at = valueEnd;
    }
    at = text.size() - LeftTrimmed(text.substr(at)).size();
    if (at >= text.size()) break;
    if (text[at] != L',') return ReportLoadError(parse_msg::InvalidClassVar, text);
    ++at;
  }
  if (expression.empty()) return ResultCode::Ok;
  expression.resize(expression.size() - 2);  // the last ", "
  if (isStatic) return AddStaticInitializer(expression, ACT_EXPRESSION);
  return AddInstanceInitializer(classObject, expression);
}

Object* LookupClass(std::wstring_view name) {
  if (name.empty() || name.size() > kMaxClassName) return nullptr;
  size_t dot = name.find(L'.');
  const Variable* var = Values().Globals.Find(name.substr(0, dot));
  Object* object = var ? dynamic_cast<Object*>(var->ObjectValue()) : nullptr;
  while (object && dot != std::wstring_view::npos) {
    const size_t start = dot + 1;
    dot = name.find(L'.', start);
    const ObjectField* field = object->GetField(name.substr(start, dot == std::wstring_view::npos ? dot : dot - start));
    object = field && field->IsObject() ? dynamic_cast<Object*>(field->ObjectValue) : nullptr;
  }
  return object;
}

ResultCode CheckClassesClosed() {
  if (FlushPendingClassHeader() != ResultCode::Ok) return ResultCode::Fail;
  if (Classes().Open.empty()) return ResultCode::Ok;
  const OpenClass& innermost = Classes().Open.back();
  return ReportAt(innermost.FileIndex, innermost.Line, parse_msg::MissingCloseBrace, Classes().FullName);
}

ResultCode LinkClasses() {
  for (UnresolvedClass& entry : Classes().Unresolved) {
    Object* found = LookupClass(entry.Name);
    if (!found) return ReportAt(entry.FileIndex, entry.Line, parse_msg::UnknownClass, entry.Name);
    for (Object* classObject : Classes().AllClasses)
      if (classObject->Base() == entry.Placeholder) classObject->SetBase(found);
    entry.Placeholder->Release();
    entry.Placeholder = nullptr;
  }
  Classes().Unresolved.clear();
  return ResultCode::Ok;
}

ResultCode FlushPendingClassHeader() {
  if (!Classes().Pending) return ResultCode::Ok;
  const PendingHeader pending = std::move(*Classes().Pending);
  Classes().Pending.reset();
  return ReportAt(Script().CurrentFileIndex, pending.Line, parse_msg::MissingOpenBrace, pending.Text);
}

void ResetClassDeclarations() {
  for (UnresolvedClass& entry : Classes().Unresolved)
    if (entry.Placeholder) entry.Placeholder->Release();
  Classes() = ClassParseState();
}

}  // namespace decl
