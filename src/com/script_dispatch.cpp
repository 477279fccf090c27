// Script objects called through IDispatch. DISPIDs are positions in the
// name table plus one and never change, so a client may cache them; the
// same name (in any case) always gets the same DISPID, whatever the object.
#include "com/script_dispatch.h"

#include <cwctype>
#include <string>
#include <vector>

#include "com/com_state.h"
#include "com/variant_convert.h"
#include "exec/exceptions.h"
#include "objects/builtin_functions.h"
#include "objects/field_tokens.h"
#include "objects/object_invoke.h"
#include "values/values_state.h"

namespace {

// Most arguments passed on to the script.
constexpr UINT kMaxDispatchArgs = 254;
// The exception-mode bit that turns errors into thrown values.
constexpr uint8_t kThrowErrors = 0x02;

// A name as its table key (names match without regard to case).
std::wstring FoldName(const wchar_t* name) {
  std::wstring key(name);
  for (wchar_t& c : key) c = static_cast<wchar_t>(std::towlower(c));
  return key;
}

// The DISPID of a name, adding it to the table when new.
HRESULT ScriptGetIDsOfNames(IObject*, REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!names || !ids || count == 0) return E_POINTER;
  ComState& com = Com();
  std::wstring key = FoldName(names[0]);
  auto found = com.DispIds.find(key);
  if (found == com.DispIds.end()) {
    com.DispNames.emplace_back(names[0]);
    found = com.DispIds.emplace(std::move(key), static_cast<DISPID>(com.DispNames.size())).first;
  }
  ids[0] = found->second;
  for (UINT i = 1; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  return count > 1 ? DISP_E_UNKNOWNNAME : S_OK;
}

// A member name made only of digits (decimal or 0x hexadecimal, an
// optional "+", blanks around) is an integer key.
bool IntegerName(const std::wstring& name, int64_t& value) {
  size_t i = 0, end = name.size();
  while (i < end && (name[i] == L' ' || name[i] == L'\t')) ++i;
  while (end > i && (name[end - 1] == L' ' || name[end - 1] == L'\t')) --end;
  if (i < end && name[i] == L'+') ++i;
  int base = 10;
  if (end - i > 2 && name[i] == L'0' && (name[i + 1] == L'x' || name[i + 1] == L'X')) {
    base = 16;
    i += 2;
  }
  if (i >= end) return false;
  uint32_t number = 0;
  for (; i < end; ++i) {
    const wchar_t c = name[i];
    int digit = c >= L'0' && c <= L'9' ? c - L'0' : -1;
    if (base == 16 && digit < 0 && std::iswxdigit(c)) digit = (std::towlower(c) - L'a') + 10;
    if (digit < 0) return false;
    number = number * static_cast<uint32_t>(base) + static_cast<uint32_t>(digit);
  }
  value = static_cast<int32_t>(number);
  return true;
}

// A field of the thrown object as a BSTR (numbers in the thread's formats).
BSTR FieldBstr(Object& thrown, const wchar_t* name) {
  const ObjectField* field = thrown.GetField(name);
  if (!field) return nullptr;
  ExprToken token;
  TokenOfField(field, token);
  wchar_t buffer[kFloatTextChars];
  return SysAllocString(ParamText(token, buffer));
}

// The answer for a script Invoke that failed: the thrown object as an
// EXCEPINFO when there is one.
HRESULT FailureAnswer(EXCEPINFO* info) {
  FieldValue thrown;
  if (!TakeThrownValue(thrown)) return E_FAIL;
  HRESULT answer = E_FAIL;
  auto* object = thrown.Type == FieldValue::Kind::Object ? dynamic_cast<Object*>(thrown.Object) : nullptr;
  if (object && info) {
    *info = EXCEPINFO{};
    info->scode = DISP_E_EXCEPTION;
    info->bstrDescription = FieldBstr(*object, L"Message");
    info->bstrSource = FieldBstr(*object, L"What");
    info->bstrHelpFile = FieldBstr(*object, L"File");
    if (const ObjectField* line = object->GetField(L"Line")) {
      ExprToken token;
      TokenOfField(line, token);
      info->dwHelpContext = static_cast<DWORD>(ParamInteger(token));
    }
    answer = DISP_E_EXCEPTION;
  }
  ReleaseFieldValue(thrown);
  return answer;
}

// IDispatch::Invoke of a script object.
HRESULT ScriptInvoke(IObject* object, DISPID member, REFIID, LCID, WORD how, DISPPARAMS* dispParams, VARIANT* out,
                     EXCEPINFO* info, UINT*) {
  if (member < 0) return DISP_E_MEMBERNOTFOUND;
  const int kind = (how & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) ? IT_SET
                   : (how & DISPATCH_METHOD)                                ? IT_CALL
                                                                            : IT_GET;
  int flags = kind;
  const UINT argCount = dispParams ? (dispParams->cArgs < kMaxDispatchArgs ? dispParams->cArgs : kMaxDispatchArgs) : 0;
  std::vector<ExprToken> tokens(argCount + 1);
  std::vector<ExprToken*> params;
  ExprToken& memberToken = tokens[argCount];
  ClearToken(memberToken);
  if (member == DISPID_VALUE) {
    if (kind == IT_CALL && (how & DISPATCH_PROPERTYGET))
      flags |= IF_FUNCOBJ;
    else if (kind == IT_CALL)
      params.push_back(&memberToken);
  } else {
    const std::vector<std::wstring>& names = Com().DispNames;
    if (static_cast<size_t>(member) > names.size()) return DISP_E_MEMBERNOTFOUND;
    const std::wstring& name = names[static_cast<size_t>(member) - 1];
    int64_t key = 0;
    if (IntegerName(name, key))
      memberToken.SetInteger(key);
    else
      memberToken.SetText(name.c_str());
    params.push_back(&memberToken);
    if (kind == IT_CALL && (how & DISPATCH_PROPERTYGET)) flags |= IF_CALL_FUNC_ONLY;
  }
  // COM lists arguments last first.
  for (UINT i = 0; i < argCount; ++i) {
    VARIANT* arg = &dispParams->rgvarg[dispParams->cArgs - 1 - i];
    if (arg->vt == (VT_BYREF | VT_VARIANT)) arg = arg->pvarVal;
    ClearToken(tokens[i]);
    VariantToToken(*arg, tokens[i], true);
    params.push_back(&tokens[i]);
  }

  ThreadSettings& thread = *Values().CurrentThread;
  const uint8_t oldMode = thread.ExceptionMode;
  thread.ExceptionMode = static_cast<uint8_t>(oldMode | kThrowErrors);
  ExprToken result, self;
  ClearToken(result);
  self.SetObject(object);
  object->AddRef();
  ResultCode answer = object->Invoke(result, self, flags, params.data(), static_cast<int>(params.size()));
  if (answer == ResultCode::NotHandled && kind != IT_GET && (how & DISPATCH_PROPERTYGET)) {
    ReleaseResult(result);
    const int getFlags = IT_GET | (flags & IF_FUNCOBJ);
    answer =
        object->Invoke(result, self, getFlags, params.data(), kind == IT_SET ? 1 : static_cast<int>(params.size()));
  }
  thread.ExceptionMode = oldMode;

  HRESULT code = S_OK;
  if (answer == ResultCode::Fail) {
    code = FailureAnswer(info);
  } else if (answer == ResultCode::NotHandled && kind != IT_GET) {
    code = DISP_E_MEMBERNOTFOUND;
  } else if (out) {
    TokenToVariant(result, *out);
  }
  ReleaseResult(result);
  for (UINT i = 0; i < argCount; ++i) ReleaseResult(tokens[i]);
  object->Release();
  return code;
}

}  // namespace

void InstallScriptDispatch() {
  Values().Dispatch.GetIDsOfNames = ScriptGetIDsOfNames;
  Values().Dispatch.Invoke = ScriptInvoke;
}
