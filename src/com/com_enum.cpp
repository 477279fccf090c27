// ComEnum and ComArrayEnum. An array enumerator keeps the array's data
// accessed (SafeArrayAccessData) for its whole life, so the array cannot be
// resized or destroyed under it, and holds a reference to the wrapper that
// owns the array.
#include "com/com_enum.h"

#include <string_view>

#include "com/com_object.h"
#include "com/variant_convert.h"
#include "objects/builtin_functions.h"
#include "objects/object_invoke.h"
#include "values/variable.h"

namespace {

// Gives an element and its type to a For loop's variables; takes over
// what `element` holds.
ResultCode StoreItem(ExprToken& element, VARTYPE type, Variable* key, Variable* value) {
  ResultCode answer = ResultCode::Ok;
  if (key) answer = key->AssignToken(element);
  if (value && answer == ResultCode::Ok) answer = value->AssignInteger(type);
  ReleaseResult(element);
  return answer;
}

// Next called by a script: the method "Next" with up to two output variables.
ResultCode InvokeNext(EnumBase& self, ExprToken& result, int flags, ExprToken** params, int count) {
  wchar_t buffer[kFloatTextChars];
  if (InvokeKindOf(flags) != IT_CALL || count < 1 || _wcsicmp(ParamText(*params[0], buffer), L"Next") != 0)
    return ResultCode::NotHandled;
  Variable* key = count > 1 && params[1]->Symbol == ExprSymbol::VariableRef ? params[1]->Var : nullptr;
  Variable* value = count > 2 && params[2]->Symbol == ExprSymbol::VariableRef ? params[2]->Var : nullptr;
  bool more = false;
  ResultCode answer = self.Next(key, value, more);
  result.SetInteger(more ? 1 : 0);
  return answer;
}

class ComEnum : public EnumBase {
 public:
  using EnumBase::Invoke;
  explicit ComEnum(IEnumVARIANT* items) : items_(items) {}
  ~ComEnum() override { items_->Release(); }
  const wchar_t* Type() override { return L"ComObject.Enumerator"; }
  ResultCode Invoke(ExprToken& result, ExprToken&, int flags, ExprToken** params, int count) override {
    return InvokeNext(*this, result, flags, params, count);
  }
  ResultCode Next(Variable* key, Variable* value, bool& more) override {
    VARIANT item;
    VariantInit(&item);
    ULONG fetched = 0;
    more = items_->Next(1, &item, &fetched) == S_OK;
    if (!more) {
      VariantClear(&item);
      return ResultCode::Ok;
    }
    const VARTYPE type = item.vt;
    ExprToken element;
    ClearToken(element);
    VariantToToken(item, element, false);
    return StoreItem(element, type, key, value);
  }

 private:
  IEnumVARIANT* items_;
};

class ComArrayEnum : public EnumBase {
 public:
  using EnumBase::Invoke;
  ComArrayEnum(ComObject& array, char* data, size_t count, size_t elementSize)
      : array_(array),
        current_(data),
        end_(data + count * elementSize),
        elementSize_(elementSize),
        elementType_(static_cast<VARTYPE>(array.VarType & VT_TYPEMASK)) {
    array_.AddRef();
  }
  ~ComArrayEnum() override {
    SafeArrayUnaccessData(array_.Array);
    array_.Release();
  }
  const wchar_t* Type() override { return L"ComObjArray.Enumerator"; }
  ResultCode Invoke(ExprToken& result, ExprToken&, int flags, ExprToken** params, int count) override {
    return InvokeNext(*this, result, flags, params, count);
  }
  ResultCode Next(Variable* key, Variable* value, bool& more) override {
    more = current_ < end_;
    if (!more) return ResultCode::Ok;
    void* where = current_;
    current_ += elementSize_;
    ExprToken element;
    ClearToken(element);
    VARTYPE type = elementType_;
    if (type == VT_VARIANT) {
      VARIANT& item = *static_cast<VARIANT*>(where);
      type = item.vt;
      VariantToToken(item, element, true);
    } else if (TypedRead(type, where, element) != ResultCode::Ok) {
      return ResultCode::Fail;
    }
    return StoreItem(element, type, key, value);
  }

 private:
  ComObject& array_;
  char* current_;
  char* end_;
  size_t elementSize_;
  VARTYPE elementType_;
};

}  // namespace

IObject* NewComEnum(IEnumVARIANT* items) { return new ComEnum(items); }

IObject* NewComArrayEnum(ComObject& array, HRESULT& code) {
  void* data = nullptr;
  code = SafeArrayAccessData(array.Array, &data);
  if (FAILED(code)) return nullptr;
  const size_t count = array.Array->rgsabound[0].cElements;
  return new ComArrayEnum(array, static_cast<char*>(data), count, SafeArrayGetElemsize(array.Array));
}
