// The one ScriptContext instance.
#include "base/script_context.h"

namespace state_detail {
ScriptContext script;
}  // namespace state_detail

void ResetScriptContext() { state_detail::script = ScriptContext{}; }
