// Expressions of integers only, such as "n < 2", "i + 1" or "a * b - c":
// their operands are integer literals, A_Index and plain variables, their
// operators integer ones, their calls those of built-ins with an integer
// form (Mod, Abs). While every variable read holds an integer they
// are worked out on a few machine integers, without the general evaluator's
// frame and tokens; otherwise the general evaluator takes them, so every
// rule for text, floats and numeric strings stays in one place.
#pragma once
#include <cstddef>
#include <cstdint>

struct CompiledExpression;
struct ExprToken;

// Whether a postfix array has that shape (checked once, when compiled).
bool IsIntegerOnlyPostfix(const ExprToken* postfix, size_t count);

// The value of an integer-only expression; false, having changed nothing,
// when an operand does not hold an integer now or an operator's result is
// not one (// by zero).
bool TryIntegerValue(const CompiledExpression& form, int64_t& value);
