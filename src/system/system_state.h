// SystemState: what the system subsystem (files, registry, processes, the
// clipboard) keeps between commands.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "objects/callbacks.h"
#include "system/file_append.h"

// The credentials RunAs sets for later launches; in force while any is
// non-empty.
struct RunAsCredentials {
  std::wstring User, Password, Domain;
};

// The clipboard object: whether it is open, the text a sizing read of
// `Clipboard` measured (handed out by the text read that follows), and the
// change watch. Written only by the clipboard code.
struct ClipboardState {
  bool IsOpen = false;
  std::wstring PendingText;
  bool HasPendingText = false;

  // Change notification: on while the script has a change label or
  // functions; by format listener when the system has one, else by the
  // viewer chain (then NextViewer is the window after ours).
  bool Listening = false;
  bool UsesListener = false;
  HWND NextViewer = nullptr;
  // The functions OnClipboardChange registered, in calling order.
  std::vector<std::unique_ptr<ScriptCallback>> ChangeFunctions;
  // The script's "OnClipboardChange" label, found after loading.
  ScriptCallback ChangeLabel;
  // Set while the handlers of one change run.
  bool HandlersRunning = false;
};

struct SystemState {
  // Finds the innermost running read loop's output; installed by the read
  // loops, null while none can run.
  ReadLoopOutputLookup ReadLoopOutput = nullptr;
  // Written by RunAs, read by every launch.
  RunAsCredentials RunAs;
  ClipboardState Clipboard;
};

namespace state_detail {
// The one instance; reach it through System().
extern SystemState system;
}  // namespace state_detail

inline SystemState& System() { return state_detail::system; }
