// The values layer's one state record.
#include "values/values_state.h"

#include <new>

namespace state_detail {
ValuesState values;
}  // namespace state_detail

void ResetValuesState() {
  // The arena's chunks are plain memory that every later evaluation reuses,
  // so a reset keeps them rather than leaking or freeing them under a
  // running evaluation.
  EvalArena* arena = Values().Arena;
  Values().~ValuesState();
  new (&Values()) ValuesState();
  Values().Arena = arena;
}
