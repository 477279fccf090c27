// Reference counting and the array subset of Object.
#include "objects/object.h"

uint32_t ObjectBase::Release() {
  uint32_t left = --refCount_;
  if (left == 0) delete this;
  return left;
}

Object* Object::CreateArray(const std::vector<std::wstring>& items) {
  auto* object = new Object();
  object->items_ = items;
  return object;
}

std::wstring Object::ItemText(int64_t index) const {
  if (index < 1 || index > ArrayLength()) return std::wstring();
  return items_[static_cast<size_t>(index - 1)];
}
