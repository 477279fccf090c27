// Function definitions and variable declarations while the script loads:
// recognising a definition's header, parsing its parameters into a Func,
// following its body until the closing brace, and the `global`, `local` and
// `static` declarations with their initialisers.
//
// Invariants: at most one function body is open at a time (functions do not
// nest); while it is open, Objects().FunctionBeingDefined is its Func and every name
// in the lines parsed resolves in its scope.
#pragma once
#include <string_view>

#include "base/command_table.h"
#include "base/result_code.h"

class Object;
struct ScriptLine;

namespace decl {

// Characters that end a function's or class's name when they come first on
// the line.
inline constexpr std::wstring_view kDefinitionNameStoppers = L"<>=/|^,:*&~!()[]{}+-?.\"'\\;`";

// Whether a line is the header of a function definition; opensBody tells
// that it ends with the "{" that opens the body.
bool IsFunctionDefinition(std::wstring_view line, bool& opensBody);

// Defines a function (or a method of classObject) from its header, without
// the "{", and opens its body with a block-begin line.
ResultCode DeclareFunction(std::wstring_view header, Object* classObject);

// Follows every line added to the script: the first line of an open body
// becomes the function's first line, and the "}" that closes it ends the
// definition.
void NoteScriptLine(ScriptLine& line);

// A line starting with "global", "local" or "static": a declaration, or
// false in `handled` when the line is to be parsed as a command.
ResultCode ParseDeclaration(std::wstring_view text, bool& handled);

// Adds an assignment that runs once before the auto-execute section (a
// static variable's initialiser); a forced action of ACT_EXPRESSION parses
// the whole text as one expression.
ResultCode AddStaticInitializer(std::wstring_view assignment, ActionType forcedAction = ACT_INVALID);

// The end of an initialiser starting at `at`: the next comma outside quotes
// and brackets, or the end of the text.
size_t InitializerEnd(std::wstring_view text, size_t at);

// After loading: moves the static initialisers in front of the first line.
void MoveStaticInitializers();

// Forgets the definition state between loads (for tests).
void ResetDeclarations();

}  // namespace decl
