// The script object model's base: the interface every script object
// implements (`IObject`, which is also an IDispatch so that COM clients can
// call script objects), plain reference counting (`ObjectBase`), and the
// storage of the general-purpose `Object`: an associative array whose keys
// are integers, objects or case-insensitive texts.
//
// Invariants of Object's field array:
// - Integer-keyed fields come first in ascending order, then object-keyed
//   fields in ascending order of the object's address, then text-keyed
//   fields. Every lookup relies on the first two segments being sorted.
// - The text segment is sorted case-insensitively (A-Z folded to a-z) up to
//   `sortedTextEnd_`; fields beyond it were appended in arrival order. A
//   large object takes new text keys this way so that filling it does not
//   move the whole array for every key; anything that shows the order
//   (enumeration, ranges, ListVars) sorts the tail in first, so scripts see
//   one sorted order, always.
// - A field owns its text key and its text value (capacity > 0), holds one
//   reference to an object key and to an object value.
// - An object starts with one reference, owned by its creator; all counting
//   happens on the script thread, so it is not interlocked.
//
// How a request is carried out (meta-functions, properties, methods) is the
// object layer's business: Object::Invoke and Object::Delete forward to the
// hooks it installs.
#pragma once
#include <windows.h>
#include <oaidl.h>

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "base/result_code.h"
#include "values/expr_token.h"

// Invocation flags: the low two bits are the kind.
enum InvokeKind : int { IT_GET = 0, IT_SET = 1, IT_CALL = 2 };
inline constexpr int IT_BITMASK = 3;
// Invoked as a base on behalf of another object: create no fields, run no
// built-in methods.
inline constexpr int IF_META = 0x10000;
// Look for __Get, __Set or __Call first.
inline constexpr int IF_METAFUNC = 0x20000;
inline constexpr int IF_METAOBJ = IF_META | IF_METAFUNC;
// Call the object itself (no member name was given).
inline constexpr int IF_FUNCOBJ = 0x40000;
// A For loop asks for _NewEnum.
inline constexpr int IF_NEWENUM = 0x80000;
// Call only a function: a member that holds no Func is read instead.
inline constexpr int IF_CALL_FUNC_ONLY = 0x100000;

// The kind of an invocation.
inline constexpr int InvokeKindOf(int flags) { return flags & IT_BITMASK; }

// The interface every script object answers, so that a script object that
// travelled through COM comes back as itself.
inline constexpr GUID IID_IObject = {0x619F7E25, 0x6D89, 0x4EB4, {0xB2, 0xFB, 0x18, 0xE7, 0xC7, 0x3C, 0x0E, 0xA6}};

#if defined(__GNUC__)
#pragma GCC diagnostic push
// IDispatch's destructor is not virtual; script objects are only ever
// destroyed through IObject, whose destructor is.
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#endif
class IObject : public IDispatch {
 public:
  using IDispatch::Invoke;
  // The script face: `result` arrives as the empty string; for a get or a
  // call params[0] is the member name or key, for a set the last parameter
  // is the value. Answers Ok, Fail, ThreadExit, NotHandled (the caller
  // treats it as Ok with an empty result) or Returned (treated as Ok).
  virtual ResultCode Invoke(ExprToken& result, ExprToken& thisToken, int flags, ExprToken** params, int count) = 0;
  // The class name shown to scripts and in ListVars.
  virtual const wchar_t* Type() = 0;
  // Called when the last reference is about to go; true when the object
  // was destroyed.
  virtual bool Delete() = 0;
  virtual ~IObject() = default;
};
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

// What a script object is, for the checks the hot paths make on every
// request (is it an Object, a script function, a property) without asking
// the run-time type system.
enum class ObjectTag : uint8_t { Other, Object, Func, Property };

// Reference counting and the IDispatch face shared by every script object.
// Every IObject is an ObjectBase.
class ObjectBase : public IObject {
 public:
  using IObject::Invoke;
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override { return ++refCount_; }
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID member, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argError) override;
  bool Delete() override;

  ULONG RefCount() const { return refCount_; }
  ObjectTag Tag() const { return tag_; }

 protected:
  ObjectBase() = default;
  explicit ObjectBase(ObjectTag tag) : tag_(tag) {}
  ObjectBase(const ObjectBase&) = delete;
  ObjectBase& operator=(const ObjectBase&) = delete;

 private:
  ULONG refCount_ = 1;  // the creator holds the first reference
  ObjectTag tag_ = ObjectTag::Other;
};

