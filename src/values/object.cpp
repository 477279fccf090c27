// Reference counting, the IDispatch face's plumbing, and the storage of
// Object: its sorted field array, key lookup and the text-key index.
#include "values/object.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>

#include "values/expr_operators.h"
#include "values/reserved_block.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

// The text every field without text of its own points at.
wchar_t kNoText[] = L"";

// A-Z folded to a-z; every other code unit stays.
inline wchar_t FoldKeyChar(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + (L'a' - L'A')) : c; }

// FNV-1a over the folded code units.
uint32_t HashKeyText(std::wstring_view text) {
  uint32_t hash = 2166136261u;
  for (wchar_t c : text) {
    hash ^= static_cast<uint32_t>(FoldKeyChar(c));
    hash *= 16777619u;
  }
  return hash;
}

// A copy of a text on the heap, terminated; null when memory runs out.
wchar_t* CopyText(std::wstring_view text) {
  auto* copy = static_cast<wchar_t*>(std::malloc((text.size() + 1) * sizeof(wchar_t)));
  if (!copy) return nullptr;
  if (!text.empty()) std::wmemcpy(copy, text.data(), text.size());
  copy[text.size()] = L'\0';
  return copy;
}

// A free list of equal-sized blocks: what was given back is handed out
// again before the heap is asked. Objects live and die on the script
// thread, so it needs no lock; beyond kMaxKept blocks, returns go to the heap.
class BlockPool {
 public:
  // A block of the pool's size; null when memory runs out.
  void* Take(size_t bytes) {
    if (!free_) return std::malloc(bytes);
    FreeBlock* block = free_;
    free_ = block->Next;
    --kept_;
    return block;
  }
  // Gives a block back.
  void Give(void* block) {
    if (kept_ >= kMaxKept) {
      std::free(block);
      return;
    }
    auto* freed = static_cast<FreeBlock*>(block);
    freed->Next = free_;
    free_ = freed;
    ++kept_;
  }

 private:
  struct FreeBlock {
    FreeBlock* Next;
  };
  static constexpr size_t kMaxKept = 4096;
  FreeBlock* free_ = nullptr;
  size_t kept_ = 0;
};

// The pools of Object records and of first-size field arrays. Written only
// by Object's allocation functions on the script thread; never destroyed,
// since objects may still be released at exit.
struct ObjectPools {
  BlockPool Objects;
  BlockPool Fields;
};
ObjectPools& Pools() {
  static ObjectPools* pools = new ObjectPools();
  return *pools;
}

}  // namespace

