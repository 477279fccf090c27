// The loaded script: script lines with their argument records, and labels.
//
// Records are made while loading and live until the process ends; pointers
// between them (line to line, label to line, argument to variable) never
// dangle. Lines are chained in source order; block linking adds the parent
// (EnclosingLine) and jump (TargetLine) links that execution relies on.
#pragma once
#include <cstdint>

#include "base/command_table.h"

class Variable;
struct ScriptLine;

// A variable reference in a normal argument: the name between two
// dereference characters, located by its offset in the argument's text.
struct DerefEntry {
  uint16_t Offset;  // of the opening dereference character
  uint16_t Length;  // of the whole reference, both characters included
  Variable* Var;
};

struct ArgRecord {
  uint8_t Kind = ARG_TYPE_NORMAL;  // normal, input variable or output variable
  bool ExprFlag = false;           // an expression, compiled before the script runs
  uint16_t ContentLength = 0;
  const wchar_t* Content = L"";  // the text after escape processing
  // Normal argument: its variable references, ending with an entry whose
  // Var is null; null when there are none.
  DerefEntry* RefList = nullptr;
  // Variable argument resolved at load time (then Content is empty).
  Variable* ResolvedVar = nullptr;
  void* CompiledForm = nullptr;  // the compiled expression
  // Expression argument: marks the characters that came from escape
  // sequences (so an escaped "%" or quote is not syntax); null when none.
  const uint8_t* LiteralMask = nullptr;
};

// A label: a name for the line that follows its definition.
struct Label {
  const wchar_t* Name = L"";
  ScriptLine* MarkedLine = nullptr;
  Label* PreviousLabel = nullptr;
  Label* NextLabel = nullptr;
  bool ForHotkey = false;
};

struct ScriptLine {
  ActionType CommandIndex = ACT_INVALID;
  uint8_t ArgTotal = 0;
  uint16_t SourceIndex = 0;
  int32_t SourceLine = 0;
  ArgRecord* ArgList = nullptr;
  intptr_t Extra = 0;              // loop kind, function-body mark, Gosub's leaves-function flag
  Label* TargetLabel = nullptr;    // Goto, Gosub: the resolved label
  void* ResolvedCallee = nullptr;  // SetTimer, Hotkey, OnExit: the resolved label or function
  ScriptLine* PreviousLine = nullptr;
  ScriptLine* FollowingLine = nullptr;
  ScriptLine* TargetLine = nullptr;
  ScriptLine* EnclosingLine = nullptr;
  // Which quick path the line's shape allows, worked out on its first run
  // (0 until then); only the execution loop reads and writes it.
  uint8_t QuickShape = 0;
};

// Loop kinds held in a loop line's Extra.
enum LoopKind : intptr_t {
  LOOP_UNDECIDED = 1,  // a Loop whose kind is decided when it runs
  LOOP_COUNT = 2,
  LOOP_FILES_LEGACY = 3,
  LOOP_REG_LEGACY = 4,
  LOOP_READ = 5,
  LOOP_PARSE = 6,
  LOOP_WHILE = 7,
  LOOP_FOR = 8,
  LOOP_REG = 9,
  LOOP_FILES = 10,
};

// Extra of a SetTimer line whose ResolvedCallee is a function, not a label.
constexpr intptr_t kCalleeIsFunction = 2;
// Extra of the "{" and "}" lines of a function body.
constexpr intptr_t kFunctionBodyMark = 1;
// Jump context of a body inside a Finally that is itself inside a loop.
constexpr intptr_t kJumpContextFinally = 100;
