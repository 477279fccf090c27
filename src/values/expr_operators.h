// Internal to the evaluator: the frame that owns one evaluation's temporary
// memory, the conversions every operator uses (numeric type, integer, float,
// truth and text of a token) and the operators themselves.
//
// Invariants: texts handed out by a frame stay valid, zero-terminated, until
// the frame ends; an ObjectRef token on the operand stack owns one reference
// (operators never release their operands' references: the main loop does).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/result_code.h"
#include "values/expr_eval.h"
#include "values/expr_token.h"
#include "values/numeric_text.h"

class IObject;
struct ScriptLine;

// Two integers under an integer operator (a comparison, + - *, //, the bit
// and shift operators); false for any other operator and for // by zero,
// whose results are not integers.
bool IntegerResult(ExprSymbol op, int64_t a, int64_t b, int64_t& value);

// A piece of text: characters and their count (a terminator follows them).
struct TextPiece {
  const wchar_t* Chars = L"";
  size_t Length = 0;
};

// Room for the text of an integer or float token.
inline constexpr size_t kNumberTextChars = kFloatTextChars;

// The temporary memory of one evaluation: text in the shared arena while it
// is short and the arena budget lasts, heap blocks beyond. Everything is
// released when the frame ends.
class EvalFrame {
 public:
  explicit EvalFrame(ScriptLine& line);
  ~EvalFrame();
  EvalFrame(const EvalFrame&) = delete;
  EvalFrame& operator=(const EvalFrame&) = delete;

  ScriptLine& Line() const { return line_; }
  // Room for `chars` characters and a terminator; null after "Out of memory."
  // was reported (with `detail`).
  wchar_t* AllocText(size_t chars, std::wstring_view detail = {});
  // Takes over a heap block (AllocVarHeap) to be freed with the frame; Fail
  // (block freed) after "Out of memory." was reported.
  ResultCode AdoptHeapBlock(wchar_t* block);
  // Arena memory for the operand stack and working tokens; null after the
  // error was reported.
  void* AllocWork(size_t bytes);
  // Remembers the latest joined text, so that the next join onto it may
  // grow it instead of copying it. The arena keeps the note, and forgets it
  // when any evaluation gives memory back; the text can grow only while it
  // is the arena's newest piece, which the arena checks.
  void NoteJoined(wchar_t* text, size_t length);
  // Room for `extraChars` more after the noted joined text when `text` is
  // it and its memory can grow in place: the text (its length unchanged
  // until the caller writes), else null.
  wchar_t* ExtendJoined(const wchar_t* text, size_t extraChars);
  // The noted joined text (null when none) and its length.
  const wchar_t* Joined() const;
  size_t JoinedLength() const;

 private:
  // One more heap block for the frame, counted against the limit.
  bool KeepHeapBlock(wchar_t* block);

  ScriptLine& line_;
  size_t markChunk_;
  size_t markUsed_;
  size_t arenaChars_ = 0;
  // The heap blocks to free: a few inline, the rest in arena memory taken
  // when they outgrow it (a frame lives on the native stack of every nested
  // call, so it stays small).
  static constexpr size_t kInlineHeapBlocks = 4;
  wchar_t* inlineHeap_[kInlineHeapBlocks];
  wchar_t** heap_ = inlineHeap_;  // only the first heapCount_ are set
  size_t heapCount_ = 0;
};

// The numeric type of a token: Integer and Float tokens are themselves, a
// variable answers from its cache, a word is classified (an integer literal
// by its pre-parsed value); every other token, quoted text included, is not
// numeric.
NumericKind NumericTypeOf(ExprToken& token);
// The token as an integer (floats truncated, text by the base-10/16 rules).
int64_t IntegerOf(ExprToken& token);
// The token as a double.
double FloatOf(ExprToken& token);
// The truth rule: objects are true, numbers when not zero, text by its value.
bool TruthOf(ExprToken& token);
// The object a token stands for (itself or its variable's), or null.
IObject* ObjectOf(const ExprToken& token);
// The text form of a token: numbers formatted by the thread's formats into
// `numberBuffer` (kNumberTextChars), objects empty; false after reporting
// "Out of memory." while fetching a built-in variable's text.
bool TextOf(EvalFrame& frame, ExprToken& token, wchar_t* numberBuffer, TextPiece& piece);

// A binary operator other than Comma, the assignments and Concat, by the
// numeric rules when both operands are numbers, else by the text rules.
ResultCode EvalBinary(ExprSymbol op, EvalFrame& frame, ExprToken& left, ExprToken& right, ExprToken& result);
// Joins the text forms of two operands: String when either was a String,
// else RawWord.
ResultCode EvalConcat(EvalFrame& frame, ExprToken& left, ExprToken& right, ExprToken& result);
// A prefix or postfix operator on one operand (Negate to Deref, Not, WordNot,
// the increments, Or and And reached without a short circuit).
ResultCode EvalUnary(ExprSymbol op, EvalFrame& frame, ExprToken& operand, ExprToken& result);
// An assignment, plain or compound, whose left side must be a variable.
ResultCode EvalAssign(ExprSymbol op, EvalFrame& frame, ExprToken& left, ExprToken& right, ExprToken& result);
