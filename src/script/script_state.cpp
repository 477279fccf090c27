// The script layer's one state record.
#include "script/script_state.h"

namespace state_detail {
ScriptState loader;
}  // namespace state_detail

DeclarationHooks& Declarations() { return Loader().Declarations; }

// Assigning a fresh record keeps the instance, and so EndOfScript's address.
void ResetScriptState() { Loader() = ScriptState{}; }