// The tag of a script object (every IObject is an ObjectBase).
inline ObjectTag TagOf(IObject* object) { return static_cast<ObjectBase*>(object)->Tag(); }

class Variable;

// What every enumerator adds to the interface: Next, which For loops call
// directly for built-in enumerators.
class EnumBase : public ObjectBase {
 public:
  using ObjectBase::Invoke;
  // Puts the next key and value into the variables (either may be null);
  // 1 when there was an item, 0 past the end (the variables unchanged).
  // Fail after an error was reported.
  virtual ResultCode Next(Variable* key, Variable* value, bool& more) = 0;
};

// Where a key falls in the field array.
enum class KeyKind : uint8_t { Integer, Object, Text };

// A key as Object looks it up. A text key points at characters the caller
// keeps alive for the lookup.
struct ObjectKey {
  KeyKind Kind = KeyKind::Text;
  int64_t Integer = 0;
  IObject* Ref = nullptr;
  std::wstring_view Text;

  static ObjectKey OfInteger(int64_t value) { return {KeyKind::Integer, value, nullptr, {}}; }
  static ObjectKey OfObject(IObject* object) { return {KeyKind::Object, 0, object, {}}; }
  static ObjectKey OfText(std::wstring_view text) { return {KeyKind::Text, 0, nullptr, text}; }
};

// One field: its value, the capacity of its own text buffer, its key and
// the kind of its value (Integer, Float, RawWord for text, ObjectRef).
struct ObjectField {
  union {
    int64_t IntValue;
    double FloatValue;
    IObject* ObjectValue;
    // While TextCapacity is 0 the text is not the field's own: the shared
    // empty text, or a piece of its object's block of array texts.
    wchar_t* TextValue;
  };
  size_t TextCapacity;  // characters, terminator included; 0 when not owned
  union {
    int64_t IntKey;
    IObject* ObjectKey;
    wchar_t* TextKey;
  };
  ExprSymbol Kind;
  uint32_t KeyLength;  // characters of a text key (kept in what was padding)

  bool IsText() const { return Kind == ExprSymbol::RawWord; }
  bool IsObject() const { return Kind == ExprSymbol::ObjectRef; }
  // The value's text ("" for non-text values).
  const wchar_t* Text() const { return Kind == ExprSymbol::RawWord ? TextValue : L""; }
};

// A value handed to or taken from an Object by C++ code.
struct FieldValue {
  enum class Kind : uint8_t { Text, Integer, Float, Object } Type = Kind::Text;
  std::wstring Text;
  int64_t Integer = 0;
  double Float = 0.0;
  IObject* Object = nullptr;  // the caller's reference, which the field takes over

  static FieldValue OfText(std::wstring_view text);
  static FieldValue OfInteger(int64_t value);
  static FieldValue OfObject(IObject* object);  // takes over the reference
};

// A field's value as a FieldValue; an object is borrowed (no reference is
// taken), so the FieldValue must not outlive the field.
FieldValue PeekFieldValue(const ObjectField& field);

class Object : public ObjectBase {
 public:
  using ObjectBase::Invoke;
  ~Object() override;

  // A new object with no fields.
  static Object* Create();
  // A new array whose elements 1..N are the given texts.
  static Object* CreateArray(const std::vector<std::wstring>& items);
  // A new array whose elements 1..count are copies of the texts; null when
  // memory runs out. The copies share one block the array owns: a field
  // gets a buffer of its own exact size only when it is asked for one
  // (OwnText), and a new value replaces the piece without freeing it.
  static Object* CreateArray(const std::wstring_view* items, size_t count);
  // Builds the same kind of array part by part, for a caller that knows the
  // number of parts and a bound on their length before it has the parts
  // (a split counts its cuts first and needs no list of them).
  class TextArrayBuilder {
   public:
    // Room for `count` elements and `chars` units of text in all, one more
    // per element for its terminator; false when memory runs out.
    bool Start(size_t count, size_t chars);
    // Appends the next element; at most `count` of them, within `chars`.
    void Add(std::wstring_view text);
    // The array, owned by the caller from now on.
    Object* Finish();
    ~TextArrayBuilder();

