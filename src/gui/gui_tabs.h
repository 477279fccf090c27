// Tab controls of script windows: which Tab control and page new controls go
// into ("Gui, Tab"), showing only the selected page, the page dialog of a
// Tab3 and its automatic sizing, and owner-drawn tabs for colours.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

#include "base/result_code.h"
#include "gui/gui_state.h"

struct ScriptLine;

// "Gui, Tab": chooses the Tab control and page new controls go into.
ResultCode SelectTabForAdding(ScriptLine& line, GuiWindow& window, std::wstring_view page, std::wstring_view tabNumber,
                              std::wstring_view exact);
// The index of the control that is the n-th Tab control (0-based), or -1.
int TabControlAt(const GuiWindow& window, size_t tabNumber);
// Whether any control is on that page of that Tab control.
bool PageHasControls(const GuiWindow& window, uint8_t tab, uint8_t page);
// The display area of the n-th Tab control, in the window's client coordinates.
RECT TabDisplayArea(const GuiWindow& window, uint8_t tab);
// The text of one tab of a Tab control.
std::wstring TabItemText(HWND tab, int item);

// The window a control on that Tab control's pages gets as its parent: the
// Tab3's page dialog, else the script window.
HWND TabPageParent(const GuiWindow& window, uint8_t tab);
// Whether a Tab control was added as "Tab3" (it has a page dialog).
bool IsTab3(HWND tab);
// Set-up of a new Tab control: the subclass that paints the window colour
// and moves the page dialog; for a Tab3 the page dialog and the automatic
// sizing of the sides the script did not give.
void SetUpTabControl(GuiWindow& window, GuiControlInfo& tab, bool tab3, bool autoWidth, bool autoHeight);
// Sizes an automatically sized Tab3 to fit its controls (once) and makes it
// the previous control of the layout; nothing for other Tab controls.
void AutoSizeTabControl(GuiWindow& window, uint8_t tab);

// Shows the controls of a Tab control's selected page and hides the others.
void ApplyTabPage(GuiWindow& window, size_t tabControlIndex);
// First show: every Tab control is sized to its pages and shows only its
// selected page.
void FinishTabControls(GuiWindow& window);
// WM_DRAWITEM of an owner-drawn Tab control: the tab in the window colour
// with its text in the control's colour.
void DrawTabItem(const GuiWindow& window, const GuiControlInfo& tab, const DRAWITEMSTRUCT& item);