int CompareKeyText(std::wstring_view a, std::wstring_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    if (a[i] == b[i]) continue;
    const wchar_t x = FoldKeyChar(a[i]), y = FoldKeyChar(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

// Whether a text starts like a name: such a text is never a number, so a
// member name needs no numeric scan.
inline bool StartsLikeName(const wchar_t* text) {
  const wchar_t c = text ? *text : L'\0';
  return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || c == L'_';
}

ObjectKey KeyOfToken(ExprToken& token, wchar_t* buffer) {
  if (token.Symbol == ExprSymbol::RawWord && !token.PreParsed && StartsLikeName(token.Text))
    return ObjectKey::OfText(token.Text);
  if (IObject* object = ObjectOf(token)) return ObjectKey::OfObject(object);
  const NumericKind kind = NumericTypeOf(token);
  if (kind == PURE_INTEGER) return ObjectKey::OfInteger(IntegerOf(token));
  // A float (a number, or a number written in the expression) is its text
  // by the thread's float format; text held in a variable stays as it is.
  if (kind == PURE_FLOAT && token.Symbol != ExprSymbol::VariableRef) {
    FloatToText(FloatOf(token), buffer, kFloatTextChars, Values().CurrentThread->FloatFormatText);
    return ObjectKey::OfText(buffer);
  }
  switch (token.Symbol) {
    case ExprSymbol::VariableRef: return ObjectKey::OfText(token.Var->TextOf());
    case ExprSymbol::Integer: IntegerToText(token.ValueInt64, buffer); return ObjectKey::OfText(buffer);
    case ExprSymbol::String:
    case ExprSymbol::RawWord:
    case ExprSymbol::Omitted: return ObjectKey::OfText(token.Text ? token.Text : L"");
    default: return ObjectKey::OfText(L"");
  }
}

// ---------------------------------------------------------------------------
// ObjectBase

STDMETHODIMP ObjectBase::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
    AddRef();
    *object = static_cast<IDispatch*>(this);
    return S_OK;
  }
  if (IsEqualIID(riid, IID_IObject)) {
    AddRef();
    *object = static_cast<IObject*>(this);
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) ObjectBase::Release() {
  if (refCount_ == 1) {
    // Delete may keep the object alive (a __Delete that stored a new
    // reference); the count it leaves is the answer then.
    const ULONG before = refCount_;
    if (Delete()) return 0;
    return refCount_ > before ? --refCount_ : refCount_;
  }
  return --refCount_;
}

bool ObjectBase::Delete() {
  delete this;
  return true;
}

STDMETHODIMP ObjectBase::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

STDMETHODIMP ObjectBase::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP ObjectBase::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) {
  if (Values().Dispatch.GetIDsOfNames) return Values().Dispatch.GetIDsOfNames(this, riid, names, count, lcid, ids);
  for (UINT i = 0; ids && i < count; ++i) ids[i] = DISPID_UNKNOWN;
  return DISP_E_UNKNOWNNAME;
}

STDMETHODIMP ObjectBase::Invoke(DISPID member, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                EXCEPINFO* exception, UINT* argError) {
  if (Values().Dispatch.Invoke)
    return Values().Dispatch.Invoke(this, member, riid, lcid, flags, params, result, exception, argError);
  return DISP_E_MEMBERNOTFOUND;
}

// ---------------------------------------------------------------------------
// FieldValue

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

FieldValue FieldValue::OfObject(IObject* object) {
  FieldValue value;
  value.Type = Kind::Object;
  value.Object = object;
  return value;
}

FieldValue PeekFieldValue(const ObjectField& field) {
  FieldValue value;
  switch (field.Kind) {
    case ExprSymbol::Integer: return FieldValue::OfInteger(field.IntValue);
    case ExprSymbol::Float:
      value.Type = FieldValue::Kind::Float;
      value.Float = field.FloatValue;
      return value;
    case ExprSymbol::ObjectRef: return FieldValue::OfObject(field.ObjectValue);
    default: return FieldValue::OfText(field.TextValue);
  }
}

// ---------------------------------------------------------------------------
// Object: creation, the script face

Object* Object::Create() { return new (std::nothrow) Object(); }

void* Object::operator new(size_t bytes, const std::nothrow_t&) noexcept {
  return bytes == sizeof(Object) ? Pools().Objects.Take(bytes) : std::malloc(bytes);
}

void* Object::operator new(size_t bytes) {
  void* block = operator new(bytes, std::nothrow);
  if (!block) throw std::bad_alloc();
  return block;
}

void Object::operator delete(void* block, size_t bytes) noexcept {
  if (bytes == sizeof(Object))
    Pools().Objects.Give(block);
  else
    std::free(block);
}

Object* Object::CreateArray(const std::vector<std::wstring>& items) {
  const std::vector<std::wstring_view> views(items.begin(), items.end());
  return CreateArray(views.data(), views.size());
}

Object* Object::CreateArray(const std::wstring_view* items, size_t count) {
  size_t chars = 0;
  for (size_t i = 0; i < count; ++i) chars += items[i].size();
  TextArrayBuilder builder;
  if (!builder.Start(count, chars)) return nullptr;
  for (size_t i = 0; i < count; ++i) builder.Add(items[i]);
  return builder.Finish();
}

