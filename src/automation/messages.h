// The run-time messages of window matching and window commands, kept
// together so that every command reports the same text for the same fault.
#pragma once

namespace automation_msg {
inline constexpr wchar_t Param1Invalid[] = L"Parameter #1 invalid.";
inline constexpr wchar_t Param2Invalid[] = L"Parameter #2 invalid.";
inline constexpr wchar_t BlankGroupName[] = L"Blank group name.";
inline constexpr wchar_t GroupNameTooLong[] = L"Group name too long.";
inline constexpr wchar_t IllegalGroupName[] = L"Illegal group name.";
inline constexpr wchar_t OutOfMemory[] = L"Out of memory.";
inline constexpr wchar_t NoSuchLabel[] = L"Target label does not exist.";
inline constexpr wchar_t JumpIntoBlock[] = L"A Goto/Gosub must not jump into a block that doesn't enclose it.";
inline constexpr wchar_t IllegalVariableName[] = L"The following variable name contains an illegal character:";
}  // namespace automation_msg
