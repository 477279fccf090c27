// The operator functions that member access, method calls, "new" and the
// increments of members compile to: each invokes its target (an object
// through its own face with meta-functions first, any other value through
// the default base) and answers "" for a request nobody handles.
#include "objects/object_ops.h"

#include <cwchar>

#include "base/error_sink.h"
#include "base/script_context.h"
#include "objects/builtin_functions.h"
#include "objects/field_tokens.h"
#include "objects/func_object.h"
#include "objects/object_invoke.h"
#include "objects/objects_state.h"
#include "objects/param_list.h"
#include "values/expr_compiler.h"
#include "values/expr_eval.h"
#include "values/expr_operators.h"
#include "values/values_state.h"

namespace {

constexpr wchar_t kBaseKey[] = L"base";

// Whether a token is the text "base" (any case).
bool IsBaseKey(ExprToken& token) {
  return (token.Symbol == ExprSymbol::String || token.Symbol == ExprSymbol::RawWord) && token.Text &&
         EqualsNoCase(token.Text, kBaseKey);
}

// Turns the answers of an invocation into the operator's: "not handled"
// and "returned" are Ok (the result of an unhandled request is empty).
ResultCode Settle(ResultCode ran, ExprToken& result) {
  if (ran == ResultCode::NotHandled) {
    ReleaseResult(result);
    return ResultCode::Ok;
  }
  return ran == ResultCode::Returned ? ResultCode::Ok : ran;
}

// Invokes a value with one kind of request.
ResultCode InvokeValue(ExprToken& target, ExprToken& result, int kind, ExprToken** params, int count) {
  result.SetText(L"");
  result.HeapText = nullptr;
  if (IObject* object = ObjectOf(target)) {
    ExprToken self;
    self.SetObject(object);
    object->AddRef();  // the request may overwrite the variable that holds it
    ResultCode ran = object->Invoke(result, self, kind | IF_METAFUNC, params, count);
    object->Release();
    return Settle(ran, result);
  }
  Object& meta = MetaObject();
  const int keys = kind == IT_SET ? count - 1 : count;
  if (kind != IT_CALL && keys >= 1 && IsBaseKey(*params[0])) {
    // The base of a value that is not an object is the default base.
    if (keys == 1) {
      result.SetObject(&meta);
      return ResultCode::Ok;
    }
    ExprToken self;
    self.SetObject(&meta);
    return Settle(meta.Invoke(result, self, kind | IF_METAFUNC, params + 1, count - 1), result);
  }
  return Settle(meta.Invoke(result, target, kind | IF_METAOBJ, params, count), result);
}

namespace {

// x[i] of an integer key that an object without a base or a __Get of its
// own holds, as a number or a text: nothing but the field can answer, so it
// is read without the general request and its reference counting. False
// when the request must take the general way.
bool ReadElementDirectly(ExprToken& target, ExprToken& key, ExprToken& result) {
  if (key.Symbol != ExprSymbol::Integer) return false;
  IObject* held = ObjectOf(target);
  if (!held || TagOf(held) != ObjectTag::Object) return false;
  auto& object = *static_cast<Object*>(held);
  if (object.Base() || object.HoldsMetaKey(Object::kMetaGet)) return false;
  const ObjectField* field = object.FindField(ObjectKey::OfInteger(key.ValueInt64));
  if (!field || field->IsObject()) return false;
  if (!field->IsText()) {
    ResultOfField(*field, result);
    return true;
  }
  const wchar_t* text = field->TextValue;
  size_t length = 0;
  while (length <= ObjectsState::kElementTextChars && text[length]) ++length;
  if (length > ObjectsState::kElementTextChars) {
    SetResultText(result, text);
    return true;
  }
  if (!length) return true;  // the result arrives as the empty text
  wchar_t* buffer = Objects().ElementText;
  std::wmemcpy(buffer, text, length + 1);
  result.SetText(buffer);
  return true;
}

}  // namespace

// x.y, x[k], x[a, b]: params are the target, then the keys.
ResultCode MemberGet(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool) {
  if (count < 1) return ResultCode::Ok;
  if (count == 2 && ReadElementDirectly(*params[0], *params[1], result)) return ResultCode::Ok;
  return InvokeValue(*params[0], result, IT_GET, params + 1, count - 1);
}

// x.y := v: the target, the keys, the value.
ResultCode MemberSet(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool) {
  if (count < 2) return ResultCode::Ok;
  return InvokeValue(*params[0], result, IT_SET, params + 1, count - 1);
}

// x.y(args...): the target, the method name, the arguments.
ResultCode MethodCall(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool expandLast) {
  if (count < 2) return ResultCode::Ok;
  // Without "*" the name and the arguments already lie together.
  if (!expandLast) return InvokeValue(*params[0], result, IT_CALL, params + 1, count - 1);
  SpreadArguments spread(params + 2, count - 2, expandLast);
  ParamList list;
  list.Push(params[1]);
  list.Append(spread.Items(), spread.Count());
  return InvokeValue(*params[0], result, IT_CALL, list.Data(), list.Count());
}

// new C(args...): the class, then the arguments.
ResultCode NewOperator(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool expandLast) {
  result.SetText(L"");
  result.HeapText = nullptr;
  if (count < 1) return ResultCode::Ok;
  IObject* classObject = ObjectOf(*params[0]);
  if (!classObject) return ResultCode::Ok;
  SpreadArguments spread(params + 1, count - 1, expandLast);
  return NewInstance(*classObject, result, spread.Items(), spread.Count());
}

// ++x.y, --x.y, x.y++, x.y--: the target and the keys.
ResultCode StepMember(ExprToken& result, ExprToken** params, int count, int64_t step, bool prefix) {
  if (count < 1) return ResultCode::Ok;
  ExprToken old;
  ResultCode ran = InvokeValue(*params[0], old, IT_GET, params + 1, count - 1);
  if (ran != ResultCode::Ok) return ran;
  ExprToken stepped;
  stepped.SetText(L"");
  const NumericKind kind = NumericTypeOf(old);
  if (kind == PURE_INTEGER) {
    stepped.SetInteger(IntegerOf(old) + step);
  } else if (kind == PURE_FLOAT) {
    stepped.SetFloat(FloatOf(old) + static_cast<double>(step));
  }
  // A value that is not a number makes the member (and the result) empty.
  ParamList list;
  list.Append(params + 1, count - 1);
  list.Push(&stepped);
  ExprToken stored;
  ran = InvokeValue(*params[0], stored, IT_SET, list.Data(), list.Count());
  ReleaseResult(stored);
  if (ran != ResultCode::Ok) {
    ReleaseResult(old);
    return ran;
  }
  if (kind == PURE_NOT_NUMERIC) {
    ReleaseResult(old);
    result.SetText(L"");
    return ResultCode::Ok;
  }
  if (prefix) {
    ReleaseResult(old);
    result = stepped;
    return ResultCode::Ok;
  }
  if (kind == PURE_INTEGER)
    result.SetInteger(IntegerOf(old));
  else
    result.SetFloat(FloatOf(old));
  ReleaseResult(old);
  return ResultCode::Ok;
}

ResultCode PreIncrement(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool) {
  return StepMember(result, params, count, 1, true);
}
ResultCode PreDecrement(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool) {
  return StepMember(result, params, count, -1, true);
}
ResultCode PostIncrement(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool) {
  return StepMember(result, params, count, 1, false);
}
ResultCode PostDecrement(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool) {
  return StepMember(result, params, count, -1, false);
}

// Which implementation an operator function gets.
ExprCallFunction ImplementationOf(const ExprFunc& func) {
  if (&func == &g_ExprMemberGet || &func == &g_ExprMemberGetInPlace) return MemberGet;
  if (&func == &g_ExprMemberSet) return MemberSet;
  if (&func == &g_ExprMethodCall) return MethodCall;
  if (&func == &g_ExprNew) return NewOperator;
  if (&func == &g_ExprMemberPreIncrement) return PreIncrement;
  if (&func == &g_ExprMemberPreDecrement) return PreDecrement;
  if (&func == &g_ExprMemberPostIncrement) return PostIncrement;
  if (&func == &g_ExprMemberPostDecrement) return PostDecrement;
  return nullptr;
}

// Calls a method of a new object through the normal call path; the
// result stays in `result`.
ResultCode CallNewObjectMethod(Object& object, const wchar_t* name, ExprToken& result, ExprToken** args, int count) {
  ExprToken nameToken, self;
  nameToken.SetText(name);
  self.SetObject(&object);
  ParamList list;
  list.Push(&nameToken);
  list.Append(args, count);
  result.SetText(L"");
  result.HeapText = nullptr;
  return Settle(object.Invoke(result, self, IT_CALL, list.Data(), list.Count()), result);
}

}  // namespace