bool Object::TextArrayBuilder::Start(size_t count, size_t chars) {
  object_ = Create();
  if (!object_) return false;
  // One block for all the texts: splitting a large text into many small
  // parts would otherwise cost a heap allocation per part.
  const size_t units = chars + count;
  if (units && !(object_->sharedTexts_ = static_cast<wchar_t*>(std::malloc(units * sizeof(wchar_t))))) return false;
  next_ = object_->sharedTexts_;
  return object_->SetCapacity(count);
}

void Object::TextArrayBuilder::Add(std::wstring_view text) {
  // The object is new: the keys 1..count are written in order, nothing is
  // searched or moved.
  ObjectField& field = object_->fields_[added_++];
  field.IntKey = static_cast<int64_t>(added_);
  field.Kind = ExprSymbol::RawWord;
  field.TextCapacity = 0;
  field.KeyLength = 0;
  if (text.empty()) {
    field.TextValue = kNoText;
    return;
  }
  std::wmemcpy(next_, text.data(), text.size());
  next_[text.size()] = L'\0';
  field.TextValue = next_;
  next_ += text.size() + 1;
}

Object* Object::TextArrayBuilder::Finish() {
  Object* object = object_;
  object_ = nullptr;
  object->count_ = object->intKeyCount_ = object->intOrObjectKeyCount_ = object->sortedTextEnd_ = added_;
  return object;
}

Object::TextArrayBuilder::~TextArrayBuilder() {
  if (object_) object_->Release();
}

bool Object::OwnText(ObjectField& field) {
  if (!field.IsText() || field.TextCapacity || field.TextValue == kNoText) return true;
  const std::wstring_view text(field.TextValue);
  wchar_t* copy = CopyText(text);
  if (!copy) return false;
  field.TextValue = copy;
  field.TextCapacity = text.size() + 1;
  return true;
}

Object::~Object() {
  for (size_t i = 0; i < count_; ++i) ReleaseKeyAndValue(fields_[i], KeyKindAt(i));
  ResizeFields(fields_, capacity_, 0);
  std::free(sharedTexts_);
  if (base_) base_->Release();
}

ResultCode Object::Invoke(ExprToken& result, ExprToken& thisToken, int flags, ExprToken** params, int count) {
  if (!Values().ObjectInvoke) return ResultCode::NotHandled;
  return Values().ObjectInvoke(*this, result, thisToken, flags, params, count);
}

const wchar_t* Object::Type() {
  if (FindField(L"__Class")) return L"Class";
  int depth = 0;
  for (Object* at = BaseObject(); at && depth < 1000; at = at->BaseObject(), ++depth)
    if (ObjectField* name = at->FindField(L"__Class")) return name->IsText() ? name->TextValue : L"Object";
  return L"Object";
}

bool Object::Delete() {
  if (Values().ObjectDelete && !Values().ObjectDelete(*this)) return false;
  delete this;
  return true;
}

Object* Object::BaseObject() const {
  return base_ && TagOf(base_) == ObjectTag::Object ? static_cast<Object*>(base_) : nullptr;
}

bool Object::ChainMayAnswer(std::wstring_view name) {
  int depth = 0;
  for (IObject* at = this; at; ++depth) {
    if (TagOf(at) != ObjectTag::Object || depth >= 1000) return true;
    auto* object = static_cast<Object*>(at);
    if (object->HoldsMetaKey(kMetaCall) || object->FindField(name)) return true;
    at = object->Base();
  }
  return false;
}

void Object::SetBase(IObject* base) {
  if (base) base->AddRef();
  IObject* old = base_;
  base_ = base;
  if (old) old->Release();
}

// ---------------------------------------------------------------------------
// Lookup

