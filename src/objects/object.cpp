// Reference counting, fields and the array subset of Object.
#include "objects/object.h"

#include <windows.h>

uint32_t ObjectBase::Release() {
  uint32_t left = --refCount_;
  if (left == 0) delete this;
  return left;
}

FieldValue FieldValue::OfText(std::wstring_view text) {
  FieldValue value;
  value.Text.assign(text);
  return value;
}

FieldValue FieldValue::OfInteger(int64_t number) {
  FieldValue value;
  value.Type = Kind::Integer;
  value.Integer = number;
  return value;
}

Object::~Object() {
  for (Field& field : fields_)
    if (field.Value.Type == FieldValue::Kind::Object && field.Value.Object) field.Value.Object->Release();
}

Object* Object::CreateArray(const std::vector<std::wstring>& items) {
  auto* object = new Object();
  object->items_ = items;
  return object;
}

Object* Object::Create() { return new Object(); }

std::wstring Object::ItemText(int64_t index) const {
  if (index < 1 || index > ArrayLength()) return std::wstring();
  return items_[static_cast<size_t>(index - 1)];
}

const FieldValue* Object::GetField(std::wstring_view name) const {
  for (const Field& field : fields_) {
    if (CompareStringOrdinal(field.Name.c_str(), static_cast<int>(field.Name.size()), name.data(),
                             static_cast<int>(name.size()), TRUE) == CSTR_EQUAL)
      return &field.Value;
  }
  return nullptr;
}

void Object::SetField(std::wstring_view name, FieldValue value) {
  for (Field& field : fields_) {
    if (CompareStringOrdinal(field.Name.c_str(), static_cast<int>(field.Name.size()), name.data(),
                             static_cast<int>(name.size()), TRUE) == CSTR_EQUAL) {
      if (field.Value.Type == FieldValue::Kind::Object && field.Value.Object) field.Value.Object->Release();
      field.Value = std::move(value);
      return;
    }
  }
  fields_.push_back({std::wstring(name), std::move(value)});
}
