// Gui controls: "Gui, Add" (types, options, automatic layout), "Gui, Tab",
// the tab-page rules and the control-name lookup.
#pragma once
#include <string>
#include <string_view>

#include "base/result_code.h"
#include "gui/gui_state.h"

struct ScriptLine;

// Adds a control of the type the word names to the window.
ResultCode AddGuiControl(ScriptLine& line, GuiWindow& window, std::wstring_view typeWord, std::wstring_view options,
                         std::wstring_view text);
// "Gui, Tab": chooses the Tab control and page new controls go into.
ResultCode SelectTabForAdding(ScriptLine& line, GuiWindow& window, std::wstring_view page, std::wstring_view tabNumber,
                              std::wstring_view exact);
// The index of the control a name addresses (its variable's name, its
// handle, or its text), or -1.
int FindControlByName(const GuiWindow& window, std::wstring_view name);
// First show: every Tab control shows only its selected page.
void FinishTabControls(GuiWindow& window);
// Shows the controls of a Tab control's selected page and hides the others.
void ApplyTabPage(GuiWindow& window, size_t tabControlIndex);
// The index of the control that is the n-th Tab control (0-based), or -1.
int TabControlAt(const GuiWindow& window, size_t tabNumber);
// The window text of a control.
std::wstring ControlText(HWND hwnd);
