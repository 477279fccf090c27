// What a request to an Object does: meta-functions first, then the field of
// the key (a property runs its accessor), then the base chain, then the
// built-in methods and "base", then the field itself (a call runs what it
// holds as a method, a get or set reads or stores it, further keys go on to
// the object it holds). Also MetaObject, the default base of every value
// that is not an object, and __Delete when an object's last reference goes.
#include "objects/object_invoke.h"

#include "base/error_sink.h"
#include "base/script_context.h"
#include "exec/exceptions.h"
#include "objects/builtin_functions.h"
#include "objects/field_tokens.h"
#include "objects/func.h"
#include "objects/func_call.h"
#include "objects/object_methods.h"
#include "objects/objects_state.h"
#include "objects/param_list.h"
#include "objects/property.h"
#include "values/expr_operators.h"
#include "values/values_state.h"

namespace {

constexpr wchar_t kBaseKey[] = L"base";
// Exception-mode bit: errors become thrown values (a COM client or
// __Delete is waiting for the answer, not a dialog).
constexpr uint8_t kExceptionModeDeleting = 0x04;

// The names of the meta-functions by kind: get, set, call.
constexpr const wchar_t* kMetaFunctionNames[] = {L"__Get", L"__Set", L"__Call"};

// The value of the default base: one per process, its reference count
// ignored, its fields those scripts add through "".base.
class MetaObjectType : public Object {
 public:
  using Object::Invoke;
  STDMETHODIMP_(ULONG) AddRef() override { return 1; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  bool Delete() override { return false; }
  ResultCode Invoke(ExprToken& result, ExprToken& thisToken, int flags, ExprToken** params, int count) override;
};

// Whether a token is text equal to `name` (any case).
bool TokenIsName(ExprToken& token, const wchar_t* name) {
  if (token.Symbol != ExprSymbol::String && token.Symbol != ExprSymbol::RawWord) return false;
  return token.Text && EqualsNoCase(token.Text, name);
}

// Calls a value held in a field as a method: an object is called as itself
// with "this" first; a text names a function, called with "this" first.
// NotHandled when the value cannot be called.
ResultCode CallValueAsMethod(const ObjectField& field, ExprToken& result, ExprToken& thisToken, ExprToken** args,
                             int argCount) {
  ParamList list;
  list.Push(&thisToken);
  list.Append(args, argCount);
  if (field.IsObject()) {
    IObject* callee = field.ObjectValue;
    // A script function runs directly; its record lives for the program.
    if (Func* func = AsFunc(callee)) return CallFunctionChecked(*func, result, list.Data(), list.Count(), false);
    callee->AddRef();  // the field may be replaced while the method runs
    ExprToken self;
    self.SetObject(callee);
    ResultCode ran = callee->Invoke(result, self, IT_CALL | IF_FUNCOBJ, list.Data(), list.Count());
    callee->Release();
    return ran;
  }
  if (field.IsText()) {
    Func* func = LookupFunction(field.TextValue);
    if (!func) return ResultCode::NotHandled;
    return CallFunctionChecked(*func, result, list.Data(), list.Count(), false);
  }
  return ResultCode::NotHandled;
}

// Step 1: the meta-function of this kind, when this object itself has one.
// `answered` is set when it returned a value, which is then the result.
ResultCode RunMetaFunction(Object& object, ExprToken& result, ExprToken& thisToken, int kind, ExprToken** params,
                           int count, bool& answered) {
  answered = false;
  static constexpr uint8_t kMetaBits[] = {Object::kMetaGet, Object::kMetaSet, Object::kMetaCall};
  if (!object.HoldsMetaKey(kMetaBits[kind])) return ResultCode::Ok;
  ObjectField* meta = object.FindField(kMetaFunctionNames[kind]);
  if (!meta) return ResultCode::Ok;
  const ObjectField held = *meta;  // the call may change the object
  if (held.IsObject()) held.ObjectValue->AddRef();
  Objects().LastCallReturnedValue = false;
  ResultCode ran = CallValueAsMethod(held, result, thisToken, params, count);
  if (held.IsObject()) held.ObjectValue->Release();
  if (ran == ResultCode::NotHandled) return ResultCode::Ok;
  if (ran != ResultCode::Ok && ran != ResultCode::Returned) return ran;
  if (Objects().LastCallReturnedValue) {
    answered = true;
    return ResultCode::Ok;
  }
  ReleaseResult(result);
  return ResultCode::Ok;
}

// Step 3: a property's accessor for a get or a set; NotHandled when the
// property has no accessor for it.
ResultCode RunPropertyAccessor(Property& property, ExprToken& result, ExprToken& thisToken, int kind,
                               ExprToken** params, int count) {
  Func* accessor = kind == IT_SET ? property.Setter : property.Getter;
  if (!accessor || kind == IT_CALL) return ResultCode::NotHandled;
  ParamList list;
  list.Push(&thisToken);
  if (kind == IT_SET) {
    // The value goes in front of the extra parameters.
    list.Push(params[count - 1]);
    list.Append(params + 1, count - 2);
  } else {
    list.Append(params + 1, count - 1);
  }
  property.AddRef();
  ResultCode ran = CallFunctionChecked(*accessor, result, list.Data(), list.Count(), false);
  property.Release();
  return ran;
}

// Step 5's "base": reads or replaces an object's base.
ResultCode AccessBase(Object& object, ExprToken& result, int kind, ExprToken** params, int count) {
  if (kind == IT_SET) {
    IObject* value = ObjectOf(*params[count - 1]);
    object.SetBase(value);  // anything but an object leaves no base
  }
  if (IObject* base = object.Base()) {
    base->AddRef();
    result.SetObject(base);
  }
  return ResultCode::Ok;
}

// Step 8: obj[a, b, ...]: the object under the first key handles the rest.
ResultCode InvokeFurther(Object& object, ObjectField* field, const ObjectKey& key, ExprToken& result, int flags,
                         ExprToken** params, int count) {
  const int kind = InvokeKindOf(flags);
  IObject* next = field && field->IsObject() ? field->ObjectValue : nullptr;
  if (!field && key.Kind == KeyKind::Text && EqualsNoCase(key.Text, kBaseKey)) {
    next = object.Base();
    if (!next && kind == IT_SET && !(flags & IF_META)) {
      Object* created = Object::Create();
      if (!created) return ReportLineError(Script().CurrentLine, expr_msg::OutOfMemory);
      object.SetBase(created);
      created->Release();
      next = created;
    }
  } else if (!field) {
    if (kind != IT_SET || (flags & IF_META)) return ResultCode::NotHandled;
    Object* created = Object::Create();
    ObjectField* made = created ? object.FieldFor(key) : nullptr;
    if (!made) {
      if (created) created->Release();
      return ResultCode::Ok;  // no memory: the store does nothing
    }
    Object::SetObject(*made, created);
    created->Release();
    next = created;
  }
  if (!next) return ResultCode::NotHandled;
  next->AddRef();
  ExprToken self;
  self.SetObject(next);
  ResultCode ran = next->Invoke(result, self, kind | IF_METAFUNC, params + 1, count - 1);
  next->Release();
  return ran;
}

// Step 7: reads or stores the field of a single key. A new key goes to
// `insertAt`, where the last search of this request found it belongs.
ResultCode GetOrSetField(Object& object, ObjectField* field, const ObjectKey& key, ExprToken& result, int flags,
                         ExprToken** params, int count, size_t insertAt) {
  if (InvokeKindOf(flags) == IT_SET) {
    if (flags & IF_META) return ResultCode::NotHandled;
    if (!field && !(field = object.InsertField(key, insertAt))) return ResultCode::Ok;
    if (!StoreToken(*field, *params[count - 1])) return ResultCode::Ok;
    ResultOfField(*field, result);
    return ResultCode::Ok;
  }
  if (!field) return ResultCode::NotHandled;
  ResultOfField(*field, result);
  return ResultCode::Ok;
}

// Calls an object's method on behalf of `thisToken` as the class's
// function object: the call form of an Object is its Call method.
ResultCode CallObjectItself(Object& object, ExprToken& result, ExprToken& thisToken, int flags, ExprToken** params,
                            int count) {
  ExprToken name;
  name.SetText(L"Call");
  ParamList list;
  list.Push(&name);
  list.Append(params, count);
  return InvokeObject(object, result, thisToken, (flags & ~IF_FUNCOBJ) | IF_METAFUNC, list.Data(), list.Count());
}

}  // namespace

void ReleaseResult(ExprToken& result) {
  if (result.Symbol == ExprSymbol::ObjectRef) {
    result.Object->Release();
  } else if ((result.Symbol == ExprSymbol::String || result.Symbol == ExprSymbol::RawWord) && result.HeapText) {
    FreeVarHeap(result.HeapText);
  }
  result.SetText(L"");
  result.HeapText = nullptr;
}

ResultCode InvokeObject(Object& object, ExprToken& result, ExprToken& thisToken, int flags, ExprToken** params,
                        int count) {
  const int kind = InvokeKindOf(flags);
  if (flags & IF_FUNCOBJ) return CallObjectItself(object, result, thisToken, flags, params, count);
  // Deep recursion through methods, or a loop of bases, ends in an error
  // before the native stack runs out.
  if (!StackHasRoom(false)) return ReportLineError(Script().CurrentLine, kRecursionTooDeep, ERROR_KIND_ERROR, L"");
  object.AddRef();  // the request may release the object's last other reference
  struct Holder {
    Object& held;
    ~Holder() { held.Release(); }
  } holder{object};

  // 1. Meta-functions.
  if (flags & IF_METAFUNC) {
    bool answered = false;
    ResultCode ran = RunMetaFunction(object, result, thisToken, kind, params, count, answered);
    if (ran != ResultCode::Ok || answered) return ran;
  }
  // 2. The key.
  const int keyCount = kind == IT_SET ? count - 1 : count;
  const bool hasKey = keyCount > 0 && params[0]->Symbol != ExprSymbol::Omitted;
  wchar_t keyBuffer[kFloatTextChars];
  ObjectKey key = hasKey ? KeyOfToken(*params[0], keyBuffer) : ObjectKey::OfText(L"");
  // Where a store's new key would go; searched again whenever script code
  // may have changed the object since. Reads do not ask, which spares the
  // search for a place on every miss.
  size_t insertAt = 0;
  size_t* const placeForNewKey = kind == IT_SET ? &insertAt : nullptr;
  ObjectField* field = hasKey ? object.FindField(key, placeForNewKey) : nullptr;

  // 3. Properties.
  if (field && field->IsObject() && kind != IT_CALL)
    if (TagOf(field->ObjectValue) == ObjectTag::Property) {
      auto& property = *static_cast<Property*>(field->ObjectValue);
      ResultCode ran = RunPropertyAccessor(property, result, thisToken, kind, params, count);
      if (ran != ResultCode::NotHandled) return ran;
    }
  // 4. The base chain.
  if (!field) {
    if (IObject* base = object.Base()) {
      const int baseFlags = (flags & IF_META) ? flags : flags | IF_METAOBJ;
      base->AddRef();
      ResultCode ran = base->Invoke(result, thisToken, baseFlags, params, count);
      base->Release();
      if (ran != ResultCode::NotHandled) return ran;
      ReleaseResult(result);
      if (hasKey) field = object.FindField(key, placeForNewKey);
    }
  }
  // 5. Built-in methods and "base".
  if (!field && !(flags & IF_META) && hasKey && key.Kind == KeyKind::Text) {
    if (kind == IT_CALL) {
      if (const ObjectMethod* method = FindObjectMethod(key.Text))
        return method->Run(object, result, params + 1, count - 1);
    } else if (keyCount == 1 && EqualsNoCase(key.Text, kBaseKey)) {
      return AccessBase(object, result, kind, params, count);
    }
  }
  // 6. Calls.
  if (kind == IT_CALL) {
    if (!field) return ResultCode::NotHandled;
    if (!(flags & IF_CALL_FUNC_ONLY) || (field->IsObject() && AsFunc(field->ObjectValue))) {
      const ObjectField held = *field;
      if (held.IsObject()) held.ObjectValue->AddRef();
      ResultCode ran = CallValueAsMethod(held, result, thisToken, params + 1, count - 1);
      if (held.IsObject()) held.ObjectValue->Release();
      return ran;
    }
    // A member that holds no function is read.
    return GetOrSetField(object, field, key, result, IT_GET, params, 1, insertAt);
  }
  // 7 and 8. Fields.
  if (keyCount > 1) return InvokeFurther(object, field, key, result, flags, params, count);
  if (!hasKey) return ResultCode::NotHandled;
  return GetOrSetField(object, field, key, result, flags, params, count, insertAt);
}

// ---------------------------------------------------------------------------
// MetaObject

namespace {

ResultCode MetaObjectType::Invoke(ExprToken& result, ExprToken& thisToken, int flags, ExprToken** params, int count) {
  // base.Method() inside a method: the parent class, with the method's own
  // "this".
  if (thisToken.Symbol == ExprSymbol::VariableRef && EqualsNoCase(thisToken.Var->Name(), kBaseKey) &&
      !thisToken.Var->HasObject() && thisToken.Var->GetText(nullptr) == 0) {
    Func* method = RunningFunction();
    auto* owner = method ? dynamic_cast<Object*>(method->OwnerClass) : nullptr;
    if (owner && owner->Base() && !method->Params.empty()) {
      ExprToken self;
      self.SetVariable(method->Params[0].Var);
      if (IObject* object = ObjectOf(self)) self.SetObject(object);
      IObject* parent = owner->Base();
      parent->AddRef();
      ResultCode ran = parent->Invoke(result, self, InvokeKindOf(flags) | IF_METAOBJ, params, count);
      parent->Release();
      return ran == ResultCode::NotHandled ? ResultCode::Ok : ran;
    }
  }
  // As the default base of a value the request arrives as a meta
  // invocation; invoked as itself ("".base.x := v) it stores like any object.
  ResultCode ran = InvokeObject(*this, result, thisToken, flags, params, count);
  if (ran != ResultCode::NotHandled) return ran;
  // A call with no method name: the value names a function.
  if (InvokeKindOf(flags) == IT_CALL &&
      (count == 0 || params[0]->Symbol == ExprSymbol::Omitted || (TokenIsName(*params[0], L"")))) {
    wchar_t buffer[kFloatTextChars];
    if (Func* func = LookupFunction(ParamText(thisToken, buffer)))
      return CallFunctionChecked(*func, result, params + (count ? 1 : 0), count ? count - 1 : 0, false);
  }
  return ResultCode::NotHandled;
}

// The process's one default base. Its fields are the script's: the
// objects reset empties them between scripts.
MetaObjectType& TheMetaObject() {
  static MetaObjectType* meta = new MetaObjectType();  // never destroyed: values may point at it at exit
  return *meta;
}

// Whether a base chain may answer __Delete: some base holds __Delete or
// __Call, or is not an Object (and so answers in its own way).
bool ChainMayAnswerDelete(IObject* base) {
  int depth = 0;
  for (IObject* at = base; at && depth < 10000; ++depth) {
    auto* object = TagOf(at) == ObjectTag::Object ? static_cast<Object*>(at) : nullptr;
    if (!object || object->HoldsMetaKey(Object::kMetaDelete | Object::kMetaCall)) return true;
    at = object->Base();
  }
  return false;
}

// Runs __Delete for an Object whose last reference is going; false when
// the call stored a new reference, so the object lives on.
bool DeleteObject(Object& object) {
  IObject* base = object.Base();
  if (!base || object.FindField(L"__Class") || !ChainMayAnswerDelete(base)) return true;
  ThreadSettings& thread = *Values().CurrentThread;
  const uint8_t savedMode = thread.ExceptionMode;
  thread.ExceptionMode = static_cast<uint8_t>(thread.ExceptionMode | kExceptionModeDeleting);
  FieldValue pending;
  const bool hadThrown = TakeThrownValue(pending);
  ExprToken name, self, result;
  name.SetText(L"__Delete");
  self.SetObject(&object);
  result.SetText(L"");
  result.HeapText = nullptr;
  ExprToken* params[] = {&name};
  base->AddRef();
  static_cast<void>(base->Invoke(result, self, IT_CALL | IF_METAOBJ, params, 1));
  base->Release();
  ReleaseResult(result);
  // A value thrown inside __Delete goes nowhere.
  DiscardThrownValue();
  if (hadThrown) SetThrownValue(std::move(pending));
  thread.ExceptionMode = savedMode;
  return object.RefCount() <= 1;
}

// The hook behind Object::Invoke.
ResultCode InvokeHook(Object& object, ExprToken& result, ExprToken& thisToken, int flags, ExprToken** params,
                      int count) {
  return InvokeObject(object, result, thisToken, flags, params, count);
}

}  // namespace

Object& MetaObject() { return TheMetaObject(); }

void ClearMetaObject() {
  MetaObjectType& meta = TheMetaObject();
  meta.RemoveFields(0, meta.FieldCount());
}

void InstallObjectInvoke() {
  Values().ObjectInvoke = InvokeHook;
  Values().ObjectDelete = DeleteObject;
}
