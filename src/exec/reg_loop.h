// The registry loop (Loop, Reg, KeyName [, Mode] and the legacy
// Loop, RootKey [, Subkey, IncludeSubkeys, Recurse]): one iteration per
// value and/or subkey of a key, its current item as the A_LoopReg...
// variables and RegRead see it.
#pragma once
#include <windows.h>

#include <string>

#include "base/result_code.h"

struct ScriptLine;
struct CommandArgs;

// Longest item name and subkey path the loop handles.
inline constexpr size_t kRegLoopNameChars = 1024;

// The registry loop's current item. Each key level owns one; it is
// published through the thread record only while the body runs.
struct LoopRegItem {
  HKEY Root = nullptr;    // the root constant: names the root (A_LoopRegKey)
  HKEY Handle = nullptr;  // what Subkey is relative to: the root or a remote connection
  bool IsRemote = false;
  std::wstring Subkey;   // the key being enumerated, relative to Handle
  std::wstring Name;     // the value's or subkey's name
  long Type = 0;         // the value's platform type, or kRegItemKey for a subkey
  FILETIME LastWrite{};  // a subkey's last-write time (UTC)
};

// Runs a registry loop; `legacy` picks the old argument layout.
ResultCode RunRegLoop(ScriptLine& loopLine, ScriptLine* untilLine, CommandArgs& args, bool legacy,
                      ScriptLine*& jumpToLine);
