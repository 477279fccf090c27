// The ComObj... built-in functions, as one family for the subsystem table.
#pragma once
#include "objects/builtin_functions.h"

BuiltInFamily ComFunctions();
