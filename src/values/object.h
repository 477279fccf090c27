// The script object model's base: reference-counted objects with plain
// (non-interlocked) counts, since all script work runs on one thread.
//
// This is the subset the interpreter needs so far: an Object holding named
// fields in insertion order (the exception object) and an array of texts
// (A_Args). Invariants: an object starts with one reference, owned by its
// creator; a field holding an object owns one reference to it.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class IObject {
 public:
  virtual ~IObject() = default;
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;
  // The type name scripts and ListVars see ("Object", "ComObject", ...).
  virtual const wchar_t* TypeName() const { return L"Object"; }
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

// A value stored in an object field.
struct FieldValue {
  enum class Kind : uint8_t { Text, Integer, Float, Object } Type = Kind::Text;
  std::wstring Text;
  int64_t Integer = 0;
  double Float = 0.0;
  IObject* Object = nullptr;  // owned reference when Type is Object

  static FieldValue OfText(std::wstring_view text);
  static FieldValue OfInteger(int64_t value);
};

// A script object; keys 1..N of an array are its elements.
class Object : public ObjectBase {
 public:
  ~Object() override;

  // A new array whose elements 1..N are the given texts.
  static Object* CreateArray(const std::vector<std::wstring>& items);
  // A new object with no fields.
  static Object* Create();

  // Number of elements of an array (its highest integer key).
  int64_t ArrayLength() const;
  // The element at a 1-based index, or "" when absent.
  std::wstring ItemText(int64_t index) const;

  // Sets a named field (names compare without regard to case); an
  // existing field keeps its place.
  void SetField(std::wstring_view name, FieldValue value);
  // The field of that name, or null.
  const FieldValue* GetField(std::wstring_view name) const;
  // The field of that name here or in a base object, or null.
  const FieldValue* FindInherited(std::wstring_view name) const;
  // Sets an integer key.
  void SetItem(int64_t key, FieldValue value);

  // The object whose fields this one inherits (a class's parent class, an
  // instance's class); null when none. The object holds a reference.
  Object* Base() const { return base_; }
  void SetBase(Object* base);

  struct Field {
    std::wstring Name;
    FieldValue Value;
  };
  // The fields in the order they were first set.
  const std::vector<Field>& Fields() const { return fields_; }

 private:
  // Objects with this many fields or more find them through a hash index
  // of the upper-cased names, so that large arrays stay fast.
  static constexpr size_t kIndexedFieldCount = 16;
  static constexpr size_t kNoField = static_cast<size_t>(-1);
  // The name as the index keys it (ordinal upper case).
  static std::wstring FoldedKey(std::wstring_view name);
  // Where a field is, or kNoField.
  size_t FindIndex(std::wstring_view name) const;

  std::vector<Field> fields_;
  mutable std::unordered_map<std::wstring, size_t> index_;  // built on first need
  Object* base_ = nullptr;
};

// Whether a key text is an integer key in its canonical form ("1", "-5",
// not "01" or "+1"); sets the number.
bool IsIntegerKey(std::wstring_view key, int64_t& number);
