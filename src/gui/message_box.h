// The message box the interpreter uses for its own notices and errors.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

// The title used when a dialog's title is empty: the script's file name, or
// the product name and version when even that is unknown.
std::wstring DefaultDialogTitle();

// Shows a message box owned by no window; an empty title means the default.
// Returns the button pressed (IDOK, IDYES, ...) or 0 when it could not show.
int ShowMessageBox(std::wstring_view text, UINT type, std::wstring_view title = {});