ResultCode NewInstance(IObject& classObject, ExprToken& result, ExprToken** args, int count) {
  Object* object = Object::Create();
  if (!object) return ReportLineError(Script().CurrentLine, expr_msg::OutOfMemory);
  object->SetBase(&classObject);
  ExprToken answer;
  answer.SetText(L"");
  answer.HeapText = nullptr;
  // A class without instance variables has no __Init: unless something up
  // the chain could answer the call anyway, asking would find nothing.
  ResultCode ran =
      object->ChainMayAnswer(L"__Init") ? CallNewObjectMethod(*object, L"__Init", answer, nullptr, 0) : ResultCode::Ok;
  ReleaseResult(answer);
  if (ran != ResultCode::Ok) {
    object->Release();
    return ran;
  }
  ran = CallNewObjectMethod(*object, L"__New", answer, args, count);
  if (ran != ResultCode::Ok) {
    ReleaseResult(answer);
    object->Release();
    return ran;
  }
  const bool empty =
      (answer.Symbol == ExprSymbol::String || answer.Symbol == ExprSymbol::RawWord) && (!answer.Text || !*answer.Text);
  if (!empty) {
    // __New returned something else to use instead.
    result = answer;
    object->Release();
    return ResultCode::Ok;
  }
  ReleaseResult(answer);
  result.SetObject(object);
  return ResultCode::Ok;
}

void InstallObjectOperations() {
  Values().ObjectCall = ImplementationOf;
  Values().CallObject = CallObject;
}
