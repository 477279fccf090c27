// Directives: "#" lines acted on while the script loads. Each directive is a
// row of a table; a name not in the table is not a directive and the line is
// parsed as a command.
//
// Most directives act when the parser reaches their logical line. Those that
// change how the following text is read ("#CommentFlag", "#Include" and
// "#IncludeAgain") act as soon as the reader has their line, before it reads
// ahead.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "script/script_reader.h"

enum class DirectiveResult { Handled, NotADirective, Failed };

// Load-error messages of the directives (the parameter messages they share
// with the parser are in script/messages.h).
namespace directive_msg {
inline constexpr wchar_t LiteralCommasAndPercents[] = L"Literal commas and percent signs must be escaped (e.g. `%)";
inline constexpr wchar_t IncludeFileCannotBeOpened[] = L"#Include file \"%s\" cannot be opened.";
inline constexpr wchar_t IncludeLibraryNotFound[] = L"#Include library <%s> cannot be found.";
inline constexpr wchar_t IncludeNestedTooDeep[] = L"#Include files are nested too deeply.";
inline constexpr wchar_t TooManyIncludeFiles[] = L"Too many #Include files.";
}  // namespace directive_msg

// Carries out the directive on the line, if it is one. On Failed the error
// has been reported (with the line as its detail).
DirectiveResult ApplyDirective(std::wstring_view line);

// The reader's hook: carries out the directives that act before the reader
// reads on, and tells the reader whether the parser still gets the line.
EarlyDirective ApplyEarlyDirective(std::wstring_view line);

// Longest comment flag "#CommentFlag" accepts.
inline constexpr size_t kMaxCommentFlagLength = 15;
// Longest set of hotstring end characters "#Hotstring EndChars" accepts.
inline constexpr size_t kMaxHotstringEndChars = 100;
// The end characters a hotstring waits for until "#Hotstring EndChars"
// replaces them.
inline constexpr wchar_t kDefaultHotstringEndChars[] = L"-()[]{}:;'\"/\\,.?!\n \t";

// Warning kinds and modes of "#Warn".
enum WarnKind : int {
  WARN_USE_UNSET_LOCAL,
  WARN_USE_UNSET_GLOBAL,
  WARN_LOCAL_SAME_AS_GLOBAL,
  WARN_USE_ENV,
  WARN_CLASS_OVERWRITE,
  WARN_KIND_COUNT
};
enum WarnMode : uint8_t { WARN_MODE_OFF = 0, WARN_MODE_OUTPUTDEBUG = 1, WARN_MODE_MSGBOX = 2, WARN_MODE_STDOUT = 3 };

// What "#Hotstring" sets, kept for the hotstring recogniser.
struct HotstringDirectives {
  std::wstring EndChars = kDefaultHotstringEndChars;
  bool ResetOnMouseClick = true;  // "NoMouse" clears it
  // Positional: the option texts of the "#Hotstring" lines read so far,
  // in order and separated by spaces, so that reading them left to right
  // gives the default options of the hotstrings defined at this point.
  std::wstring DefaultOptions;
};

// Process-wide options set by directives; each keeps its default until a
// directive changes it. Written only while the script loads; read after.
// The one record is ScriptState's Directives (Loader().Directives).
struct DirectiveSettings {
  bool NoTrayIcon = false;
  bool InstallKeybdHook = false;
  bool InstallMouseHook = false;
  bool UseHook = false;  // positional
  int IfTimeout = 1000;
  int HotkeyModifierTimeout = 50;
  int HotkeyInterval = 2000;
  int MaxHotkeysPerInterval = 70;
  int MaxThreadsPerHotkey = 1;    // positional
  bool MaxThreadsBuffer = false;  // positional
  int MaxThreads = 10;
  int ClipboardTimeout = 1000;
  bool WinActivateForce = false;
  int KeyHistory = 40;
  int InputLevel = 0;  // positional
  WarnMode Warn[WARN_KIND_COUNT] = {};
  HotstringDirectives Hotstring;
};

// Splits the parameter of an "#IfWin" directive into window title and
// window text: the title ends at the first unescaped delimiter, the title is
// right-trimmed and the text left-trimmed, and escape sequences are
// converted in both. Returns false when a second unescaped delimiter or an
// unescaped dereference character occurs (they must be escaped).
bool SplitWindowCriterion(std::wstring_view param, std::wstring& title, std::wstring& text);
