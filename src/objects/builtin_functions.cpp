// Finding built-in functions by name, and the argument conversions their
// entry points share.
#include "objects/builtin_functions.h"

#include <cwchar>

#include "base/text_length.h"
#include "objects/objects_state.h"
#include "values/expr_operators.h"
#include "values/thread_settings.h"
#include "values/values_state.h"
#include "values/variable.h"

const BuiltInFunctionDef* FindBuiltInFunction(std::wstring_view name) {
  for (const BuiltInFamily& family : Objects().Families)
    for (size_t i = 0; i < family.Count; ++i)
      if (EqualsNoCase(family.Defs[i].Name, name)) return &family.Defs[i];
  return nullptr;
}

const wchar_t* ParamText(ExprToken& param, wchar_t* numberBuffer, size_t* length) {
  const wchar_t* text = L"";
  switch (param.Symbol) {
    case ExprSymbol::String:
    case ExprSymbol::RawWord:
    case ExprSymbol::Omitted: text = param.Text ? param.Text : L""; break;
    case ExprSymbol::Integer:
      IntegerToText(param.ValueInt64, numberBuffer, static_cast<wchar_t>(Values().CurrentThread->IntegerFormatChar));
      text = numberBuffer;
      break;
    case ExprSymbol::Float:
      FloatToText(param.ValueDouble, numberBuffer, kFloatTextChars, Values().CurrentThread->FloatFormatText);
      text = numberBuffer;
      break;
    case ExprSymbol::VariableRef:
      if (!param.Var->HasObject()) text = param.Var->TextOf();
      break;
    default: break;
  }
  if (length) *length = TextLength(text);
  return text;
}

NumericKind ParamNumericType(ExprToken& param) {
  if (param.Symbol == ExprSymbol::String) return IsNumeric(param.Text);
  return NumericTypeOf(param);
}

int64_t ParamInteger(ExprToken& param) {
  if (param.Symbol == ExprSymbol::String) return TextToInteger(param.Text);
  return IntegerOf(param);
}

double ParamFloat(ExprToken& param) {
  if (param.Symbol == ExprSymbol::String) return TextToDouble(param.Text);
  return FloatOf(param);
}

bool SetResultText(ExprToken& result, std::wstring_view text) {
  auto* block = static_cast<wchar_t*>(AllocVarHeap((text.size() + 1) * sizeof(wchar_t)));
  if (!block) {
    result.SetText(L"");
    return false;
  }
  if (!text.empty()) std::wmemcpy(block, text.data(), text.size());
  block[text.size()] = L'\0';
  result.SetText(block);
  result.HeapText = block;
  return true;
}

void RegisterBuiltInFunctions(BuiltInFamily family) { Objects().Families.push_back(family); }
