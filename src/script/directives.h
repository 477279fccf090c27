// Directives: "#" lines acted on while the script loads. Each directive is a
// row of a table; a name not in the table is not a directive and the line is
// parsed as a command.
#pragma once
#include <cstdint>
#include <string_view>

enum class DirectiveResult { Handled, NotADirective, Failed };

// Carries out the directive on the line, if it is one. On Failed the error
// has been reported.
DirectiveResult ApplyDirective(std::wstring_view line);

// Longest comment flag "#CommentFlag" accepts.
inline constexpr size_t kMaxCommentFlagLength = 15;

// Warning kinds and modes of "#Warn".
enum WarnKind : int { WARN_USE_UNSET_LOCAL, WARN_USE_UNSET_GLOBAL, WARN_LOCAL_SAME_AS_GLOBAL, WARN_USE_ENV,
                      WARN_CLASS_OVERWRITE, WARN_KIND_COUNT };
enum WarnMode : uint8_t { WARN_MODE_OFF = 0, WARN_MODE_OUTPUTDEBUG = 1, WARN_MODE_MSGBOX = 2, WARN_MODE_STDOUT = 3 };

// Process-wide options set by directives; each keeps its default until a
// directive changes it. Written only while the script loads; read after.
struct DirectiveSettings {
  bool NoTrayIcon = false;
  bool InstallKeybdHook = false;
  bool InstallMouseHook = false;
  bool UseHook = false;              // positional
  int IfTimeout = 1000;
  int HotkeyModifierTimeout = 50;
  int HotkeyInterval = 2000;
  int MaxHotkeysPerInterval = 70;
  int MaxThreadsPerHotkey = 1;       // positional
  bool MaxThreadsBuffer = false;     // positional
  int MaxThreads = 10;
  int ClipboardTimeout = 1000;
  bool WinActivateForce = false;
  int KeyHistory = 40;
  int InputLevel = 0;                // positional
  WarnMode Warn[WARN_KIND_COUNT] = {};
};

extern DirectiveSettings g_directives;
