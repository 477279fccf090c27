// The script layer's one state record.
#include "script/script_state.h"

namespace state_detail {
ScriptState loader;
}  // namespace state_detail

DeclarationHooks& Declarations() { return Loader().Declarations; }

void ResetScriptState() { Loader() = ScriptState{}; }
