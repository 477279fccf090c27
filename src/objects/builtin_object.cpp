// The object built-in functions: Array and Object (which literals compile
// to), IsObject, the Obj... forms of the built-in methods, and the raw
// field, base and reference-count functions.
#include <cstdint>
#include <cwchar>

#include "base/error_sink.h"
#include "base/script_context.h"
#include "objects/builtin_functions.h"
#include "objects/field_tokens.h"
#include "objects/object_invoke.h"
#include "objects/object_methods.h"
#include "values/expr_operators.h"
#include "values/object.h"
#include "values/variable.h"

namespace {

// Addresses below these are no object's: Object(n) and ObjAddRef/ObjRelease.
constexpr int64_t kLowestObjectAddress = 1024;
constexpr int64_t kLowestCountedAddress = 4096;

// The Object an argument holds, or null.
Object* ObjectArgument(ExprToken& token) { return dynamic_cast<Object*>(ObjectOf(token)); }

// Array(values...): a new array with the values under keys 1, 2, ...
ResultCode BifArray(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool) {
  if (Object* array = ArrayOfTokens(params, count)) result.SetObject(array);
  return ResultCode::Ok;
}

// Object(key, value, ...): a new object from the pairs, each stored by a
// normal set (so a key "base" sets the base); Object(obj) is obj itself, and
// Object(address) a new reference to the object at that address.
ResultCode BifObject(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool) {
  if (count == 1) {
    IObject* given = ObjectOf(*params[0]);
    if (!given && ParamNumericType(*params[0]) == PURE_INTEGER && ParamInteger(*params[0]) >= kLowestObjectAddress)
      given = reinterpret_cast<IObject*>(static_cast<uintptr_t>(ParamInteger(*params[0])));
    if (given) {
      given->AddRef();
      result.SetObject(given);
    }
    return ResultCode::Ok;
  }
  if (count % 2) return ResultCode::Ok;  // an odd number of arguments creates nothing
  Object* object = Object::Create();
  if (!object) return ResultCode::Ok;
  ExprToken self, stored;
  self.SetObject(object);
  for (int i = 0; i + 1 < count; i += 2) {
    if (params[i]->Symbol == ExprSymbol::Omitted || params[i + 1]->Symbol == ExprSymbol::Omitted) continue;
    ExprToken* pair[] = {params[i], params[i + 1]};
    stored.SetText(L"");
    stored.HeapText = nullptr;
    ResultCode ran = object->Invoke(stored, self, IT_SET, pair, 2);
    ReleaseResult(stored);
    if (ran == ResultCode::Fail || ran == ResultCode::ThreadExit) {
      object->Release();
      return ran;
    }
  }
  result.SetObject(object);
  return ResultCode::Ok;
}

// IsObject(values...): 1 when every argument is an object.
ResultCode BifIsObject(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool) {
  bool all = true;
  for (int i = 0; i < count && all; ++i) all = ObjectOf(*params[i]) != nullptr;
  result.SetInteger(all ? 1 : 0);
  return ResultCode::Ok;
}

// ObjInsert, ObjPush, ...: the method of the function's name without "Obj",
// run on the first argument; "" when that is not an Object.
ResultCode BifObjMethod(const ExprFunc& func, ExprToken& result, ExprToken** params, int count, bool) {
  Object* object = ObjectArgument(*params[0]);
  if (!object) return ResultCode::Ok;
  const ObjectMethod* method = FindObjectMethod(func.Name + 3);
  if (!method) return ResultCode::Ok;
  object->AddRef();
  ResultCode ran = method->Run(*object, result, params + 1, count - 1);
  object->Release();
  return ran;
}

// The Object of a raw function's first argument, or the parameter error.
Object* RawTarget(ExprToken** params, ResultCode& failed) {
  Object* object = ObjectArgument(*params[0]);
  if (!object) failed = ReportLineError(Script().CurrentLine, obj_msg::kParam1Invalid);
  return object;
}

// ObjRawGet(obj, key): the field's own value, without meta-functions,
// properties or bases.
ResultCode BifObjRawGet(const ExprFunc&, ExprToken& result, ExprToken** params, int, bool) {
  ResultCode failed = ResultCode::Ok;
  Object* object = RawTarget(params, failed);
  if (!object) return failed;
  wchar_t buffer[kFloatTextChars];
  if (ObjectField* field = object->FindField(KeyOfToken(*params[1], buffer))) ResultOfField(*field, result);
  return ResultCode::Ok;
}

// ObjRawSet(obj, key, value): stores the field directly.
ResultCode BifObjRawSet(const ExprFunc&, ExprToken&, ExprToken** params, int, bool) {
  ResultCode failed = ResultCode::Ok;
  Object* object = RawTarget(params, failed);
  if (!object) return failed;
  wchar_t buffer[kFloatTextChars];
  if (ObjectField* field = object->FieldFor(KeyOfToken(*params[1], buffer)))
    if (!StoreToken(*field, *params[2])) return ReportLineError(Script().CurrentLine, expr_msg::OutOfMemory);
  return ResultCode::Ok;
}

// ObjGetBase(obj).
ResultCode BifObjGetBase(const ExprFunc&, ExprToken& result, ExprToken** params, int, bool) {
  ResultCode failed = ResultCode::Ok;
  Object* object = RawTarget(params, failed);
  if (!object) return failed;
  if (IObject* base = object->Base()) {
    base->AddRef();
    result.SetObject(base);
  }
  return ResultCode::Ok;
}

// ObjSetBase(obj, base): anything but an object leaves no base.
ResultCode BifObjSetBase(const ExprFunc&, ExprToken&, ExprToken** params, int, bool) {
  ResultCode failed = ResultCode::Ok;
  Object* object = RawTarget(params, failed);
  if (!object) return failed;
  object->SetBase(ObjectOf(*params[1]));
  return ResultCode::Ok;
}

// ObjAddRef(address) and ObjRelease(address): the count afterwards.
ResultCode BifObjReferenceCount(const ExprFunc& func, ExprToken& result, ExprToken** params, int, bool) {
  const int64_t address = ParamInteger(*params[0]);
  if (ParamNumericType(*params[0]) != PURE_INTEGER || address < kLowestCountedAddress) return ResultCode::Ok;
  auto* object = reinterpret_cast<IObject*>(static_cast<uintptr_t>(address));
  const bool adds = EqualsNoCase(func.Name, L"ObjAddRef");
  result.SetInteger(adds ? object->AddRef() : object->Release());
  return ResultCode::Ok;
}

const BuiltInFunctionDef kObjectFunctions[] = {
    {L"Array", 0, kUnlimitedParams, BifArray},
    {L"Object", 0, kUnlimitedParams, BifObject},
    {L"IsObject", 1, kUnlimitedParams, BifIsObject},
    {L"ObjInsert", 2, kUnlimitedParams, BifObjMethod},
    {L"ObjInsertAt", 3, kUnlimitedParams, BifObjMethod},
    {L"ObjPush", 2, kUnlimitedParams, BifObjMethod},
    {L"ObjPop", 1, 1, BifObjMethod},
    {L"ObjDelete", 2, 3, BifObjMethod},
    {L"ObjRemove", 1, 3, BifObjMethod},
    {L"ObjRemoveAt", 2, 3, BifObjMethod},
    {L"ObjLength", 1, 1, BifObjMethod},
    {L"ObjCount", 1, 1, BifObjMethod},
    {L"ObjMinIndex", 1, 1, BifObjMethod},
    {L"ObjMaxIndex", 1, 1, BifObjMethod},
    {L"ObjHasKey", 2, 2, BifObjMethod},
    {L"ObjGetCapacity", 1, 2, BifObjMethod},
    {L"ObjSetCapacity", 2, 3, BifObjMethod},
    {L"ObjGetAddress", 2, 2, BifObjMethod},
    {L"ObjNewEnum", 1, 1, BifObjMethod},
    {L"ObjClone", 1, 1, BifObjMethod},
    {L"ObjRawGet", 2, 2, BifObjRawGet},
    {L"ObjRawSet", 3, 3, BifObjRawSet},
    {L"ObjGetBase", 1, 1, BifObjGetBase},
    {L"ObjSetBase", 2, 2, BifObjSetBase},
    {L"ObjAddRef", 1, 1, BifObjReferenceCount},
    {L"ObjRelease", 1, 1, BifObjReferenceCount},
};

}  // namespace

BuiltInFamily ObjectFunctions() { return {kObjectFunctions, sizeof(kObjectFunctions) / sizeof(kObjectFunctions[0])}; }
