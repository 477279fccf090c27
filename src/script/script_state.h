// ScriptState: what the script layer (the loader) keeps besides the loaded
// script itself, which lives in ScriptContext: the options the directives
// set, the parser's and the include reader's progress through the load in
// hand, the end-of-script mark the block linker hands out, and the hooks
// through which the object layer's declarations code joins the line parser.
//
// Invariants: everything but Directives and EndOfScript is load-time working
// state, meaningful only while a load runs. EndOfScript keeps its address
// for the life of the process (linked lines point at it); a reset changes
// its contents back to the default they never leave. Only the script thread
// touches any of it.
#pragma once
#include <optional>
#include <string_view>

#include "base/script_line.h"
#include "script/declaration_hooks.h"
#include "script/directives.h"
#include "script/include_files.h"
#include "script/line_parser.h"

struct ScriptState {
  DeclarationHooks Declarations;  // installed by the object layer at start-up

  // Options set by directives: written while the script loads, read by the
  // application and the subsystems afterwards.
  DirectiveSettings Directives;
  // The directive line being carried out, the detail of its error reports:
  // set by the directive code for the duration of one directive (restored
  // after it, since an included file's directives nest).
  std::wstring_view DirectiveLine;

  // The include folder and nesting depth: written by the include reader,
  // from the start of the main script's text to its end.
  IncludeState Includes;

  // A "name(...)" line the line parser holds back until the next line tells
  // whether it opens a function body; set and taken by the line parser.
  std::optional<PendingLine> HeldLine;

  // The mark the block linker returns in place of a line once the whole
  // script is linked; jump links of the last statements point at it. Never
  // written: a default record whose address is the mark.
  ScriptLine EndOfScript;
};

namespace state_detail {
// The one instance; reach it through Loader().
extern ScriptState loader;
}  // namespace state_detail

inline ScriptState& Loader() { return state_detail::loader; }

// Puts the script layer back to its state before start-up: default
// directive settings, no load in progress, no hooks. EndOfScript keeps its
// address.
void ResetScriptState();