ObjectField* Object::FindInteger(int64_t key, size_t& at) {
  size_t low = 0, high = intKeyCount_;
  if (high == 0) {
    at = 0;
    return nullptr;
  }
  // Appending to an array is the common case: check the end first.
  if (fields_[high - 1].IntKey < key) {
    at = high;
    return nullptr;
  }
  // Keys without gaps (an array) sit at their distance from the first.
  const int64_t first = fields_[0].IntKey;
  if (key >= first) {
    const uint64_t offset = static_cast<uint64_t>(key) - static_cast<uint64_t>(first);
    if (offset < high && fields_[offset].IntKey == key) {
      at = static_cast<size_t>(offset);
      return &fields_[offset];
    }
  }
  return SearchFields(low, high, at, [key](const ObjectField& field) {
    return field.IntKey < key ? -1 : field.IntKey > key ? 1 : 0;
  });
}

ObjectField* Object::FindObjectKey(IObject* key, size_t& at) {
  const auto wanted = reinterpret_cast<uintptr_t>(key);
  return SearchFields(intKeyCount_, intOrObjectKeyCount_, at, [wanted](const ObjectField& field) {
    const auto found = reinterpret_cast<uintptr_t>(field.ObjectKey);
    return found < wanted ? -1 : found > wanted ? 1 : 0;
  });
}

ObjectField* Object::FindText(std::wstring_view key, size_t* at) {
  const size_t textKeys = count_ - intOrObjectKeyCount_;
  const bool sorted = sortedTextEnd_ == count_;
  size_t found = 0;
  if (!sorted || textKeys >= kHashedTextKeys) {
    if (ObjectField* field = FindTextUnsorted(key, found)) {
      if (at) *at = found;
      return field;
    }
    if (!at) return nullptr;
    // A new key: past the last while that keeps the order, in its place
    // while the segment is small and sorted, else onto the unsorted tail.
    *at = count_;
    if (!sorted || textKeys == 0 || CompareKeyText(fields_[count_ - 1].TextKey, key) < 0 ||
        textKeys >= kSortedTextLimit)
      return nullptr;
  } else if (textKeys <= kLinearTextKeys) {
    // A few keys: most differ in length, which rules them out at once.
    for (size_t i = intOrObjectKeyCount_; i < count_; ++i) {
      const ObjectField& candidate = fields_[i];
      if (candidate.KeyLength == key.size() &&
          CompareKeyText(std::wstring_view(candidate.TextKey, candidate.KeyLength), key) == 0) {
        if (at) *at = i;
        return &fields_[i];
      }
    }
    if (!at) return nullptr;
  }
  size_t position = 0;
  ObjectField* field = SearchSortedText(key, position);
  if (at) *at = position;
  return field;
}

ObjectField* Object::SearchSortedText(std::wstring_view key, size_t& at) {
  return SearchFields(intOrObjectKeyCount_, sortedTextEnd_, at, [key](const ObjectField& field) {
    return CompareKeyText(std::wstring_view(field.TextKey, field.KeyLength), key);
  });
}

template <typename Order>
ObjectField* Object::SearchFields(size_t low, size_t high, size_t& at, Order order) {
  while (low < high) {
    const size_t mid = low + (high - low) / 2;
    const int compared = order(fields_[mid]);
    if (compared == 0) {
      at = mid;
      return &fields_[mid];
    }
    if (compared < 0)
      low = mid + 1;
    else
      high = mid;
  }
  at = low;
  return nullptr;
}

uint8_t Object::MetaKeyOf(std::wstring_view key) {
  if (key.size() < 5 || key.size() > 8 || key[0] != L'_' || key[1] != L'_') return 0;
  static constexpr struct {
    const wchar_t* Name;
    uint8_t Bit;
  } kMetaKeys[] = {{L"__Get", kMetaGet}, {L"__Set", kMetaSet}, {L"__Call", kMetaCall}, {L"__Delete", kMetaDelete}};
  for (const auto& meta : kMetaKeys)
    if (CompareKeyText(meta.Name, key) == 0) return meta.Bit;
  return 0;
}

