// Object::Enumerator.
#include "objects/object_enum.h"

#include <new>

#include "base/script_context.h"
#include "objects/builtin_functions.h"
#include "objects/field_tokens.h"
#include "objects/object_invoke.h"
#include "values/variable.h"

namespace {

class ObjectEnumerator : public EnumBase {
 public:
  using EnumBase::Invoke;
  explicit ObjectEnumerator(Object& object) : object_(object) { object_.AddRef(); }
  ~ObjectEnumerator() override { object_.Release(); }

  const wchar_t* Type() override { return L"Object.Enumerator"; }

  // Next(key [, value]) called as a method.
  ResultCode Invoke(ExprToken& result, ExprToken&, int flags, ExprToken** params, int count) override {
    if (InvokeKindOf(flags) != IT_CALL || count < 1) return ResultCode::NotHandled;
    wchar_t buffer[kFloatTextChars];
    if (!EqualsNoCase(ParamText(*params[0], buffer), L"Next")) return ResultCode::NotHandled;
    Variable* key = count > 1 && params[1]->Symbol == ExprSymbol::VariableRef ? params[1]->Var : nullptr;
    Variable* value = count > 2 && params[2]->Symbol == ExprSymbol::VariableRef ? params[2]->Var : nullptr;
    bool more = false;
    ResultCode ran = Next(key, value, more);
    if (ran != ResultCode::Ok) return ran;
    result.SetInteger(more ? 1 : 0);
    return ResultCode::Ok;
  }

  ResultCode Next(Variable* key, Variable* value, bool& more) override {
    object_.SortKeys();
    more = false;
    if (position_ + 1 >= static_cast<ptrdiff_t>(object_.FieldCount())) {
      position_ = static_cast<ptrdiff_t>(object_.FieldCount());
      return ResultCode::Ok;
    }
    ++position_;
    more = true;
    const auto at = static_cast<size_t>(position_);
    // Integer keys and values (arrays) are stored without a token.
    if (key && object_.KeyKindAt(at) == KeyKind::Integer) {
      ResultCode stored = key->AssignInteger(object_.FieldAt(at).IntKey);
      if (stored != ResultCode::Ok) return stored;
    } else if (key) {
      ExprToken token;
      token.SetText(L"");
      token.HeapText = nullptr;
      ResultOfKey(object_, at, token);
      ResultCode stored = key->AssignToken(token);
      ReleaseResult(token);
      if (stored != ResultCode::Ok) return stored;
    }
    // The key's assignment may have run script code (a __Delete) that
    // changed the object.
    if (value && at < object_.FieldCount() && object_.FieldAt(at).Kind == ExprSymbol::Integer)
      return value->AssignInteger(object_.FieldAt(at).IntValue);
    if (value && at < object_.FieldCount()) {
      ExprToken token;
      TokenOfField(&object_.FieldAt(at), token);
      ResultCode stored = value->AssignToken(token);
      if (stored != ResultCode::Ok) return stored;
    }
    return ResultCode::Ok;
  }

 private:
  Object& object_;
  ptrdiff_t position_ = -1;
};

}  // namespace

IObject* NewObjectEnumerator(Object& object) { return new (std::nothrow) ObjectEnumerator(object); }
