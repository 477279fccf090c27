// The GUI subsystem's fixed texts: error messages, notices and default
// titles, in one place.
#pragma once

namespace gui_msg {
// Gui windows.
inline constexpr wchar_t InvalidGuiName[] = L"Invalid Gui name.";
inline constexpr wchar_t Param1Invalid[] = L"Parameter #1 invalid.";
inline constexpr wchar_t Param2Invalid[] = L"Parameter #2 invalid.";
inline constexpr wchar_t Param3Invalid[] = L"Parameter #3 invalid.";
inline constexpr wchar_t InvalidOption[] = L"Invalid option.";
inline constexpr wchar_t InvalidOwner[] = L"Invalid or nonexistent owner or parent window.";
inline constexpr wchar_t MenuDoesNotExist[] = L"Menu does not exist.";
inline constexpr wchar_t TabNameMissing[] = L"Tab name doesn't exist yet.";
inline constexpr wchar_t TooManyFonts[] = L"Too many fonts.";
inline constexpr wchar_t CantCreateFont[] = L"Can't create font.";
inline constexpr wchar_t CouldNotCreateWindow[] = L"Could not create window.";
inline constexpr wchar_t OutOfMemory[] = L"Out of memory.";
inline constexpr wchar_t RegClass[] = L"RegClass";
inline constexpr wchar_t MenusNotBuilt[] = L"Menus are not supported by this version yet.";
// Controls.
inline constexpr wchar_t TooManyControls[] = L"Too many controls.";
inline constexpr wchar_t TooManyTabControls[] = L"Too many tab controls.";
inline constexpr wchar_t TooManyStatusBars[] = L"Too many status bars.";
inline constexpr wchar_t TargetLabelMissing[] = L"Target label does not exist.";
inline constexpr wchar_t NoSubroutineAllowed[] = L"This control type should not have an associated subroutine.";
inline constexpr wchar_t VariableNotGlobal[] = L"A control's variable must be global or static.";
inline constexpr wchar_t VariableUsedTwice[] = L"The same variable cannot be used for more than one control.";
inline constexpr wchar_t UnregisteredClass[] = L"Unregistered window class.";
inline constexpr wchar_t ClassRequired[] = L"A window class is required.";
inline constexpr wchar_t CantCreateControl[] = L"Can't create control.";
// Standard dialogs.
inline constexpr wchar_t MaxMsgBoxes[] = L"The maximum number of MsgBoxes has been reached.";
inline constexpr wchar_t MaxInputBoxes[] = L"The maximum number of InputBoxes has been reached.";
inline constexpr wchar_t InputBoxNotShown[] = L"The InputBox window could not be displayed.";
inline constexpr wchar_t MaxFileDialogs[] = L"The maximum number of File Dialogs has been reached.";
inline constexpr wchar_t MaxFolderDialogs[] = L"The maximum number of Folder Dialogs has been reached.";
inline constexpr wchar_t MaxToolTip[] = L"Max window number is 20.";
inline constexpr wchar_t PressOk[] = L"Press OK to continue.";
inline constexpr wchar_t SelectFileTitle[] = L"Select File - ";
inline constexpr wchar_t SelectFolderTitle[] = L"Select Folder - ";
inline constexpr wchar_t AllFiles[] = L"All Files (*.*)";
}  // namespace gui_msg
