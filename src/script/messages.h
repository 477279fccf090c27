// The load-time messages of the parser and the block linker.
#pragma once

namespace parse_msg {
inline constexpr wchar_t NoRecognizedAction[] = L"This line does not contain a recognized action.";
inline constexpr wchar_t InvalidHotkey[] = L"Invalid hotkey.";
inline constexpr wchar_t BetweenRequiresAnd[] = L"BETWEEN requires the word AND.";
inline constexpr wchar_t Param1Required[] = L"Parameter #1 required";
inline constexpr wchar_t Param1Invalid[] = L"Parameter #1 invalid.";
inline constexpr wchar_t Param2Invalid[] = L"Parameter #2 invalid.";
inline constexpr wchar_t Param3MustBeBlank[] = L"Parameter #3 must be blank in this case.";
inline constexpr wchar_t Param2MustMatchIf[] = L"Parameter #2 must match an existing #If expression.";
inline constexpr wchar_t RequiresAtLeast[] = L"\"%s\" requires at least %d parameter%s.";
inline constexpr wchar_t RequiresNonBlank[] = L"\"%s\" requires that parameter #%u be non-blank.";
inline constexpr wchar_t ElseWithoutIf[] = L"ELSE with no matching IF";
inline constexpr wchar_t UntilWithoutLoop[] = L"UNTIL with no matching LOOP";
inline constexpr wchar_t CatchWithoutTry[] = L"CATCH with no matching TRY";
inline constexpr wchar_t FinallyWithoutTry[] = L"FINALLY with no matching TRY or CATCH";
inline constexpr wchar_t BreakOutsideLoop[] = L"Break/Continue must be enclosed by a Loop.";
inline constexpr wchar_t JumpOutOfFinally[] = L"Jumps cannot exit a FINALLY block.";
inline constexpr wchar_t UnexpectedFunction[] = L"Unexpected function";
inline constexpr wchar_t UnexpectedCloseBrace[] = L"Unexpected \"}\"";
inline constexpr wchar_t MissingCloseBrace[] = L"Missing \"}\"";
inline constexpr wchar_t TargetLabelMissing[] = L"Target label does not exist.";
inline constexpr wchar_t JumpIntoBlock[] = L"A Goto/Gosub must not jump into a block that doesn't enclose it.";
inline constexpr wchar_t JumpOutOfFunction[] = L"Cannot jump from inside a function to outside.";

// Functions and declarations.
inline constexpr wchar_t FunctionInFunction[] = L"Functions cannot contain functions.";
inline constexpr wchar_t DuplicateFunction[] = L"Duplicate function definition.";
inline constexpr wchar_t DuplicateDeclaration[] = L"Duplicate declaration.";
inline constexpr wchar_t BlankParameter[] = L"Blank parameter";
inline constexpr wchar_t DuplicateParameter[] = L"Duplicate parameter.";
inline constexpr wchar_t TooManyParams[] = L"Too many params.";
inline constexpr wchar_t ExpectedAssign[] = L"Expected \":=\"";
inline constexpr wchar_t MissingCloseQuote[] = L"Missing close-quote";
inline constexpr wchar_t UnsupportedDefault[] = L"Unsupported parameter default.";
inline constexpr wchar_t DefaultRequired[] = L"Parameter default required.";
inline constexpr wchar_t MissingComma[] = L"Missing comma";
inline constexpr wchar_t InvalidFunctionDeclaration[] = L"Invalid function declaration.";
inline constexpr wchar_t MissingCloseParen[] = L"Missing \")\"";
inline constexpr wchar_t MissingOpenBrace[] = L"Missing \"{\"";
inline constexpr wchar_t LabelPointsToFunction[] = L"A label must not point to a function.";
inline constexpr wchar_t GlobalsNotAllowed[] = L"Global variables must not be declared in this function.";
inline constexpr wchar_t LocalsNotAllowed[] = L"Local variables must not be declared in this function.";
inline constexpr wchar_t ParameterDeclared[] = L"Parameters must not be declared.";
inline constexpr wchar_t DeclarationConflicts[] = L"Declaration conflicts with existing var.";
inline constexpr wchar_t BuiltInDeclared[] = L"Built-in variables must not be declared.";
inline constexpr wchar_t TooManyDeclarations[] = L"Too many declarations.";
inline constexpr wchar_t IllegalParameterName[] = L"Illegal parameter name.";
// Classes.
inline constexpr wchar_t ClassTooDeep[] = L"This class definition is nested too deep.";
inline constexpr wchar_t ClassSyntax[] = L"Syntax error in class definition.";
inline constexpr wchar_t MissingClassName[] = L"Missing class name.";
inline constexpr wchar_t InvalidClassName[] = L"Invalid class name.";
inline constexpr wchar_t DuplicateClass[] = L"Duplicate class definition.";
inline constexpr wchar_t ClassNameTooLong[] = L"Full class name is too long.";
inline constexpr wchar_t UnknownClass[] = L"Unknown class.";
inline constexpr wchar_t InvalidClassMember[] = L"Not a valid method, class or property definition.";
inline constexpr wchar_t InvalidAccessor[] = L"Not a valid property getter/setter.";
inline constexpr wchar_t MissingCloseBracket[] = L"Missing \"]\"";
inline constexpr wchar_t UnknownClassVar[] = L"Unknown class var.";
inline constexpr wchar_t DeclarationTooLong[] = L"Declaration too long.";
inline constexpr wchar_t InvalidClassVar[] = L"Invalid class variable declaration.";
// Faults refused beyond the language's own list: a class inside a function
// would end the function at its "}", and a class that is its own base would
// make the base chain a loop.
inline constexpr wchar_t ClassInFunction[] = L"Functions cannot contain classes.";
inline constexpr wchar_t ClassExtendsItself[] = L"A class must not extend itself.";

// Features whose parts of the interpreter do not exist yet: the load stops
// rather than skipping the line.
inline constexpr wchar_t HotkeysNotSupported[] = L"Hotkeys are not supported by this version yet.";
inline constexpr wchar_t HotstringsNotSupported[] = L"Hotstrings are not supported by this version yet.";
inline constexpr wchar_t DirectiveNotSupported[] = L"This directive is not supported by this version yet.";
}  // namespace parse_msg
