// Function definitions and variable declarations while the script loads:
// recognising a definition's header, parsing its parameters into a Func,
// following its body until the closing brace, and the `global`, `local` and
// `static` declarations with their initialisers.
//
// Invariants: at most one function body is open at a time (functions do not
// nest); while it is open, g_FunctionBeingDefined is its Func and every name
// in the lines parsed resolves in its scope.
#pragma once
#include <string_view>

#include "exec/result_code.h"

class Object;
struct ScriptLine;

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

// After loading: moves the static initialisers in front of the first line.
void MoveStaticInitializers();

// Forgets the definition state between loads (for tests).
void ResetDeclarations();