   private:
    Object* object_ = nullptr;
    wchar_t* next_ = nullptr;  // where the next text goes in the shared block
    size_t added_ = 0;
  };
  // Gives a text field that points into the shared block a buffer of its
  // own with the same text; false when memory runs out.
  static bool OwnText(ObjectField& field);

  // Objects and their first field arrays come from free lists of blocks of
  // their exact size, since scripts make and drop them by the million.
  static void* operator new(size_t bytes, const std::nothrow_t&) noexcept;
  static void* operator new(size_t bytes);
  static void operator delete(void* block, size_t bytes) noexcept;

  ResultCode Invoke(ExprToken& result, ExprToken& thisToken, int flags, ExprToken** params, int count) override;
  const wchar_t* Type() override;
  bool Delete() override;

  // --- Lookup and storage ---------------------------------------------------
  // The field with that key, or null; `insertAt` (may be null) receives the
  // position a new field of that key would take.
  ObjectField* FindField(const ObjectKey& key, size_t* insertAt = nullptr);
  ObjectField* FindField(std::wstring_view textKey) { return FindField(ObjectKey::OfText(textKey)); }
  // Adds an empty-text field of that key at the position FindField gave;
  // null when memory runs out. Object keys gain a reference.
  ObjectField* InsertField(const ObjectKey& key, size_t at);
  // The field of that key, created empty when missing (null when memory
  // runs out).
  ObjectField* FieldFor(const ObjectKey& key);
  // Removes the fields [first, last) after releasing their keys and values.
  void RemoveFields(size_t first, size_t last);
  // Releases a field's value and makes it the empty text.
  static void ClearValue(ObjectField& field);
  // Stores text, an integer, a float or an object (gaining a reference)
  // into a field; false when memory for the text runs out (the field is
  // then empty).
  static bool SetText(ObjectField& field, std::wstring_view text);
  static void SetInteger(ObjectField& field, int64_t value);
  static void SetFloat(ObjectField& field, double value);
  static void SetObject(ObjectField& field, IObject* object);
  // Makes the field's own text buffer hold `chars` characters and a
  // terminator, keeping what fits; false when memory runs out.
  static bool ResizeText(ObjectField& field, size_t chars);

  // --- The field array --------------------------------------------------------
  size_t FieldCount() const { return count_; }
  size_t Capacity() const { return capacity_; }
  size_t IntegerKeyCount() const { return intKeyCount_; }
  size_t IntegerOrObjectKeyCount() const { return intOrObjectKeyCount_; }
  // The field at a position, in the visible order (call SortKeys first when
  // the order matters).
  ObjectField& FieldAt(size_t i) { return fields_[i]; }
  const ObjectField& FieldAt(size_t i) const { return fields_[i]; }
  // The key kind of the field at a position.
  KeyKind KeyKindAt(size_t i) const {
    return i < intKeyCount_ ? KeyKind::Integer : i < intOrObjectKeyCount_ ? KeyKind::Object : KeyKind::Text;
  }
  // Sorts text keys that arrived out of order into place.
  void SortKeys();
  // Grows or shrinks the array to `capacity` fields (at least the count);
  // false when memory runs out.
  bool SetCapacity(size_t capacity);
  // Adds `delta` to every integer key at position `from` or later (within
  // the integer segment); the order is kept.
  void ShiftIntegerKeys(size_t from, int64_t delta);

  // --- Conveniences for C++ code ----------------------------------------------
  // Stores a value under a text key (names compare without regard to case).
  void SetField(std::wstring_view name, FieldValue value);
  // Stores a value under an integer key.
  void SetItem(int64_t key, FieldValue value);
  // The field of a text key, or null.
  const ObjectField* GetField(std::wstring_view name);
  // The field of a text key here or along the base chain, or null.
  const ObjectField* FindInherited(std::wstring_view name);
  // The highest integer key if positive, else 0.
  int64_t ArrayLength() const;
  // The element at an integer key as text ("" when absent or an object).
  std::wstring ItemText(int64_t index);