ObjectField* Object::FindTextUnsorted(std::wstring_view key, size_t& at) {
  const size_t textKeys = count_ - intOrObjectKeyCount_;
  if (textKeys < kHashedTextKeys) {
    // Few keys: the sorted part by halves, the tail one by one.
    if (ObjectField* found = SearchSortedText(key, at)) return found;
    for (size_t i = sortedTextEnd_; i < count_; ++i)
      if (CompareKeyText(fields_[i].TextKey, key) == 0) {
        at = i;
        return &fields_[i];
      }
    return nullptr;
  }
  if (hashSlots_.empty()) BuildIndex();
  if (hashSlots_.empty()) {
    // No memory for the index: look at every key.
    for (size_t i = intOrObjectKeyCount_; i < count_; ++i)
      if (CompareKeyText(fields_[i].TextKey, key) == 0) {
        at = i;
        return &fields_[i];
      }
    return nullptr;
  }
  const size_t mask = hashSlots_.size() - 1;
  const uint32_t hash = HashKeyText(key);
  for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
    const uint64_t entry = hashSlots_[slot];
    if (!entry) return nullptr;
    if (static_cast<uint32_t>(entry >> 32) != hash) continue;
    const auto position = static_cast<uint32_t>(entry) - 1;
    ObjectField& field = fields_[position];
    if (field.KeyLength == key.size() && CompareKeyText(std::wstring_view(field.TextKey, field.KeyLength), key) == 0) {
      at = position;
      return &field;
    }
  }
}

void Object::BuildIndex() {
  const size_t textKeys = count_ - intOrObjectKeyCount_;
  size_t size = 64;
  while (size < textKeys * 2) size *= 2;
  try {
    hashSlots_.assign(size, 0);
  } catch (const std::bad_alloc&) {
    hashSlots_.clear();
    return;
  }
  for (size_t i = intOrObjectKeyCount_; i < count_; ++i) IndexField(i);
}

void Object::IndexField(size_t position) {
  const size_t mask = hashSlots_.size() - 1;
  const ObjectField& field = fields_[position];
  const uint32_t hash = HashKeyText(std::wstring_view(field.TextKey, field.KeyLength));
  size_t slot = hash & mask;
  while (hashSlots_[slot]) slot = (slot + 1) & mask;
  hashSlots_[slot] = (static_cast<uint64_t>(hash) << 32) | static_cast<uint32_t>(position + 1);
}

ObjectField* Object::FindField(const ObjectKey& key, size_t* insertAt) {
  size_t at = 0;
  ObjectField* found = nullptr;
  switch (key.Kind) {
    case KeyKind::Integer: found = FindInteger(key.Integer, at); break;
    case KeyKind::Object: found = FindObjectKey(key.Ref, at); break;
    case KeyKind::Text: return FindText(key.Text, insertAt);
  }
  if (insertAt) *insertAt = at;
  return found;
}

// ---------------------------------------------------------------------------
// Storage

bool Object::Grow() { return SetCapacity(capacity_ ? capacity_ * 2 : kInitialCapacity); }

bool Object::SetCapacity(size_t capacity) {
  if (capacity < count_) capacity = count_;
  if (capacity == capacity_) return true;
  if (capacity == 0) {
    ResizeFields(fields_, capacity_, 0);
    fields_ = nullptr;
    capacity_ = 0;
    return true;
  }
  if (capacity > SIZE_MAX / sizeof(ObjectField)) return false;
  ObjectField* grown = ResizeFields(fields_, capacity_, capacity);
  if (!grown) return false;
  fields_ = grown;
  capacity_ = capacity;
  return true;
}

