// Reference counting, fields and the array subset of Object.
#include "values/object.h"

#include <windows.h>

#include <cstdint>

namespace {
// Base chains longer than this are treated as cut (a loop of bases).
constexpr int kMaxBaseDepth = 100;
}  // namespace

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
  if (base_) base_->Release();
}

Object* Object::CreateArray(const std::vector<std::wstring>& items) {
  auto* object = new Object();
  int64_t key = 0;
  for (const std::wstring& item : items) object->SetItem(++key, FieldValue::OfText(item));
  return object;
}

Object* Object::Create() { return new Object(); }

bool IsIntegerKey(std::wstring_view key, int64_t& number) {
  size_t i = key.size() > 1 && key[0] == L'-' ? 1 : 0;
  if (i == key.size() || key.size() - i > 19) return false;
  if (key[i] == L'0' && key.size() > i + 1) return false;
  if (i == 1 && key == L"-0") return false;
  int64_t value = 0;
  for (size_t k = i; k < key.size(); ++k) {
    if (key[k] < L'0' || key[k] > L'9') return false;
    const int digit = key[k] - L'0';
    if (value > (INT64_MAX - digit) / 10) return false;
    value = value * 10 + digit;
  }
  number = i ? -value : value;
  return true;
}

int64_t Object::ArrayLength() const {
  int64_t highest = 0, number = 0;
  for (const Field& field : fields_)
    if (IsIntegerKey(field.Name, number) && number > highest) highest = number;
  return highest;
}

std::wstring Object::ItemText(int64_t index) const {
  const FieldValue* field = GetField(std::to_wstring(index));
  if (!field) return std::wstring();
  switch (field->Type) {
    case FieldValue::Kind::Text: return field->Text;
    case FieldValue::Kind::Integer: return std::to_wstring(field->Integer);
    default: return std::wstring();
  }
}

void Object::SetItem(int64_t key, FieldValue value) { SetField(std::to_wstring(key), std::move(value)); }

const FieldValue* Object::FindInherited(std::wstring_view name) const {
  int depth = 0;
  for (const Object* at = this; at && depth < kMaxBaseDepth; at = at->base_, ++depth)
    if (const FieldValue* field = at->GetField(name)) return field;
  return nullptr;
}

void Object::SetBase(Object* base) {
  if (base) base->AddRef();
  if (base_) base_->Release();
  base_ = base;
}

std::wstring Object::FoldedKey(std::wstring_view name) {
  std::wstring folded(name);
  if (!folded.empty()) CharUpperBuffW(folded.data(), static_cast<DWORD>(folded.size()));
  return folded;
}

size_t Object::FindIndex(std::wstring_view name) const {
  if (fields_.size() < kIndexedFieldCount) {
    for (size_t i = 0; i < fields_.size(); ++i) {
      const std::wstring& key = fields_[i].Name;
      if (CompareStringOrdinal(key.c_str(), static_cast<int>(key.size()), name.data(), static_cast<int>(name.size()),
                               TRUE) == CSTR_EQUAL)
        return i;
    }
    return kNoField;
  }
  if (index_.size() != fields_.size()) {
    index_.clear();
    for (size_t i = 0; i < fields_.size(); ++i) index_.emplace(FoldedKey(fields_[i].Name), i);
  }
  auto found = index_.find(FoldedKey(name));
  return found == index_.end() ? kNoField : found->second;
}

const FieldValue* Object::GetField(std::wstring_view name) const {
  const size_t at = FindIndex(name);
  return at == kNoField ? nullptr : &fields_[at].Value;
}

void Object::SetField(std::wstring_view name, FieldValue value) {
  const size_t at = FindIndex(name);
  if (at != kNoField) {
    Field& field = fields_[at];
    if (field.Value.Type == FieldValue::Kind::Object && field.Value.Object) field.Value.Object->Release();
    field.Value = std::move(value);
    return;
  }
  fields_.push_back({std::wstring(name), std::move(value)});
  if (!index_.empty()) index_.emplace(FoldedKey(name), fields_.size() - 1);
}