  // Whether this object or any base up the chain could answer a call of
  // `name` in any way other than "not handled": it holds the key, has a
  // __Call, or is not an Object. False lets a caller skip the request.
  bool ChainMayAnswer(std::wstring_view name);

  // Which of the keys __Get, __Set, __Call and __Delete the object holds,
  // so that requests skip looking for meta-functions an object lacks.
  enum MetaKey : uint8_t { kMetaGet = 1, kMetaSet = 2, kMetaCall = 4, kMetaDelete = 8 };
  bool HoldsMetaKey(uint8_t keys) const { return (metaKeys_ & keys) != 0; }

  // The object whose members this one inherits (a class's parent class, an
  // instance's class); null when none. The object holds a reference.
  IObject* Base() const { return base_; }
  // The base when it is an Object (the usual case), else null.
  Object* BaseObject() const;
  void SetBase(IObject* base);

 protected:
  Object() : ObjectBase(ObjectTag::Object) {}

 private:
  // Starting room of the field array.
  static constexpr size_t kInitialCapacity = 4;
  // Up to this many text keys stay sorted as they arrive; beyond it new
  // keys that would land in the middle are appended and sorted later.
  static constexpr size_t kSortedTextLimit = 64;
  // Text segments of this many keys or more are found through a hash index.
  static constexpr size_t kHashedTextKeys = 32;
  // Up to this many text keys are compared one by one, length first.
  static constexpr size_t kLinearTextKeys = 8;

  ObjectField* FindInteger(int64_t key, size_t& at);
  ObjectField* FindObjectKey(IObject* key, size_t& at);
  ObjectField* FindText(std::wstring_view key, size_t* at);
  // The meta key bit of a text key, or 0.
  static uint8_t MetaKeyOf(std::wstring_view key);
  // Binary search of the fields [low, high) by `order`, which compares a
  // field's key with the one wanted (<0, 0, >0); `at` receives the position
  // the key has or would take.
  template <typename Order>
  ObjectField* SearchFields(size_t low, size_t high, size_t& at, Order order);
  // Binary search of the sorted text keys; `at` receives the position the
  // key has or would take.
  ObjectField* SearchSortedText(std::wstring_view key, size_t& at);
  // Finds a text key in the unsorted tail or through the hash index.
  ObjectField* FindTextUnsorted(std::wstring_view key, size_t& at);
  bool Grow();
  // Drops the hash index; positions moved.
  void ForgetIndex() { hashSlots_.clear(); }
  void BuildIndex();
  void IndexField(size_t position);
  // Allocates, resizes and frees field arrays (the first size from a free
  // list); null when memory runs out.
  static ObjectField* ResizeFields(ObjectField* fields, size_t oldCapacity, size_t newCapacity);
  static void ReleaseKeyAndValue(ObjectField& field, KeyKind kind);

  IObject* base_ = nullptr;
  ObjectField* fields_ = nullptr;
  wchar_t* sharedTexts_ = nullptr;  // the block CreateArray's texts live in
  size_t intKeyCount_ = 0;
  size_t intOrObjectKeyCount_ = 0;
  size_t count_ = 0;
  size_t capacity_ = 0;
  size_t sortedTextEnd_ = 0;  // text keys before this position are in order
  uint8_t metaKeys_ = 0;      // MetaKey bits of the text keys held
  // Open-addressing index of the text keys: the key's hash in the high half,
  // position + 1 in the low half, 0 when empty. The hash spares looking at
  // the fields (and their key texts) that are not the one wanted.
  std::vector<uint64_t> hashSlots_;
};

// Compares texts with only A-Z folded to a-z: <0, 0 or >0.
int CompareKeyText(std::wstring_view a, std::wstring_view b);

// The key a token stands for: an integer for a token whose numeric type is
// integer (quoted literals are text), an object for an object, else the
// token's text, which `buffer` (kFloatTextChars) may hold.
ObjectKey KeyOfToken(ExprToken& token, wchar_t* buffer);