ObjectField* Object::ResizeFields(ObjectField* fields, size_t oldCapacity, size_t newCapacity) {
  const size_t oldBytes = oldCapacity * sizeof(ObjectField);
  const size_t newBytes = newCapacity * sizeof(ObjectField);
  const bool oldReserved = fields && oldBytes >= reserved_block::kMinBytes;
  const bool newReserved = newBytes >= reserved_block::kMinBytes;
  if (oldReserved && newReserved) return static_cast<ObjectField*>(reserved_block::Resize(fields, oldBytes, newBytes));
  const bool oldPooled = fields && oldCapacity == kInitialCapacity;
  const bool newPooled = newCapacity == kInitialCapacity;
  if (!oldPooled && !newPooled && !oldReserved && !newReserved) {
    if (newCapacity) return static_cast<ObjectField*>(std::realloc(fields, newBytes));
    std::free(fields);
    return nullptr;
  }
  // Moving between the pool's size, the heap and a reserved block: a new
  // block and a copy.
  ObjectField* made = nullptr;
  if (newCapacity) {
    void* memory = newPooled     ? Pools().Fields.Take(newBytes)
                   : newReserved ? reserved_block::Allocate(newBytes)
                                 : std::malloc(newBytes);
    made = static_cast<ObjectField*>(memory);
    if (!made) return nullptr;
    if (fields) std::memcpy(static_cast<void*>(made), fields, std::min(oldBytes, newBytes));
  }
  if (fields) {
    if (oldPooled)
      Pools().Fields.Give(fields);
    else if (oldReserved)
      reserved_block::Free(fields);
    else
      std::free(fields);
  }
  return made;
}

ObjectField* Object::InsertField(const ObjectKey& key, size_t at) {
  if (count_ == capacity_ && !Grow()) return nullptr;
  wchar_t* textKey = nullptr;
  if (key.Kind == KeyKind::Text && !(textKey = CopyText(key.Text))) return nullptr;
  if (at < count_)
    std::memmove(static_cast<void*>(&fields_[at + 1]), &fields_[at], (count_ - at) * sizeof(ObjectField));
  ObjectField& field = fields_[at];
  field.TextValue = kNoText;
  field.TextCapacity = 0;
  field.Kind = ExprSymbol::RawWord;
  const bool appendedText = key.Kind == KeyKind::Text && at == count_;
  switch (key.Kind) {
    case KeyKind::Integer:
      field.IntKey = key.Integer;
      ++intKeyCount_;
      ++intOrObjectKeyCount_;
      ++sortedTextEnd_;
      break;
    case KeyKind::Object:
      field.ObjectKey = key.Ref;
      key.Ref->AddRef();
      ++intOrObjectKeyCount_;
      ++sortedTextEnd_;
      break;
    case KeyKind::Text:
      field.TextKey = textKey;
      field.KeyLength = static_cast<uint32_t>(key.Text.size());
      metaKeys_ = static_cast<uint8_t>(metaKeys_ | MetaKeyOf(key.Text));
      // In order when it is the first key past a sorted segment or when it
      // went to its sorted place.
      if (at < sortedTextEnd_ ||
          (at == count_ && sortedTextEnd_ == count_ &&
           (count_ == intOrObjectKeyCount_ || CompareKeyText(fields_[count_ - 1].TextKey, key.Text) < 0)))
        ++sortedTextEnd_;
      break;
  }
  ++count_;
  if (!hashSlots_.empty()) {
    if (appendedText && hashSlots_.size() >= (count_ - intOrObjectKeyCount_) * 2)
      IndexField(at);
    else
      ForgetIndex();
  }
  return &field;
}

ObjectField* Object::FieldFor(const ObjectKey& key) {
  size_t at = 0;
  if (ObjectField* found = FindField(key, &at)) return found;
  return InsertField(key, at);
}

void Object::ReleaseKeyAndValue(ObjectField& field, KeyKind kind) {
  ClearValue(field);
  if (kind == KeyKind::Text)
    std::free(field.TextKey);
  else if (kind == KeyKind::Object)
    field.ObjectKey->Release();
}

