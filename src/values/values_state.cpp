// The values layer's one state record.
#include "values/values_state.h"

#include <new>

namespace state_detail {
ValuesState values;
}  // namespace state_detail

void ResetValuesState() {
  // The arena's chunks and the compiler's arrays are plain memory that every
  // later evaluation or compile reuses, so a reset keeps them rather than
  // leaking them or freeing them under a running evaluation.
  EvalArena* arena = Values().Arena;
  ExprCompiler* compiler = Values().Compiler;
  Values().~ValuesState();
  new (&Values()) ValuesState();
  Values().Arena = arena;
  Values().Compiler = compiler;
}
