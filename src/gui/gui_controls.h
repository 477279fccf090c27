// Gui controls: "Gui, Add" (types, options, automatic layout), creating a
// control's window and the control-name lookup.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

#include "base/result_code.h"
#include "gui/gui_state.h"

struct ScriptLine;

// Adds a control of the type the word names to the window.
ResultCode AddGuiControl(ScriptLine& line, GuiWindow& window, std::wstring_view typeWord, std::wstring_view options,
                         std::wstring_view text);
// The index of the control a name addresses (its variable's name, its
// handle, or its text), or -1.
int FindControlByName(const GuiWindow& window, std::wstring_view name);
// What CreateWindowExW needs to make one control.
struct CreateRequest {
  DWORD ExStyle;
  const wchar_t* ClassName;
  const wchar_t* Text;
  DWORD Style;
  RECT Place;  // in the parent's client coordinates
  HWND Parent;
  int Id;
};
// Creates a control's window; null on failure.
HWND CreateControlWindow(const CreateRequest& request);
// The window text of a control.
std::wstring ControlText(HWND hwnd);
