// The built-in methods of Object: inserting and removing with or without
// renumbering the integer keys, counts and bounds, capacities and text
// buffers, enumeration and cloning.
#include "objects/object_methods.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <limits>

#include "base/error_sink.h"
#include "base/script_context.h"
#include "objects/builtin_functions.h"
#include "objects/field_tokens.h"
#include "objects/object_enum.h"
#include "values/expr_operators.h"

namespace {

using obj_msg::kParam1Invalid;
using obj_msg::kParam2Invalid;

// Fails the line with a method's parameter error.
ResultCode ParamError(const wchar_t* message, ExprToken* detailToken = nullptr) {
  wchar_t buffer[kFloatTextChars];
  const wchar_t* detail = detailToken ? ParamText(*detailToken, buffer) : L"";
  return ReportLineError(Script().CurrentLine, message, ERROR_KIND_ERROR, detail);
}

// The key of a parameter.
ObjectKey KeyOf(ExprToken& token, wchar_t* buffer) { return KeyOfToken(token, buffer); }

// Moves a field's value into a result (its object reference goes along).
void TakeValue(ObjectField& field, ExprToken& result) {
  ResultOfField(field, result);
  Object::ClearValue(field);
}

// Stores values at consecutive integer keys from `key` (omitted ones leave
// gaps); the last key stored, or key - 1 when none was.
int64_t StoreRun(Object& object, int64_t key, ExprToken** values, int count) {
  int64_t last = key - 1;
  for (int i = 0; i < count; ++i, ++key) {
    if (values[i]->Symbol == ExprSymbol::Omitted) continue;
    ObjectField* field = object.FieldFor(ObjectKey::OfInteger(key));
    if (!field) break;  // no memory: the rest is not stored
    if (!StoreToken(*field, *values[i])) break;
    last = key;
  }
  return last;
}

// Where the integer keys from `key` on begin.
size_t FirstIntegerAtOrAfter(Object& object, int64_t key) {
  size_t at = 0;
  object.FindField(ObjectKey::OfInteger(key), &at);
  return at;
}

// Makes room for `count` values at pos by moving integer keys from pos up.
void OpenGap(Object& object, int64_t pos, int64_t count) {
  object.ShiftIntegerKeys(FirstIntegerAtOrAfter(object, pos), count);
}

// Removes the integer keys [first, last] and, when `renumber`, moves later
// integer keys down by the length of the range; the number removed.
size_t RemoveIntegerRange(Object& object, int64_t first, int64_t last, bool renumber) {
  const size_t from = FirstIntegerAtOrAfter(object, first);
  size_t to = from;
  while (to < object.IntegerKeyCount() && object.FieldAt(to).IntKey <= last) ++to;
  const size_t removed = to - from;
  object.RemoveFields(from, to);
  if (renumber) object.ShiftIntegerKeys(from, -(last - first + 1));
  return removed;
}

// The positions of the fields from key `first` to key `last` inclusive (both
// of one kind); false when the keys differ in kind or are out of order.
bool RangePositions(Object& object, const ObjectKey& first, const ObjectKey& last, size_t& from, size_t& to) {
  if (first.Kind != last.Kind || first.Kind == KeyKind::Object) return false;
  if (first.Kind == KeyKind::Integer ? first.Integer > last.Integer : CompareKeyText(first.Text, last.Text) > 0)
    return false;
  object.SortKeys();
  object.FindField(first, &from);
  size_t end = 0;
  ObjectField* lastField = object.FindField(last, &end);
  to = lastField ? end + 1 : end;
  return true;
}

// --- The methods ------------------------------------------------------------

ResultCode MethodInsertAt(Object& object, ExprToken& result, ExprToken** args, int count) {
  if (count < 1) return ParamError(kParam1Invalid);
  wchar_t buffer[kFloatTextChars];
  const ObjectKey pos = KeyOf(*args[0], buffer);
  if (pos.Kind != KeyKind::Integer) return ParamError(kParam1Invalid, args[0]);
  if (count < 2) return ParamError(expr_msg::TooFewParams);
  OpenGap(object, pos.Integer, count - 1);
  StoreRun(object, pos.Integer, args + 1, count - 1);
  result.SetText(L"");
  return ResultCode::Ok;
}

// Stores values at consecutive integer keys from `key`, which is above
// every integer key the object has, so each goes to the end of the integer
// segment without a search; the last key stored, or key - 1 when none was.
int64_t AppendRun(Object& object, int64_t key, ExprToken** values, int count) {
  int64_t last = key - 1;
  for (int i = 0; i < count; ++i, ++key) {
    if (values[i]->Symbol == ExprSymbol::Omitted) continue;
    ObjectField* field = object.InsertField(ObjectKey::OfInteger(key), object.IntegerKeyCount());
    if (!field) break;  // no memory: the rest is not stored
    if (!StoreToken(*field, *values[i])) break;
    last = key;
  }
  return last;
}

ResultCode MethodPush(Object& object, ExprToken& result, ExprToken** args, int count) {
  const size_t ints = object.IntegerKeyCount();
  const int64_t start = ints ? object.FieldAt(ints - 1).IntKey + 1 : 1;
  if (count > 0 && object.Capacity() < object.FieldCount() + static_cast<size_t>(count))
    object.SetCapacity(std::max(object.Capacity() * 2, object.FieldCount() + static_cast<size_t>(count)));
  // Past the highest key of a 64-bit range the general path sorts it out.
  const int64_t last = start > 0 ? AppendRun(object, start, args, count) : StoreRun(object, start, args, count);
  if (count > 0) result.SetInteger(last);
  return ResultCode::Ok;
}

ResultCode MethodPop(Object& object, ExprToken& result, ExprToken**, int) {
  const size_t ints = object.IntegerKeyCount();
  if (!ints) return ResultCode::Ok;
  TakeValue(object.FieldAt(ints - 1), result);
  object.RemoveFields(ints - 1, ints);
  return ResultCode::Ok;
}

// Removes one key or a range; `renumber` moves later integer keys down.
ResultCode RemoveKeys(Object& object, ExprToken& result, ExprToken** args, int count, bool renumber) {
  wchar_t buffer1[kFloatTextChars], buffer2[kFloatTextChars];
  const ObjectKey first = KeyOf(*args[0], buffer1);
  if (count == 1) {
    size_t at = 0;
    ObjectField* field = object.FindField(first, &at);
    if (!field) {
      if (renumber && first.Kind == KeyKind::Integer) object.ShiftIntegerKeys(at, -1);
      return ResultCode::Ok;
    }
    TakeValue(*field, result);
    object.RemoveFields(at, at + 1);
    if (renumber && first.Kind == KeyKind::Integer) object.ShiftIntegerKeys(at, -1);
    return ResultCode::Ok;
  }
  const ObjectKey last = KeyOf(*args[1], buffer2);
  size_t from = 0, to = 0;
  if (!RangePositions(object, first, last, from, to)) return ParamError(kParam2Invalid, args[1]);
  if (first.Kind == KeyKind::Integer) {
    result.SetInteger(static_cast<int64_t>(RemoveIntegerRange(object, first.Integer, last.Integer, renumber)));
    return ResultCode::Ok;
  }
  object.RemoveFields(from, to);
  result.SetInteger(static_cast<int64_t>(to - from));
  return ResultCode::Ok;
}

ResultCode MethodDelete(Object& object, ExprToken& result, ExprToken** args, int count) {
  if (count < 1) return ParamError(expr_msg::TooFewParams);
  return RemoveKeys(object, result, args, std::min(count, 2), false);
}

ResultCode MethodRemoveAt(Object& object, ExprToken& result, ExprToken** args, int count) {
  if (count < 1) return ParamError(expr_msg::TooFewParams);
  wchar_t buffer[kFloatTextChars];
  const ObjectKey pos = KeyOf(*args[0], buffer);
  if (pos.Kind != KeyKind::Integer) return ParamError(kParam1Invalid, args[0]);
  if (count < 2 || args[1]->Symbol == ExprSymbol::Omitted) {
    size_t at = 0;
    ObjectField* field = object.FindField(pos, &at);
    if (field) {
      TakeValue(*field, result);
      object.RemoveFields(at, at + 1);
    }
    object.ShiftIntegerKeys(at, -1);
    return ResultCode::Ok;
  }
  const int64_t n = ParamInteger(*args[1]);
  if (n <= 0) {
    result.SetInteger(0);
    return ResultCode::Ok;
  }
  result.SetInteger(static_cast<int64_t>(RemoveIntegerRange(object, pos.Integer, pos.Integer + n - 1, true)));
  return ResultCode::Ok;
}

ResultCode MethodRemove(Object& object, ExprToken& result, ExprToken** args, int count) {
  if (count < 1) return MethodPop(object, result, args, count);
  // remove(key, "") removes one key without renumbering.
  if (count >= 2 && (args[1]->Symbol == ExprSymbol::String || args[1]->Symbol == ExprSymbol::RawWord) &&
      args[1]->Text && !*args[1]->Text)
    return RemoveKeys(object, result, args, 1, false);
  wchar_t buffer[kFloatTextChars];
  const bool integer = KeyOf(*args[0], buffer).Kind == KeyKind::Integer;
  return RemoveKeys(object, result, args, std::min(count, 2), integer);
}

ResultCode MethodInsert(Object& object, ExprToken& result, ExprToken** args, int count) {
  if (count < 1) return ParamError(expr_msg::TooFewParams);
  if (count == 1) {
    ExprToken ignored;
    ignored.SetText(L"");
    static_cast<void>(MethodPush(object, ignored, args, count));
    result.SetInteger(1);
    return ResultCode::Ok;
  }
  wchar_t buffer[kFloatTextChars];
  const ObjectKey key = KeyOf(*args[0], buffer);
  if (key.Kind == KeyKind::Integer) {
    OpenGap(object, key.Integer, count - 1);
    StoreRun(object, key.Integer, args + 1, count - 1);
  } else if (ObjectField* field = object.FieldFor(key)) {
    if (!StoreToken(*field, *args[1])) return ResultCode::Ok;
  } else {
    return ResultCode::Ok;
  }
  result.SetInteger(1);
  return ResultCode::Ok;
}

ResultCode MethodLength(Object& object, ExprToken& result, ExprToken**, int) {
  result.SetInteger(object.ArrayLength());
  return ResultCode::Ok;
}

ResultCode MethodCount(Object& object, ExprToken& result, ExprToken**, int) {
  result.SetInteger(static_cast<int64_t>(object.FieldCount()));
  return ResultCode::Ok;
}

ResultCode MethodMinIndex(Object& object, ExprToken& result, ExprToken**, int) {
  if (object.IntegerKeyCount()) result.SetInteger(object.FieldAt(0).IntKey);
  return ResultCode::Ok;
}

ResultCode MethodMaxIndex(Object& object, ExprToken& result, ExprToken**, int) {
  const size_t ints = object.IntegerKeyCount();
  if (ints) result.SetInteger(object.FieldAt(ints - 1).IntKey);
  return ResultCode::Ok;
}

ResultCode MethodHasKey(Object& object, ExprToken& result, ExprToken** args, int count) {
  if (count < 1) return ParamError(expr_msg::TooFewParams);
  wchar_t buffer[kFloatTextChars];
  result.SetInteger(object.FindField(KeyOf(*args[0], buffer)) ? 1 : 0);
  return ResultCode::Ok;
}

// Bytes of a field's own text buffer, terminator excluded.
int64_t TextBufferBytes(const ObjectField& field) {
  return static_cast<int64_t>((field.TextCapacity - 1) * sizeof(wchar_t));
}

ResultCode MethodGetCapacity(Object& object, ExprToken& result, ExprToken** args, int count) {
  if (count < 1) {
    result.SetInteger(static_cast<int64_t>(object.Capacity()));
    return ResultCode::Ok;
  }
  wchar_t buffer[kFloatTextChars];
  ObjectField* field = object.FindField(KeyOf(*args[0], buffer));
  if (field && !Object::OwnText(*field)) return ReportLineError(Script().CurrentLine, expr_msg::OutOfMemory);
  if (field && field->IsText() && field->TextCapacity) result.SetInteger(TextBufferBytes(*field));
  return ResultCode::Ok;
}

ResultCode MethodSetCapacity(Object& object, ExprToken& result, ExprToken** args, int count) {
  if (count < 1) return ParamError(expr_msg::TooFewParams);
  if (count == 1) {
    const int64_t wanted = ParamInteger(*args[0]);
    const size_t capacity = wanted > 0 ? static_cast<size_t>(wanted) : 0;
    if (!object.SetCapacity(std::max(capacity, object.FieldCount())))
      return ReportLineError(Script().CurrentLine, expr_msg::OutOfMemory);
    result.SetInteger(static_cast<int64_t>(object.Capacity()));
    return ResultCode::Ok;
  }
  wchar_t buffer[kFloatTextChars];
  ObjectField* field = object.FieldFor(KeyOf(*args[0], buffer));
  if (!field || !Object::OwnText(*field)) return ReportLineError(Script().CurrentLine, expr_msg::OutOfMemory);
  if (!field->IsText() && field->Kind != ExprSymbol::RawWord) {
    // A number or an object becomes empty text with the buffer asked for.
    Object::ClearValue(*field);
  }
  const int64_t bytes = ParamInteger(*args[1]);
  constexpr int64_t kMaxBytes = std::numeric_limits<int64_t>::max() / 4;
  if (bytes < 0 || bytes > kMaxBytes) return ParamError(kParam2Invalid, args[1]);
  const size_t chars = (static_cast<size_t>(bytes) + sizeof(wchar_t) - 1) / sizeof(wchar_t);
  if (!Object::ResizeText(*field, chars)) return ReportLineError(Script().CurrentLine, expr_msg::OutOfMemory);
  if (field->TextCapacity) result.SetInteger(TextBufferBytes(*field));
  return ResultCode::Ok;
}

ResultCode MethodGetAddress(Object& object, ExprToken& result, ExprToken** args, int count) {
  if (count < 1) return ParamError(expr_msg::TooFewParams);
  wchar_t buffer[kFloatTextChars];
  ObjectField* field = object.FindField(KeyOf(*args[0], buffer));
  // The address handed out must be the field's own buffer, which a caller may write into.
  if (field && !Object::OwnText(*field)) return ReportLineError(Script().CurrentLine, expr_msg::OutOfMemory);
  if (field && field->IsText() && field->TextCapacity)
    result.SetInteger(static_cast<int64_t>(reinterpret_cast<uintptr_t>(field->TextValue)));
  return ResultCode::Ok;
}

ResultCode MethodNewEnum(Object& object, ExprToken& result, ExprToken**, int) {
  if (IObject* enumerator = NewObjectEnumerator(object)) result.SetObject(enumerator);
  return ResultCode::Ok;
}

ResultCode MethodClone(Object& object, ExprToken& result, ExprToken**, int) {
  if (Object* copy = CloneObject(object)) result.SetObject(copy);
  return ResultCode::Ok;
}

// Sorted by name, so that a lookup is a binary search.
const ObjectMethod kObjectMethods[] = {
    {L"Clone", true, MethodClone},
    {L"Count", false, MethodCount},
    {L"Delete", false, MethodDelete},
    {L"GetAddress", true, MethodGetAddress},
    {L"GetCapacity", true, MethodGetCapacity},
    {L"HasKey", true, MethodHasKey},
    {L"Insert", true, MethodInsert},
    {L"InsertAt", false, MethodInsertAt},
    {L"Length", false, MethodLength},
    {L"MaxIndex", true, MethodMaxIndex},
    {L"MinIndex", true, MethodMinIndex},
    {L"NewEnum", true, MethodNewEnum},
    {L"Pop", false, MethodPop},
    {L"Push", false, MethodPush},
    {L"Remove", true, MethodRemove},
    {L"RemoveAt", false, MethodRemoveAt},
    {L"SetCapacity", true, MethodSetCapacity},
};

}  // namespace

