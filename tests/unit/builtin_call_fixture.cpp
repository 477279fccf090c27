// Test calls of built-in functions (see builtin_call_fixture.h).
#include "builtin_call_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "objects/builtin_functions.h"
#include "values/variable.h"

TestArg ArgInt(int64_t value) { return TestArg{TestArg::Kind::Integer, value}; }
TestArg ArgFloat(double value) { return TestArg{TestArg::Kind::Float, 0, value}; }
TestArg ArgText(const wchar_t* text) { return TestArg{TestArg::Kind::String, 0, 0.0, text}; }
TestArg ArgWord(const wchar_t* text) { return TestArg{TestArg::Kind::Word, 0, 0.0, text}; }
TestArg ArgVar(Variable& var) { return TestArg{TestArg::Kind::Variable, 0, 0.0, L"", &var}; }
TestArg ArgOmitted() { return TestArg{TestArg::Kind::Omitted}; }

std::string NarrowText(std::wstring_view text) {
  std::string out;
  for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

std::string CallOutcome::Shown() const {
  if (Code != ResultCode::Ok) return "error";
  char buffer[64];
  switch (Symbol) {
    case ExprSymbol::Integer:
      std::snprintf(buffer, sizeof(buffer), "i:%lld", static_cast<long long>(Int));
      return buffer;
    case ExprSymbol::Float: std::snprintf(buffer, sizeof(buffer), "f:%.10g", Float); return buffer;
    default: return Text.empty() ? std::string() : "s:" + NarrowText(Text);
  }
}

namespace {

// Makes the evaluator's token for one argument.
void FillToken(const TestArg& arg, ExprToken& token) {
  switch (arg.What) {
    case TestArg::Kind::Integer: token.SetInteger(arg.Int); break;
    case TestArg::Kind::Float: token.SetFloat(arg.Float); break;
    case TestArg::Kind::String: token.SetText(arg.Text); break;
    case TestArg::Kind::Word: token.SetText(arg.Text, ExprSymbol::RawWord); break;
    case TestArg::Kind::Variable: token.SetVariable(arg.Var); break;
    case TestArg::Kind::Omitted: token.SetText(L"", ExprSymbol::Omitted); break;
  }
}

}  // namespace

CallOutcome CallBuiltIn(const wchar_t* name, std::initializer_list<TestArg> args) {
  CallOutcome outcome;
  outcome.Code = ResultCode::Fail;
  const BuiltInFunctionDef* def = FindBuiltInFunction(name);
  if (!def || !def->Call) {
    ADD_FAILURE() << "no built-in function " << NarrowText(name);
    return outcome;
  }
  const int count = static_cast<int>(args.size());
  if (count < def->MinParams || count > def->MaxParams) {
    ADD_FAILURE() << NarrowText(name) << " does not take " << count << " arguments";
    return outcome;
  }
  std::vector<ExprToken> tokens(args.size());
  std::vector<ExprToken*> params;
  size_t i = 0;
  for (const TestArg& arg : args) {
    FillToken(arg, tokens[i]);
    params.push_back(&tokens[i++]);
  }
  ExprFunc func;
  func.Name = def->Name;
  func.MinParams = def->MinParams;
  func.MaxParams = def->MaxParams;
  func.Call = def->Call;
  ExprToken result;
  result.SetText(L"");
  result.HeapText = nullptr;
  outcome.Code = def->Call(func, result, params.data(), count, false);
  outcome.Symbol = result.Symbol;
  switch (result.Symbol) {
    case ExprSymbol::Integer: outcome.Int = result.ValueInt64; break;
    case ExprSymbol::Float: outcome.Float = result.ValueDouble; break;
    case ExprSymbol::String:
    case ExprSymbol::RawWord:
      outcome.Text = result.Text ? result.Text : L"";
      if (result.HeapText) FreeVarHeap(result.HeapText);
      break;
    default: ADD_FAILURE() << NarrowText(name) << " gave an unexpected kind of result"; break;
  }
  return outcome;
}
