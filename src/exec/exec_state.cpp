// The execution layer's one state record.
#include "exec/exec_state.h"

#include <new>

namespace state_detail {
ExecState exec;
}  // namespace state_detail

const wchar_t* MissingExecHook() {
  const ExecHooks& hooks = Exec().Hooks;
  if (!hooks.CheckMessagesBetweenLines) return L"CheckMessagesBetweenLines";
  if (!hooks.DeliverReturnValue) return L"DeliverReturnValue";
  if (!hooks.ExitApp) return L"ExitApp";
  return nullptr;
}

void ResetExecState() {
  // Expansion buffers may still be in use by a line that is waiting (the
  // caller resets between scripts, never inside one), and they are reused
  // rather than freed.
  std::vector<std::wstring*> buffers = std::move(Exec().ExpansionBuffers);
  Exec().~ExecState();
  new (&Exec()) ExecState();
  Exec().ExpansionBuffers = std::move(buffers);
}