void Object::RemoveFields(size_t first, size_t last) {
  if (first >= last || last > count_) return;
  // Keys and values are released after the array is consistent again, since
  // releasing an object may run script code that looks at this object.
  std::vector<ObjectField> removed(fields_ + first, fields_ + last);
  std::vector<KeyKind> kinds;
  kinds.reserve(last - first);
  for (size_t i = first; i < last; ++i) kinds.push_back(KeyKindAt(i));
  const size_t n = last - first;
  std::memmove(static_cast<void*>(&fields_[first]), &fields_[last], (count_ - last) * sizeof(ObjectField));
  const size_t ints = first < intKeyCount_ ? std::min(last, intKeyCount_) - first : 0;
  const size_t intsOrObjects = first < intOrObjectKeyCount_ ? std::min(last, intOrObjectKeyCount_) - first : 0;
  intKeyCount_ -= ints;
  intOrObjectKeyCount_ -= intsOrObjects;
  // Sorted text keys removed from before the unsorted tail move it down.
  const size_t sortedRemoved = first < sortedTextEnd_ ? std::min(last, sortedTextEnd_) - first : 0;
  sortedTextEnd_ -= sortedRemoved;
  count_ -= n;
  if (sortedTextEnd_ > count_) sortedTextEnd_ = count_;
  ForgetIndex();
  for (size_t i = 0; i < removed.size(); ++i)
    if (kinds[i] == KeyKind::Text) metaKeys_ = static_cast<uint8_t>(metaKeys_ & ~MetaKeyOf(removed[i].TextKey));
  for (size_t i = 0; i < removed.size(); ++i) ReleaseKeyAndValue(removed[i], kinds[i]);
}

void Object::SortKeys() {
  if (sortedTextEnd_ >= count_) return;
  std::sort(fields_ + intOrObjectKeyCount_, fields_ + count_,
            [](const ObjectField& a, const ObjectField& b) { return CompareKeyText(a.TextKey, b.TextKey) < 0; });
  sortedTextEnd_ = count_;
  ForgetIndex();
}

void Object::ShiftIntegerKeys(size_t from, int64_t delta) {
  for (size_t i = from; i < intKeyCount_; ++i) fields_[i].IntKey += delta;
}

void Object::ClearValue(ObjectField& field) {
  if (field.Kind == ExprSymbol::ObjectRef) {
    IObject* object = field.ObjectValue;
    field.Kind = ExprSymbol::RawWord;
    field.TextValue = kNoText;
    field.TextCapacity = 0;
    object->Release();
    return;
  }
  if (field.Kind == ExprSymbol::RawWord && field.TextCapacity) {
    // Keep the buffer: a later text of the same size reuses it.
    field.TextValue[0] = L'\0';
    return;
  }
  field.Kind = ExprSymbol::RawWord;
  field.TextValue = kNoText;
  field.TextCapacity = 0;
}

bool Object::ResizeText(ObjectField& field, size_t chars) {
  if (field.Kind != ExprSymbol::RawWord) ClearValue(field);
  if (chars == 0 && field.TextCapacity) {
    std::free(field.TextValue);
    field.TextValue = kNoText;
    field.TextCapacity = 0;
    return true;
  }
  if (chars + 1 == field.TextCapacity) return true;
  if (chars >= SIZE_MAX / sizeof(wchar_t) - 1) return false;
  wchar_t* old = field.TextCapacity ? field.TextValue : nullptr;
  auto* grown = static_cast<wchar_t*>(std::realloc(old, (chars + 1) * sizeof(wchar_t)));
  if (!grown) return false;
  if (!old) grown[0] = L'\0';
  grown[chars] = L'\0';
  field.TextValue = grown;
  field.TextCapacity = chars + 1;
  return true;
}

bool Object::SetText(ObjectField& field, std::wstring_view text) {
  if (field.Kind == ExprSymbol::ObjectRef) ClearValue(field);
  field.Kind = ExprSymbol::RawWord;
  if (text.empty()) {
    if (field.TextCapacity)
      field.TextValue[0] = L'\0';
    else
      field.TextValue = kNoText;
    return true;
  }
  if (field.TextCapacity < text.size() + 1) {
    // Room to spare, so that a field built up piece by piece is not copied
    // for every piece.
    const size_t wanted = text.size() + 1 + (text.size() >> 2);
    wchar_t* old = field.TextCapacity ? field.TextValue : nullptr;
    auto* grown = static_cast<wchar_t*>(std::realloc(old, wanted * sizeof(wchar_t)));
    if (!grown) {
      ClearValue(field);
      return false;
    }
    field.TextValue = grown;
    field.TextCapacity = wanted;
  }
  std::wmemmove(field.TextValue, text.data(), text.size());
  field.TextValue[text.size()] = L'\0';
  return true;
}

