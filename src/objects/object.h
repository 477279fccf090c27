// The script object model's base: reference-counted objects with plain
// (non-interlocked) counts, since all script work runs on one thread.
// This is the start-up subset: an array-like Object holding text values,
// enough for A_Args.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

class IObject {
 public:
  virtual ~IObject() = default;
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;
};

class ObjectBase : public IObject {
 public:
  uint32_t AddRef() override { return ++refCount_; }
  uint32_t Release() override;

 protected:
  ObjectBase() = default;

 private:
  uint32_t refCount_ = 1;  // the creator holds the first reference
};

// A script object; keys 1..N of an array are its elements.
class Object : public ObjectBase {
 public:
  // A new array whose elements 1..N are the given texts.
  static Object* CreateArray(const std::vector<std::wstring>& items);
  // Number of elements of an array (its highest integer key).
  int64_t ArrayLength() const { return static_cast<int64_t>(items_.size()); }
  // The element at a 1-based index, or "" when absent.
  std::wstring ItemText(int64_t index) const;

 private:
  std::vector<std::wstring> items_;
};
