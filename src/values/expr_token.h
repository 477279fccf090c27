// Expression tokens: the symbol kinds in their fixed order with their
// precedences, the value token (`ExprToken`) that carries operands, function
// parameters and results, and the call records through which a compiled call
// reaches its function.
//
// Invariants:
// - The order of ExprSymbol is relied on by range tests: operands first;
//   post-increment/decrement right after them; close-brackets immediately
//   before open-brackets (a closer plus 3 is its opener); the assignments
//   contiguous from Assign to AssignConcat; Else, Then, Or, And adjacent; the
//   comparisons contiguous from Equal to LessOrEqual; the prefix unary
//   operators contiguous from Negate to Deref. The static_asserts below keep it.
// - An odd precedence marks an operator that associates right to left.
// - A token's second word is read only for the symbols that define it
//   (literal operands, RuntimeRef, VariableRef); writers of other symbols
//   leave it null.
// - ExprFunc records live as long as the program (operator functions are
//   static; the functions code keeps its own for the life of the script).
#pragma once
#include <cstdint>
#include <string_view>

#include "base/result_code.h"

class Variable;
class IObject;
struct DerefEntry;
struct ExprCall;
struct ExprFunc;
struct ExprToken;

// Fixed message texts of expression scanning, compiling and evaluation.
namespace expr_msg {
// Load time.
inline constexpr wchar_t MissingCloseQuote[] = L"Missing close-quote";
inline constexpr wchar_t AmbiguousDot[] = L"Ambiguous or invalid use of \".\"";
inline constexpr wchar_t IllegalChar[] = L"The leftmost character above is illegal in an expression.";
inline constexpr wchar_t TooManyRefs[] = L"Too many var/func refs.";
inline constexpr wchar_t MissingEndPercent[] =
    L"This parameter contains a variable name missing its ending percent sign.";
inline constexpr wchar_t EmptyVarRef[] = L"Empty variable reference (%%).";
inline constexpr wchar_t CharNotAllowed[] = L"This character is not allowed here.";
inline constexpr wchar_t NonexistentFunction[] = L"Call to nonexistent function.";
inline constexpr wchar_t TooLong[] = L"Expression too long";
inline constexpr wchar_t UnexpectedOpenBrace[] = L"Unexpected \"{\"";
inline constexpr wchar_t UnexpectedCloseParen[] = L"Unexpected \")\"";
inline constexpr wchar_t UnexpectedCloseBracket[] = L"Unexpected \"]\"";
inline constexpr wchar_t UnexpectedCloseBrace[] = L"Unexpected \"}\"";
inline constexpr wchar_t TooManyParams[] = L"Too many parameters passed to function.";
inline constexpr wchar_t TooFewParams[] = L"Too few parameters passed to function.";
inline constexpr wchar_t MissingKey[] = L"Missing \"key:\" in object literal.";
inline constexpr wchar_t BlankParam[] = L"Blank parameter";
inline constexpr wchar_t UnsupportedMethodCall[] = L"Unsupported method call syntax.";
inline constexpr wchar_t ElseWithoutThen[] = L"A \":\" is missing its \"?\"";
inline constexpr wchar_t MissingParenBeforeColon[] = L"Missing \")\" before \":\"";
inline constexpr wchar_t MissingBracketBeforeColon[] = L"Missing \"]\" before \":\"";
inline constexpr wchar_t MissingBraceBeforeColon[] = L"Missing \"}\" before \":\"";
inline constexpr wchar_t MissingParen[] = L"Missing \")\"";
inline constexpr wchar_t MissingBracket[] = L"Missing \"]\"";
inline constexpr wchar_t MissingBrace[] = L"Missing \"}\"";
inline constexpr wchar_t OutOfMemory[] = L"Out of memory.";
// Run time: what this version cannot do yet.
inline constexpr wchar_t ObjectsUnsupported[] = L"Objects are not supported by this version yet.";
inline constexpr wchar_t RegExUnsupported[] = L"Regular expressions are not supported by this version yet.";
inline constexpr wchar_t FunctionUnavailable[] = L"This function is not available in this version yet.";
}  // namespace expr_msg

enum class ExprSymbol : int32_t {
  String,  // quoted literal, or a text result
  Integer,
  Float,
  Omitted,      // a parameter left out of a call
  VariableRef,  // a variable used as itself
  RawWord,      // unquoted word or number text; numeric text counts as a number
  ObjectRef,
  RuntimeRef,  // a variable read at run time, or a double-deref chunk
  StackBottom,
  PostIncrement,
  PostDecrement,
  Member,  // x.name without a call
  CloseParen,
  CloseBracket,
  CloseBrace,
  OpenParen,
  OpenBracket,
  OpenBrace,
  Comma,
  Assign,
  AssignAdd,
  AssignSubtract,
  AssignMultiply,
  AssignDivide,
  AssignFloorDivide,
  AssignBitOr,
  AssignBitXor,
  AssignBitAnd,
  AssignShiftLeft,
  AssignShiftRight,
  AssignConcat,
  Else,
  Then,
  Or,
  And,
  WordNot,
  Equal,
  EqualExact,
  NotEqual,
  Greater,
  Less,
  GreaterOrEqual,
  LessOrEqual,
  Concat,
  BitOr,
  BitXor,
  BitAnd,
  ShiftLeft,
  ShiftRight,
  Add,
  Subtract,
  Multiply,
  Divide,
  FloorDivide,
  Negate,
  Not,
  BitNot,
  Address,
  Deref,
  Power,
  PreIncrement,
  PreDecrement,
  Call,
  New,
  RegExMatch,
  End,
};

