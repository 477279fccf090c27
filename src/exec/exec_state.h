// ExecState: what the execution layer keeps between lines: the expansion buffers of nested lines, the ListLines ring,
// the command dispatch table the subsystems fill at start-up, and the hooks through which upper layers serve the
// execution loop (message checks, function returns, the exit sequence, error callbacks).
//
// Invariants: Commands holds one implementation per action at most; a null
// row is a command this build does not implement. Only the script thread
// touches any of it.
#pragma once
#include <windows.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/command_table.h"
#include "exec/command_args.h"

struct ScriptLine;

// The wait of ExecHooks::PumpMessages that asks for one pass of the
// message loop's default length.
inline constexpr int kPumpDefaultPass = -1;

// How many quick lines may run between two message checks.
inline constexpr int kQuickLinesPerCheck = 16;

// How many lines the ListLines ring keeps.
inline constexpr int kListLinesRingSize = 400;

struct LoggedLine {
  ScriptLine* Line = nullptr;
  DWORD Tick = 0;
};

// Services of upper layers the execution loop calls; each is installed once
// at start-up by the layer that owns it, and null until then.
struct ExecHooks {
  // Between lines: looks for messages and due timers, rests when the batch
  // is used up; returns the tick count it read (the message loop).
  uint32_t (*CheckMessagesBetweenLines)() = nullptr;
  // Return with a value inside a function (the function-call code).
  ResultCode (*DeliverReturnValue)(ScriptLine& line, std::wstring& buffer) = nullptr;
  // ExitApp and the other exit paths (the exit sequence).
  ResultCode (*ExitApp)(int reason, int exitCode, bool codeGiven) = nullptr;
  // The main window, for timers of the execution layer (the main window).
  HWND (*MainWindow)() = nullptr;
  // OnError callbacks: whether any is registered, and calling them with the
  // thrown value; true when one asked to skip the error dialog (app).
  bool (*HasErrorFunctions)() = nullptr;
  bool (*CallErrorFunctions)() = nullptr;
  // Shows the ListLines view of the main window (app).
  void (*ShowLinesView)() = nullptr;
  // Runs the message loop while a command waits: for waitMs milliseconds,
  // or one pass of the default length for kPumpDefaultPass; returns whether
  // another thread ran meanwhile (the message loop).
  bool (*PumpMessages)(int waitMs) = nullptr;
  // Runs the message loop once for its short default interval, so that a
  // command that waits (ClipWait, the clipboard's open retries) lets
  // messages through; new threads may start only when allowed (app).
  void (*PumpMessagesOnce)(bool allowNewThreads) = nullptr;
};

struct ExecState {
  // Expansion buffers, one per nesting depth of lines being executed, so
  // that a line run while another waits never overwrites the texts the
  // waiting line's command still reads. Grown by each new depth, kept for
  // reuse; large ones are freed by timer 13.
  std::vector<std::wstring*> ExpansionBuffers;
  size_t ExpansionDepth = 0;
  bool FreeBuffersTimerSet = false;

  // The ring of recently executed lines, written by LogLine.
  LoggedLine Ring[kListLinesRingSize];
  int RingNext = 0;

  // Command implementations by action, filled from the subsystems' rows.
  std::array<CommandFunction, kActionCount> Commands{};

  ExecHooks Hooks;

  // Lines that may still start without the message check: set by the check
  // when the thread allows it (interruptible, batches by time), cleared by
  // every line that took the general path. Only quick lines (arithmetic,
  // plain assignments, braces) run between two checks, so the check's
  // timing stays that of a few short lines.
  int QuickLinesLeft = 0;
  // The tick count the last check read, logged for the lines that skip it.
  uint32_t LastCheckTick = 0;

  ExecState() = default;
  ExecState(const ExecState&) = delete;
  ExecState& operator=(const ExecState&) = delete;
};

namespace state_detail {
// The one instance; reach it through Exec().
extern ExecState exec;
}  // namespace state_detail

inline ExecState& Exec() { return state_detail::exec; }

// The name of the first hook the execution loop calls on every line or
// Return or Exit that nobody installed, or null when all are there; the
// application refuses to run a script without them.
const wchar_t* MissingExecHook();

// Puts the execution layer back to its state before start-up: no current
// line, an empty ring, no commands and no hooks. Buffers are kept.
void ResetExecState();