void Object::SetInteger(ObjectField& field, int64_t value) {
  if (field.Kind == ExprSymbol::ObjectRef) ClearValue(field);
  if (field.TextCapacity) {
    std::free(field.TextValue);
    field.TextCapacity = 0;
  }
  field.IntValue = value;
  field.Kind = ExprSymbol::Integer;
}

void Object::SetFloat(ObjectField& field, double value) {
  if (field.Kind == ExprSymbol::ObjectRef) ClearValue(field);
  if (field.TextCapacity) {
    std::free(field.TextValue);
    field.TextCapacity = 0;
  }
  field.FloatValue = value;
  field.Kind = ExprSymbol::Float;
}

void Object::SetObject(ObjectField& field, IObject* object) {
  object->AddRef();
  if (field.Kind == ExprSymbol::ObjectRef) {
    IObject* old = field.ObjectValue;
    field.ObjectValue = object;
    old->Release();
    return;
  }
  if (field.TextCapacity) {
    std::free(field.TextValue);
    field.TextCapacity = 0;
  }
  field.ObjectValue = object;
  field.Kind = ExprSymbol::ObjectRef;
}

// ---------------------------------------------------------------------------
// Conveniences

namespace {

// Stores a FieldValue into a field, taking over its object reference.
void StoreFieldValue(ObjectField& field, FieldValue& value) {
  switch (value.Type) {
    case FieldValue::Kind::Text: Object::SetText(field, value.Text); break;
    case FieldValue::Kind::Integer: Object::SetInteger(field, value.Integer); break;
    case FieldValue::Kind::Float: Object::SetFloat(field, value.Float); break;
    case FieldValue::Kind::Object:
      Object::SetObject(field, value.Object);
      value.Object->Release();
      value.Object = nullptr;
      break;
  }
}

// Gives back the reference a FieldValue that was not stored holds.
void DropFieldValue(FieldValue& value) {
  if (value.Type == FieldValue::Kind::Object && value.Object) value.Object->Release();
}

}  // namespace

void Object::SetField(std::wstring_view name, FieldValue value) {
  if (ObjectField* field = FieldFor(ObjectKey::OfText(name)))
    StoreFieldValue(*field, value);
  else
    DropFieldValue(value);
}

void Object::SetItem(int64_t key, FieldValue value) {
  if (ObjectField* field = FieldFor(ObjectKey::OfInteger(key)))
    StoreFieldValue(*field, value);
  else
    DropFieldValue(value);
}

const ObjectField* Object::GetField(std::wstring_view name) { return FindField(ObjectKey::OfText(name)); }

const ObjectField* Object::FindInherited(std::wstring_view name) {
  int depth = 0;
  for (Object* at = this; at && depth < 1000; at = at->BaseObject(), ++depth)
    if (const ObjectField* field = at->GetField(name)) return field;
  return nullptr;
}

int64_t Object::ArrayLength() const {
  if (!intKeyCount_) return 0;
  const int64_t highest = fields_[intKeyCount_ - 1].IntKey;
  return highest > 0 ? highest : 0;
}

std::wstring Object::ItemText(int64_t index) {
  const ObjectField* field = FindField(ObjectKey::OfInteger(index));
  if (!field) return std::wstring();
  switch (field->Kind) {
    case ExprSymbol::RawWord: return field->TextValue;
    case ExprSymbol::Integer: return std::to_wstring(field->IntValue);
    default: return std::wstring();
  }
}