// The numbering is part of the contract (range tests, operator codes).
static_assert(static_cast<int>(ExprSymbol::StackBottom) == 8);
static_assert(static_cast<int>(ExprSymbol::PostIncrement) == 9 && static_cast<int>(ExprSymbol::PostDecrement) == 10);
static_assert(static_cast<int>(ExprSymbol::CloseParen) + 3 == static_cast<int>(ExprSymbol::OpenParen));
static_assert(static_cast<int>(ExprSymbol::CloseBrace) + 3 == static_cast<int>(ExprSymbol::OpenBrace));
static_assert(static_cast<int>(ExprSymbol::Assign) == 19 && static_cast<int>(ExprSymbol::AssignConcat) == 30);
static_assert(static_cast<int>(ExprSymbol::Else) == 31 && static_cast<int>(ExprSymbol::And) == 34);
static_assert(static_cast<int>(ExprSymbol::Equal) == 36 && static_cast<int>(ExprSymbol::LessOrEqual) == 42);
static_assert(static_cast<int>(ExprSymbol::Negate) == 54 && static_cast<int>(ExprSymbol::Deref) == 58);
static_assert(static_cast<int>(ExprSymbol::PreIncrement) == 60 && static_cast<int>(ExprSymbol::PreDecrement) == 61);
static_assert(static_cast<int>(ExprSymbol::End) == 65);

// Precedence of each symbol, indexed by its number (operands and markers 0).
inline constexpr uint8_t kExprPrecedence[] = {
    0,  0,  0,  0,  0,  0, 0, 0,              // operands
    0,                                        // StackBottom
    82, 82,                                   // PostIncrement, PostDecrement
    86,                                       // Member
    4,  4,  4,  4,  4,  4,                    // closers, openers
    6,                                        // Comma
    7,  7,  7,  7,  7,  7, 7, 7, 7, 7, 7, 7,  // assignments
    11, 11,                                   // Else, Then
    16, 20,                                   // Or, And
    25,                                       // WordNot
    30, 30, 30,                               // Equal, EqualExact, NotEqual
    34, 34, 34, 34,                           // Greater, Less, GreaterOrEqual, LessOrEqual
    38,                                       // Concat
    42, 46, 50,                               // BitOr, BitXor, BitAnd
    54, 54,                                   // ShiftLeft, ShiftRight
    58, 58,                                   // Add, Subtract
    62, 62, 62,                               // Multiply, Divide, FloorDivide
    67, 67, 67, 67, 67,                       // Negate, Not, BitNot, Address, Deref
    72,                                       // Power
    77, 77,                                   // PreIncrement, PreDecrement
    86, 86,                                   // Call, New
    36,                                       // RegExMatch
    0,                                        // End
};
static_assert(sizeof(kExprPrecedence) == static_cast<size_t>(ExprSymbol::End) + 1);

// The precedence of a symbol.
inline constexpr int ExprPrecedence(ExprSymbol symbol) { return kExprPrecedence[static_cast<int>(symbol)]; }
// Operands: the symbols that are values rather than operators.
inline constexpr bool IsExprOperand(ExprSymbol symbol) { return symbol < ExprSymbol::StackBottom; }
// The assignment operators, plain and compound.
inline constexpr bool IsExprAssignment(ExprSymbol symbol) {
  return symbol >= ExprSymbol::Assign && symbol <= ExprSymbol::AssignConcat;
}
// The prefix operators that take one operand on their right.
inline constexpr bool IsExprPrefixUnary(ExprSymbol symbol) {
  return (symbol >= ExprSymbol::Negate && symbol <= ExprSymbol::Deref) || symbol == ExprSymbol::WordNot;
}
// The comparison operators.
inline constexpr bool IsExprComparison(ExprSymbol symbol) {
  return symbol >= ExprSymbol::Equal && symbol <= ExprSymbol::LessOrEqual;
}
// "(", "[" and "{".
inline constexpr bool IsExprOpener(ExprSymbol symbol) {
  return symbol >= ExprSymbol::OpenParen && symbol <= ExprSymbol::OpenBrace;
}

