// ThreadSettings: the per-thread settings record every script pseudo-thread
// starts from a copy of, the process-wide defaults record, and the pointer
// to the record of the thread that is running now.
//
// This is the subset values need (the number formats); the message loop adds
// the remaining fields. Invariants: Values().CurrentThread is never null;
// FloatFormatText always holds a format that IsValidFloatFormat accepts;
// IntegerFormatChar is 'D', 'h' or 'H'.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/result_code.h"

// Room for the float format: "%", a SetFormat text of up to 29 characters,
// the "." and "f" added to it, and the terminator.
inline constexpr size_t kFloatFormatChars = 33;
// SetFormat float texts of this length or more are ignored.
inline constexpr size_t kFloatFormatTextLimit = 30;
// Largest precision plus format length a float format may have, so that its
// text stays within the fixed float-text buffers.
inline constexpr size_t kFloatPrecisionLimit = 255;

struct FieldValue;
struct CallFrame;
// The current items of the file, registry and read loops; the execution
// layer defines them.
struct LoopFileRecord;
struct LoopRegItem;
struct LoopReadRecord;

// Exception-mode bits of a thread.
enum : uint8_t {
  EXCEPTION_MODE_TRY = 0x01,     // inside a Try body
  EXCEPTION_MODE_CATCH = 0x02,   // a Catch will handle a thrown value
  EXCEPTION_MODE_DELETE = 0x04,  // running a __Delete meta-function
};

struct ThreadSettings {
  int64_t BatchLineLimit = -1;  // lines before resting; -1 = no line limit
  int32_t BatchTimeLimit = 10;  // milliseconds before resting; -1 = never rest

  // Loop state: the counter (A_Index) and the current parse-loop field.
  int64_t LoopIndex = 0;
  const wchar_t* LoopField = nullptr;
  // The thread's current label (A_ThisLabel): the label that started the
  // thread or was last reached by Goto or Gosub; null when none. Written by
  // the jump code and by the thread launchers.
  const wchar_t* CurrentLabel = nullptr;
  // The innermost file, registry and read loop's current item; null outside
  // such a loop. Set by the loop runners, which restore the outer value.
  const LoopFileRecord* LoopFile = nullptr;
  const LoopRegItem* LoopReg = nullptr;
  LoopReadRecord* LoopRead = nullptr;

  wchar_t FloatFormatText[kFloatFormatChars] = L"%0.6f";
  // 'D' decimal, 'h' lower-case or 'H' upper-case hexadecimal.
  char IntegerFormatChar = 'D';
  uint8_t CaseSensitivity = 0;  // StringCaseSense: 0 off, 1 on, 2 locale
  bool TrimArgs = true;         // AutoTrim
  bool LogLines = true;         // ListLines On/Off
  uint32_t FileCodePage = 0;    // FileEncoding: code page, bit 31 = no byte-order mark; 0 = system ANSI
  uint32_t LastErrorCode = 0;   // A_LastError
  uint32_t RegistryView = 0;    // SetRegView: 0, KEY_WOW64_32KEY or KEY_WOW64_64KEY, OR-ed into registry access
  // CoordMode: a 2-bit mode (0 Window, 1 Client, 2 Screen) per target, at
  // bit 0 Pixel, 2 Mouse, 4 ToolTip, 6 Caret, 8 Menu.
  uint16_t CoordModes = 0;

  // Interruption state.
  int32_t Priority = 0;
  int32_t LinesWhileProtected = 0;
  uint32_t ProtectStart = 0;  // tick count when the thread became uninterruptible
  int32_t ProtectSpan = 0;    // ms of uninterruptibility; -1 = until the line limit
  int32_t MessageCheckInterval = 5;
  bool Interruptible = true;
  bool TimersAllowed = true;
  bool IsCriticalThread = false;
  bool Paused = false;

  // Window matching and window commands: written by SetTitleMatchMode,
  // DetectHiddenWindows/Text, SetWinDelay, SetControlDelay and CoordMode;
  // the last found window by the window searches (none when a thread starts).
  uint8_t TitleMatchMode = 1;  // 1 starts with, 2 contains, 3 equals, 4 RegEx
  bool TitleFindFast = true;   // Fast reads control text directly, Slow sends WM_GETTEXT
  bool DetectHiddenWindows = false;
  bool DetectHiddenText = true;
  int32_t WinDelay = 100;           // ms after a window command; negative = none
  int32_t ControlDelay = 20;        // ms after a control command; negative = none
  void* LastFoundWindow = nullptr;  // an HWND

  // Exception state: the mode bits and the thrown value (a heap record the
  // thread owns; null when nothing is pending).
  uint8_t ExceptionMode = 0;
  FieldValue* Thrown = nullptr;

  // The innermost script-function call this thread is running; null at
  // the thread's own level.
  CallFrame* CurrentCall = nullptr;

  // Dialogs: the button of the thread's last MsgBox (what IfMsgBox tests;
  // -2 when it timed out, 0 before any). Written by the MsgBox command.
  int32_t MsgBoxResult = 0;
  // GUI context, kept by the GUI subsystem and opaque here: the serial
  // number of the thread's default Gui window and of its dialog owner (0 =
  // none), and the event a GUI thread was started for (null for others).
  uint32_t GuiDefaultWindow = 0;
  uint32_t GuiDialogOwner = 0;
  const void* GuiEvent = nullptr;
  // Event information a handler gave the thread for as long as it runs
  // (a regex callout: the address of its callout block); 0 when none, and
  // A_EventInfo then shows the GUI event's. Written by the handler, which
  // puts the previous value back when it returns.
  int64_t EventInfo = 0;

  // Carries out SetFormat: kind begins with "Float" or "Integer" (any case).
  // Fail on an unusable float format or an unknown kind.
  ResultCode ApplySetFormat(std::wstring_view kind, std::wstring_view format);
};

// The values each new thread starts with. Written by the auto-execute
// section's settings hand-over (message loop) and by tests; read when a
// thread starts.

// The running thread's record. Points at a record of its own until the
// message loop allocates the per-thread array when the auto-execute section
// starts; from then on BeginThread and EndThread move it.
