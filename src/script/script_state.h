// ScriptState: what the script layer (the loader) keeps besides the loaded
// script itself, which lives in ScriptContext: the hooks through which the
// object layer's declarations code joins the line parser.
#pragma once
#include "script/declaration_hooks.h"

struct ScriptState {
  DeclarationHooks Declarations;  // installed by the object layer at start-up
};

namespace state_detail {
// The one instance; reach it through Loader().
extern ScriptState loader;
}  // namespace state_detail

inline ScriptState& Loader() { return state_detail::loader; }

// Puts the script layer back to its state before start-up.
void ResetScriptState();