// Operation codes of the operator functions: member access, method calls and
// "new" compile to calls of fixed functions that carry one of these.
enum ExprOperatorCode : int {
  EXPR_OP_NONE = -1,
  EXPR_OP_GET = 0,
  EXPR_OP_SET = 1,
  EXPR_OP_CALL = 2,
  EXPR_OP_NEW = 2,
  EXPR_OP_PRE_INCREMENT = static_cast<int>(ExprSymbol::PreIncrement),
  EXPR_OP_PRE_DECREMENT = static_cast<int>(ExprSymbol::PreDecrement),
  EXPR_OP_POST_INCREMENT = static_cast<int>(ExprSymbol::PostIncrement),
  EXPR_OP_POST_DECREMENT = static_cast<int>(ExprSymbol::PostDecrement),
};

// The value token. Fields in this order: the value, the second word, the
// symbol, the circuit link.
struct ExprToken {
  union {
    int64_t ValueInt64;
    double ValueDouble;
    const wchar_t* Text;  // String, RawWord, Omitted (""), RuntimeRef chunk: zero-terminated
    Variable* Var;        // VariableRef; RuntimeRef of a plain variable
    IObject* Object;      // ObjectRef
    ExprCall* CallInfo;   // Call, and the operators compiled as calls
  };
  union {
    const int64_t* PreParsed;  // literal operand: its integer, or null when it has none
    const DerefEntry* Parts;   // RuntimeRef: the chunk's references; null for a plain variable
    uintptr_t IsTarget;        // VariableRef: nonzero when assigned or incremented
  };
  ExprSymbol Symbol;
  union {
    // For a value that may end a short circuit: the operator that consumes
    // it (Then, Or, And), set at compile time.
    ExprToken* Circuit;
    // Result of a function call: a heap block (AllocVarHeap) holding the
    // text, handed over to the evaluator, which frees it.
    wchar_t* HeapText;
  };

  // Makes the token an integer.
  void SetInteger(int64_t value) {
    ValueInt64 = value;
    PreParsed = nullptr;
    Symbol = ExprSymbol::Integer;
  }
  // Makes the token a float.
  void SetFloat(double value) {
    ValueDouble = value;
    PreParsed = nullptr;
    Symbol = ExprSymbol::Float;
  }
  // Makes the token a text of the given symbol (String by default).
  void SetText(const wchar_t* text, ExprSymbol symbol = ExprSymbol::String) {
    Text = text;
    PreParsed = nullptr;
    Symbol = symbol;
  }
  // Makes the token a variable.
  void SetVariable(Variable* var) {
    Var = var;
    PreParsed = nullptr;
    Symbol = ExprSymbol::VariableRef;
  }
  // Makes the token an object (the reference is the caller's business).
  void SetObject(IObject* object) {
    Object = object;
    PreParsed = nullptr;
    Symbol = ExprSymbol::ObjectRef;
  }
};

// Runs a function for a call: `result` arrives as the empty String and
// receives the value (Integer, Float, ObjectRef owning one reference, or text
// as String/RawWord whose memory stays valid until the function is next
// called; text in a heap block from AllocVarHeap goes in HeapText as well as
// Text and is then the evaluator's to free). `params` are the evaluated
// parameters (VariableRef for a variable, Omitted for a left-out one);
// `expandLast` is set when the call's last parameter ends in "*". Returns Ok,
// or Fail / ThreadExit after the error has been reported.
using ExprCallFunction = ResultCode (*)(const ExprFunc& func, ExprToken& result, ExprToken** params, int paramCount,
                                        bool expandLast);

// A built-in function worked out on integer arguments alone, for the
// integer arithmetic that skips the evaluator; false when its result would
// not be an integer, which leaves the call to the general way.
using ExprIntegerFunction = bool (*)(const int64_t* args, int64_t& result);

// What the compiler and the evaluator know of a function.
struct ExprFunc {
  const wchar_t* Name = L"";  // as scripts name it; empty for operator functions
  int MinParams = 0;
  int MaxParams = 0;
  bool Variadic = false;                      // takes any number of parameters beyond MaxParams
  int OperatorCode = EXPR_OP_NONE;            // operator functions: their operation
  ExprCallFunction Call = nullptr;            // null: not available in this version
  const wchar_t* UnavailableMessage = L"";    // reported when Call is null
  void* Owner = nullptr;                      // the functions code's own record
  ExprIntegerFunction IntegerCall = nullptr;  // built-ins with an integer form
};

// A compiled call: the function (null for a dynamic call, whose function is
// the stack entry below the parameters), how many parameters the call pushes
// and where it stands in the expression text.
struct ExprCall {
  const ExprFunc* Func = nullptr;
  int ParamCount = 0;
  uint16_t Position = 0;
  bool ExpandLast = false;  // the last parameter ends in "*"
};

// Finds a function by name (any case), or null. Installed by the functions
// code; until then it names no function, so every call in a script fails to
// load. Written once at start-up (and by tests), read while compiling and by
// dynamic calls.
using FindFunctionHook = const ExprFunc* (*)(std::wstring_view name);
