// Gui windows: the Gui command and what its parts share: finding a window
// by name, handle or the thread's default, creating and destroying windows,
// DPI scaling, the font table, colours and the window options.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <string_view>

#include "base/result_code.h"
#include "exec/command_args.h"
#include "gui/gui_state.h"

struct ScriptLine;

// The Gui command.
ResultCode CmdGui(ScriptLine& line, CommandArgs& args);

// Reports a run-time error of the line and returns Fail.
ResultCode GuiFail(ScriptLine& line, std::wstring_view message, std::wstring_view extra = {});

// The script window whose handle this is, or null.
std::shared_ptr<GuiWindow> FindGuiByHwnd(HWND hwnd);
// The script window of that name (any case), or null.
std::shared_ptr<GuiWindow> FindGuiByName(std::wstring_view name);
// The script window a control handle belongs to, and the control's index.
std::shared_ptr<GuiWindow> FindGuiOfControl(HWND control, int& index);
// The window with that serial number, or null.
std::shared_ptr<GuiWindow> FindGuiBySerial(uint32_t serial);

// A size given by the script in the window's units, in pixels (MulDiv by
// DPI/96 when the window scales).
int ScaleSize(const GuiWindow& window, int value);
// Pixels back to the script's units.
int UnscaleSize(const GuiWindow& window, int value);

// Creates the record's window (hidden); resolves the event handlers first.
ResultCode CreateGuiWindow(ScriptLine& line, GuiWindow& window);
// Destroys the window and its owned windows and frees what the record holds.
void DestroyGuiWindow(const std::shared_ptr<GuiWindow>& window);
// Destroys every window (program exit, interpreter reset).
void DestroyAllGuiWindows();
// The handler of that name: a label, or a function requiring at most
// maxRequired parameters; null when there is neither.
std::shared_ptr<ScriptCallback> FindHandler(std::wstring_view name, int maxRequired);
// WM_DESTROY of a window not destroyed by DestroyGuiWindow: frees its record.
void ReleaseDestroyedWindow(HWND hwnd);
// Looks up the Close, Escape, Size, ContextMenu and DropFiles handlers.
void ResolveWindowHandlers(GuiWindow& window);
// The default handler-name prefix of a window ("Gui" or "NameGui").
std::wstring DefaultHandlerPrefix(const GuiWindow& window);

// Stores a window handle in the variable of that name as "0x" hex text.
ResultCode AssignHandleVariable(ScriptLine& line, std::wstring_view name, HWND hwnd);
// A handle as the language writes it: "0x" and lower-case hexadecimal.
std::wstring GuiHandleText(HWND hwnd);

// Reads a colour name or RRGGBB hexadecimal text; false when it is neither.
bool ParseColor(std::wstring_view text, COLORREF& color);

// The font table entry 0 (the default GUI font), made on first use.
void EnsureDefaultFont();
// Applies "Gui, Font": derives the window's current font.
ResultCode ApplyFontCommand(ScriptLine& line, GuiWindow& window, std::wstring_view options, std::wstring_view face);

// Applies a window-option list ("+Resize -Caption ..."). The window may not
// exist yet; `created` tells whether it does.
ResultCode ApplyWindowOptions(ScriptLine& line, GuiWindow& window, std::wstring_view options);

// Gui, Show.
ResultCode ShowGuiWindow(ScriptLine& line, GuiWindow& window, std::wstring_view options, std::wstring_view title);

// Gui, Submit: stores every control's value in its variable.
ResultCode SubmitGuiWindow(GuiWindow& window);
// Stores one control's value in its variable as Submit would (an event
// that updates the variable before the handler runs).
ResultCode StoreControlValue(const GuiWindow& window, const GuiControlInfo& control);

// Whether text is a whole number in decimal or 0x hexadecimal.
bool IsWholeNumber(std::wstring_view text);
// The number text holds (decimal or 0x hex); 0 for other text.
long long NumberOf(std::wstring_view text);
