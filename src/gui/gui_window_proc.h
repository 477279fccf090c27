// The script windows' procedure, their events (posted as kMsgGuiAction and
// run as script threads), keyboard navigation in the message loop, and the
// built-in variables an event thread reads.
#pragma once
#include <windows.h>

#include <span>

#include "values/builtin_vars.h"

// The window procedure of the QuorivanceGUI class.
LRESULT CALLBACK GuiWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// The message-loop filter: runs posted GUI events and gives GUI windows
// their keyboard navigation. True when the message was consumed.
bool GuiMessageFilter(MSG& msg);

// A_Gui, A_GuiControl, A_GuiEvent, A_EventInfo, A_GuiX, A_GuiY,
// A_GuiWidth, A_GuiHeight.
std::span<const BuiltInVarDef> GuiVariables();
