// The single-instance rule: what a new copy of a script does when an older
// copy (the same main window class and title) is already running.
#pragma once

// Applies the rule. Returns -1 to go on starting, or the exit code this
// copy must end with (0 when it yields, 2 when the old copy would not close).
int ApplySingleInstanceRule();