const ObjectMethod* FindObjectMethod(std::wstring_view name) {
  const bool underscore = !name.empty() && name[0] == L'_';
  if (underscore) name.remove_prefix(1);
  auto found = std::lower_bound(
      std::begin(kObjectMethods), std::end(kObjectMethods), name,
      [](const ObjectMethod& method, std::wstring_view wanted) { return CompareKeyText(method.Name, wanted) < 0; });
  if (found == std::end(kObjectMethods) || CompareKeyText(found->Name, name) != 0) return nullptr;
  if (underscore && !found->AllowsUnderscore) return nullptr;
  return found;
}

Object* CloneObject(Object& source) {
  Object* copy = Object::Create();
  if (!copy) return nullptr;
  source.SortKeys();
  if (!copy->SetCapacity(source.FieldCount())) {
    copy->Release();
    return nullptr;
  }
  for (size_t i = 0; i < source.FieldCount(); ++i) {
    const ObjectField& field = source.FieldAt(i);
    ObjectKey key;
    switch (source.KeyKindAt(i)) {
      case KeyKind::Integer: key = ObjectKey::OfInteger(field.IntKey); break;
      case KeyKind::Object: key = ObjectKey::OfObject(field.ObjectKey); break;
      case KeyKind::Text: key = ObjectKey::OfText(field.TextKey); break;
    }
    ObjectField* made = copy->InsertField(key, copy->FieldCount());
    bool stored = made != nullptr;
    if (made) {
      switch (field.Kind) {
        case ExprSymbol::Integer: Object::SetInteger(*made, field.IntValue); break;
        case ExprSymbol::Float: Object::SetFloat(*made, field.FloatValue); break;
        case ExprSymbol::ObjectRef: Object::SetObject(*made, field.ObjectValue); break;
        default: stored = Object::SetText(*made, field.TextValue); break;
      }
    }
    if (!stored) {
      copy->Release();
      return nullptr;
    }
  }
  copy->SetBase(source.Base());
  return copy;
}
