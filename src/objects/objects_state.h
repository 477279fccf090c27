// ObjectsState: what the object layer keeps: the built-in function families
// the subsystems registered, and the function whose body the loader is
// reading.
//
// Invariants: Families is filled at start-up, before the script loads, and
// never changes afterwards (Func records point into its rows).
#pragma once
#include <vector>

#include "objects/builtin_functions.h"

class Func;

struct ObjectsState {
  // Built-in function families, in registration order; a name found in an
  // earlier family wins.
  std::vector<BuiltInFamily> Families;
  // The function whose body is being parsed; null outside function bodies.
  // Written by the declarations code while loading.
  Func* FunctionBeingDefined = nullptr;
};

namespace state_detail {
// The one instance; reach it through Objects().
extern ObjectsState objects;
}  // namespace state_detail

inline ObjectsState& Objects() { return state_detail::objects; }

// Puts the object layer back to its state before start-up.
void ResetObjectsState();
