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

// Features whose parts of the interpreter do not exist yet: the load stops
// rather than skipping the line.
inline constexpr wchar_t HotkeysNotSupported[] = L"Hotkeys are not supported by this version yet.";
inline constexpr wchar_t HotstringsNotSupported[] = L"Hotstrings are not supported by this version yet.";
inline constexpr wchar_t FunctionsNotSupported[] = L"Function definitions are not supported by this version yet.";
inline constexpr wchar_t ClassesNotSupported[] = L"Class definitions are not supported by this version yet.";
inline constexpr wchar_t DeclarationsNotSupported[] =
    L"Variable declarations (global, local, static) are not supported by this version yet.";
inline constexpr wchar_t DirectiveNotSupported[] = L"This directive is not supported by this version yet.";
}  // namespace parse_msg
