// Variable records: assignment with the capacity rules, lazy number text,
// conversions, the environment fallback, the never-freed small-block pool,
// the sorted name lists and scope resolution.
#include "values/variable.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <new>
#include <vector>

#include "base/error_sink.h"
#include "base/script_context.h"
#include "base/text_length.h"
#include "values/expr_token.h"
#include "values/object.h"
#include "values/thread_settings.h"
#include "values/values_state.h"

namespace {

// The pool takes memory from the heap in chunks of this size; requests
// larger than a quarter chunk get a block of their own.
constexpr size_t kPoolChunkBytes = 64 * 1024;
constexpr size_t kPoolAlignment = kVarPoolAlignment;
// Heap growth steps for variable contents, in bytes needed.
constexpr size_t kHeapMinimum = 32;
constexpr size_t kHeapSecondStep = 520;
constexpr size_t kHeapTenPercentBelow = 327680;
constexpr size_t kHeapFixedSlackBelow = 3276800;
constexpr size_t kHeapFixedSlack = 32768;
constexpr size_t kHeapOnePercentBelow = 13107200;
constexpr size_t kHeapLargeSlack = 131072;
// Lengths beyond this cannot be sized without overflow; treated as out of memory.
constexpr size_t kMaxCharacters = SIZE_MAX / 8;
// #MaxMem bounds, in megabytes.
constexpr double kMaxMemLowest = 1;
constexpr double kMaxMemHighest = 4095;
constexpr double kBytesPerMegabyte = 1048576;
// Text buffers on the stack for built-in values read for a conversion.
constexpr size_t kFetchBufferChars = 256;
// Variable list growth.
constexpr size_t kListSecondCapacity = 1000;
constexpr size_t kListPlainLimit = 9999;
constexpr size_t kListLazyCapacity = 2000;
constexpr size_t kListLazyModeCapacity = 100000;
constexpr size_t kListLargeStep = 1000000;

// The text of every variable without memory of its own: "" for the whole
// process, a constant in all but its type. It is not const only because
// text_ is the writable buffer of the variables that own memory; nothing
// writes through text_ while the capacity is 0 (each write either checks
// the capacity or follows Reserve), so it never changes. Being no state,
// it stays out of ValuesState: a reset has nothing to do with it, and the
// variables that point at it outlive any reset.
wchar_t kEmptyText[1] = {L'\0'};

// Whether a copied integer must keep its text ("007", " 5", "+5"): the text
// would not survive being regenerated from the number.
bool KeepsOwnText(const wchar_t* text, size_t length) {
  if (!length) return false;
  const wchar_t first = text[0], last = text[length - 1];
  return first == L' ' || first == L'\t' || last == L' ' || last == L'\t' || first == L'0' || first == L'+';
}

// Capacity of a new heap block for bytesNeeded by the growth table.
size_t HeapCapacityFor(size_t bytesNeeded, bool exactSize) {
  if (exactSize) return bytesNeeded;
  if (bytesNeeded < kHeapMinimum) return kHeapMinimum;
  if (bytesNeeded < kHeapSecondStep) return kHeapSecondStep;
  if (bytesNeeded < kHeapTenPercentBelow) return static_cast<size_t>(static_cast<double>(bytesNeeded) * 1.1);
  if (bytesNeeded < kHeapFixedSlackBelow) return bytesNeeded + kHeapFixedSlack;
  if (bytesNeeded < kHeapOnePercentBelow) return bytesNeeded + bytesNeeded / 100;
  return bytesNeeded + kHeapLargeSlack;
}

// A variable's heap block made to hold at least `capacity` bytes, keeping
// its contents. The capacity the rules give grows by small steps, so the
// block itself grows geometrically beyond it (within #MaxMem): a long run of
// appends then copies the text a few times instead of hundreds.
wchar_t* GrowHeapBlock(wchar_t* block, size_t capacity) {
  const SIZE_T blockBytes = HeapSize(GetProcessHeap(), 0, block);
  if (blockBytes != static_cast<SIZE_T>(-1) && blockBytes >= capacity) return block;
  size_t grown = blockBytes != static_cast<SIZE_T>(-1) && blockBytes < SIZE_MAX / 2 ? blockBytes * 2 : capacity;
  if (grown > Values().MaxVarCapacity) grown = Values().MaxVarCapacity;
  if (grown < capacity) grown = capacity;
  ForgetHeapBlockHint(block);
  auto* moved = static_cast<wchar_t*>(HeapReAlloc(GetProcessHeap(), 0, block, grown));
  if (moved) ++Values().VarCounters.HeapAllocations;
  return moved;
}

// Capacity of a small block for bytesNeeded (at most kSmallBlockLarge).
size_t SmallCapacityFor(size_t bytesNeeded, bool exactSize) {
  if (bytesNeeded <= kSmallBlockTiny) return kSmallBlockTiny;
  if (exactSize) return bytesNeeded;
  if (bytesNeeded <= kSmallBlockShort) return kSmallBlockShort;
  return kSmallBlockLarge;
}

// Reports a failure to store a value: while the script runs, as an error of
// the line being run (so a Try can catch it); while it loads, as a load error.
ResultCode ReportValueError(std::wstring_view message, std::wstring_view extra = {}) {
  if (Script().ReadyToRun && Script().CurrentLine)
    return ReportLineError(Script().CurrentLine, message, ERROR_KIND_ERROR, extra);
  return ReportLoadError(message, extra);
}

// Out of memory while growing a variable.
ResultCode ReportOutOfMemory() { return ReportValueError(msg::OutOfMemory); }

static_assert(alignof(Variable) <= 8, "pool blocks are 8-byte aligned");

// Takes a block from the never-freed pool (8-byte aligned); null when out of
// memory. Small variable buffers and variable records come from here.
void* SmallBlockAlloc(size_t bytes) {
  bytes = (bytes + kPoolAlignment - 1) & ~(kPoolAlignment - 1);
  if (!bytes) bytes = kPoolAlignment;
  if (bytes > Values().VarPoolLeft) {
    if (bytes > kPoolChunkBytes / 4) {
      void* own = HeapAlloc(GetProcessHeap(), 0, bytes);
      if (own) ++Values().VarCounters.PoolChunks;
      return own;
    }
    void* chunk = HeapAlloc(GetProcessHeap(), 0, kPoolChunkBytes);
    if (!chunk) return nullptr;
    ++Values().VarCounters.PoolChunks;
    Values().VarPoolNext = static_cast<char*>(chunk);
    Values().VarPoolLeft = kPoolChunkBytes;
  }
  void* block = Values().VarPoolNext;
  Values().VarPoolNext += bytes;
  Values().VarPoolLeft -= bytes;
  return block;
}

// Gives back a small text block when a recursive call's locals are
// restored: it joins the free list of its capacity (ValuesState's
// FreeSmallBlocks), reused before the pool is asked for more, so that
// recursion repeated for hours does not make the pool grow. Each free block
// holds the link to the next in its first bytes.
void RecycleSmallBlock(void* block, size_t capacity) {
  const size_t slot = capacity / kPoolAlignment;
  if (capacity % kPoolAlignment || slot >= kFreeSmallBlockSlots) return;
  void*& head = Values().FreeSmallBlocks[slot];
  *static_cast<void**>(block) = head;
  head = block;
}

// A small text block of exactly that capacity: a recycled one, else new.
void* TakeSmallBlock(size_t capacity) {
  const size_t slot = capacity / kPoolAlignment;
  if (capacity % kPoolAlignment == 0 && slot < kFreeSmallBlockSlots) {
    void*& head = Values().FreeSmallBlocks[slot];
    if (head) {
      void* block = head;
      head = *static_cast<void**>(block);
      return block;
    }
  }
  return SmallBlockAlloc(capacity);
}

// Runs convert on the text of a variable whose value is not in its own
// buffer (built-ins, the clipboard), fetched into a temporary buffer.
template <typename Convert>
auto WithFetchedText(Variable& var, Convert convert) {
  wchar_t local[kFetchBufferChars];
  const size_t bound = var.GetText(nullptr);
  wchar_t* buffer = local;
  if (bound >= kFetchBufferChars) {
    buffer = static_cast<wchar_t*>(AllocVarHeap((bound + 1) * sizeof(wchar_t)));
    if (!buffer) return convert(static_cast<const wchar_t*>(kEmptyText));
  }
  var.GetText(buffer);
  auto result = convert(static_cast<const wchar_t*>(buffer));
  if (buffer != local) FreeVarHeap(buffer);
  return result;
}

// Whether a name is always global, whatever the function scope.
bool IsAlwaysGlobal(std::wstring_view name) {
  if (CompareNamesNoCase(name, L"ErrorLevel") == 0) return true;
  uint8_t type = VAR_NORMAL;
  BuiltInGetter getter = nullptr;
  BuiltInView view = nullptr;
  return Values().FindBuiltIn && Values().FindBuiltIn(name, type, getter, view);
}

}  // namespace

void WarnUnsetVariable(Variable&) {}
void WarnUseEnv(Variable&) {}
void WarnLocalSameAsGlobal(Variable&) {}

void SetMaxMem(double megabytes) {
  if (!(megabytes >= kMaxMemLowest)) megabytes = kMaxMemLowest;  // also NaN
  if (megabytes > kMaxMemHighest) megabytes = kMaxMemHighest;
  Values().MaxVarCapacity = static_cast<size_t>(megabytes * kBytesPerMegabyte);
}

const VarMemoryCounters& GetVarMemoryCounters() { return Values().VarCounters; }

// Large blocks are mapped afresh by the heap and unmapped when freed, so a
// loop that makes one large result after another (StrReplace over a long
// text) pays a page fault for every page of every result. One freed block
// between these sizes is kept and handed to the next request it fits by no
// more than twice; larger ones go back to the system, so that freeing a
// huge variable still returns its memory.
constexpr size_t kSpareBlockLeast = size_t{1} << 20;
constexpr size_t kSpareBlockMost = size_t{16} << 20;

// The spare block, when it fits a request of `bytes` without wasting most of itself.
void* TakeSpareBlock(size_t bytes) {
  ValuesState& values = Values();
  if (!values.SpareBlock || bytes > values.SpareBlockBytes || bytes < values.SpareBlockBytes / 2) return nullptr;
  void* block = values.SpareBlock;
  values.SpareBlock = nullptr;
  values.SpareBlockBytes = 0;
  return block;
}

namespace {

SmallHeapCache::Hint& HintFor(void* block) {
  const auto address = reinterpret_cast<uintptr_t>(block);
  return Values().SmallHeap.Hints[((address >> 4) ^ (address >> 12)) % SmallHeapCache::kHints];
}

// A block of one of the small classes, reused when one was kept.
void* AllocSmallHeapBlock(size_t bytes) {
  SmallHeapCache& cache = Values().SmallHeap;
  const size_t sizeClass = (bytes - 1) / SmallHeapCache::kGranuleBytes;
  void* block = cache.KeptCount[sizeClass]
                    ? cache.Kept[sizeClass][--cache.KeptCount[sizeClass]]
                    : HeapAlloc(GetProcessHeap(), 0, (sizeClass + 1) * SmallHeapCache::kGranuleBytes);
  if (!block) return nullptr;
  ++Values().VarCounters.HeapAllocations;
  SmallHeapCache::Hint& hint = HintFor(block);
  hint.Block = block;
  hint.Class = sizeClass;
  hint.Bytes = bytes;
  return block;
}

// Keeps a block of a small class for reuse; false when its class is full.
bool KeepSmallHeapBlock(void* block, size_t sizeClass) {
  SmallHeapCache& cache = Values().SmallHeap;
  if (cache.KeptCount[sizeClass] == SmallHeapCache::kKeptPerClass) return false;
  cache.Kept[sizeClass][cache.KeptCount[sizeClass]++] = block;
  return true;
}

}  // namespace

size_t HeapBlockBytes(void* block) {
  const SmallHeapCache::Hint& hint = HintFor(block);
  if (hint.Block == block) return hint.Bytes;
  const SIZE_T bytes = HeapSize(GetProcessHeap(), 0, block);
  return bytes == static_cast<SIZE_T>(-1) ? 0 : bytes;
}

void ForgetHeapBlockHint(void* block) {
  SmallHeapCache::Hint& hint = HintFor(block);
  if (hint.Block == block) hint.Block = nullptr;
}

void* AllocVarHeap(size_t bytes) {
  if (bytes && bytes <= SmallHeapCache::kClasses * SmallHeapCache::kGranuleBytes) return AllocSmallHeapBlock(bytes);
  if (bytes >= kSpareBlockLeast)
    if (void* spare = TakeSpareBlock(bytes)) return spare;
  void* block = HeapAlloc(GetProcessHeap(), 0, bytes);
  if (block) ++Values().VarCounters.HeapAllocations;
  return block;
}

void FreeVarHeap(void* block) {
  if (!block) return;
  SmallHeapCache::Hint& hint = HintFor(block);
  if (hint.Block == block) {
    hint.Block = nullptr;
    if (KeepSmallHeapBlock(block, hint.Class)) return;
    HeapFree(GetProcessHeap(), 0, block);
    return;
  }
  const SIZE_T bytes = HeapSize(GetProcessHeap(), 0, block);
  if (bytes != static_cast<SIZE_T>(-1) && bytes >= kSpareBlockLeast && bytes <= kSpareBlockMost) {
    ValuesState& values = Values();
    if (values.SpareBlock) HeapFree(GetProcessHeap(), 0, values.SpareBlock);
    values.SpareBlock = block;
    values.SpareBlockBytes = bytes;
    return;
  }
  // A block of exactly a class's size fits any request of that class.
  if (bytes != static_cast<SIZE_T>(-1) && bytes && bytes % SmallHeapCache::kGranuleBytes == 0 &&
      bytes <= SmallHeapCache::kClasses * SmallHeapCache::kGranuleBytes &&
      KeepSmallHeapBlock(block, bytes / SmallHeapCache::kGranuleBytes - 1))
    return;
  HeapFree(GetProcessHeap(), 0, block);
}

// ---------------------------------------------------------------------------
// Records

Variable* Variable::Create(std::wstring_view name, uint8_t scope, uint8_t type) {
  void* record = SmallBlockAlloc(sizeof(Variable));
  auto* nameCopy = static_cast<wchar_t*>(SmallBlockAlloc((name.size() + 1) * sizeof(wchar_t)));
  if (!record || !nameCopy) return nullptr;
  std::wmemcpy(nameCopy, name.data(), name.size());
  nameCopy[name.size()] = L'\0';
  return new (record) Variable(nameCopy, scope, type);
}

Variable::Variable(const wchar_t* name, uint8_t scope, uint8_t type)
    : intValue_(0), text_(kEmptyText), byteLength_(0), byteCapacity_(0), scope_(scope), type_(type), name_(name) {
  if (type_ == VAR_BUILTIN) getter_ = nullptr;
}

Variable::~Variable() {
  if (type_ == VAR_ALIAS || type_ == VAR_BUILTIN) return;
  if (attrib_ & VAR_ATTRIB_OBJECT) object_->Release();
  if (memKind_ == VAR_MEM_HEAP) FreeVarHeap(text_);
}

void Variable::SetAlias(Variable* target) {
  Variable* resolved = target->ResolveAlias();
  if (resolved == this) return;  // forwarding to itself would loop forever
  if (type_ == VAR_BUILTIN) return;
  if (type_ != VAR_ALIAS) Free(VAR_FREE_KEEP_BUFFER);
  type_ = VAR_ALIAS;
  aliasTarget_ = resolved;
}

void Variable::RemoveAlias() {
  if (type_ != VAR_ALIAS) return;
  type_ = VAR_NORMAL;
  byteLength_ = 0;
  if (byteCapacity_) text_[0] = L'\0';
  attrib_ = static_cast<uint8_t>((attrib_ & VAR_ATTRIB_NO_CACHE) | VAR_ATTRIB_UNINITIALIZED);
}

void Variable::MoveStateTo(VarState& saved) {
  saved.Number = intValue_;
  saved.Text = text_;
  saved.LengthOrAlias = byteLength_;
  saved.Capacity = byteCapacity_;
  saved.MemoryKind = memKind_;
  saved.Attrib = attrib_;
  saved.Type = type_;
  intValue_ = 0;
  text_ = kEmptyText;
  byteLength_ = 0;
  byteCapacity_ = 0;
  memKind_ = VAR_MEM_NONE;
  attrib_ = VAR_ATTRIB_UNINITIALIZED;
  if (type_ == VAR_ALIAS) type_ = VAR_NORMAL;
}

void Variable::RestoreState(const VarState& saved) {
  if (type_ != VAR_ALIAS) {
    if (memKind_ == VAR_MEM_HEAP) FreeVarHeap(text_);
    if (memKind_ == VAR_MEM_POOL) RecycleSmallBlock(text_, byteCapacity_);
    if (attrib_ & VAR_ATTRIB_OBJECT) object_->Release();
  }
  intValue_ = saved.Number;
  text_ = saved.Text;
  byteLength_ = saved.LengthOrAlias;
  byteCapacity_ = saved.Capacity;
  memKind_ = saved.MemoryKind;
  attrib_ = saved.Attrib;
  type_ = saved.Type;
}

void Variable::SetBuiltIn(BuiltInGetter getter, BuiltInView view) {
  if (type_ == VAR_ALIAS) RemoveAlias();
  if (type_ != VAR_BUILTIN) Free(VAR_FREE_RELEASE);
  text_ = kEmptyText;
  memKind_ = VAR_MEM_NONE;
  byteLength_ = 0;
  type_ = VAR_BUILTIN;
  getter_ = getter;
  view_ = view;
}

void Variable::SetClipboardType(uint8_t type) {
  if (type_ == VAR_BUILTIN) {
    byteCapacity_ = 0;
  } else if (type_ == VAR_ALIAS) {
    RemoveAlias();
  }
  type_ = type;
}

bool Variable::HasObject() const { return ResolveAlias()->attrib_ & VAR_ATTRIB_OBJECT; }

IObject* Variable::ObjectValue() const {
  const Variable* var = ResolveAlias();
  return var->attrib_ & VAR_ATTRIB_OBJECT ? var->object_ : nullptr;
}

bool Variable::CanCache() const {
  return type_ == VAR_NORMAL && !(attrib_ & (VAR_ATTRIB_NO_CACHE | VAR_ATTRIB_BINARY_CLIP | VAR_ATTRIB_OBJECT));
}

void Variable::ReleaseObject() {
  if (!(attrib_ & VAR_ATTRIB_OBJECT)) return;
  IObject* object = object_;
  attrib_ &= static_cast<uint8_t>(~VAR_ATTRIB_OBJECT);
  intValue_ = 0;
  object->Release();
}

// ---------------------------------------------------------------------------
// Memory

ResultCode Variable::Reserve(size_t bytesNeeded, bool exactSize, bool enforceLimit) {
  if (memKind_ != VAR_MEM_HEAP && bytesNeeded <= kSmallBlockLarge) {
    const size_t capacity = SmallCapacityFor(bytesNeeded, exactSize);
    void* block = TakeSmallBlock(capacity);
    if (!block) {
      if (byteCapacity_) text_[0] = L'\0';
      byteLength_ = 0;
      return ReportOutOfMemory();
    }
    // The old small block, if any, is abandoned to the pool.
    text_ = static_cast<wchar_t*>(block);
    byteCapacity_ = capacity;
    memKind_ = VAR_MEM_POOL;
    // Any address handed out no longer refers to the contents.
    attrib_ &= static_cast<uint8_t>(~VAR_ATTRIB_NO_CACHE);
    return ResultCode::Ok;
  }
  size_t capacity = HeapCapacityFor(bytesNeeded, exactSize);
  if (enforceLimit && capacity > Values().MaxVarCapacity) capacity = Values().MaxVarCapacity;
  if (capacity < bytesNeeded) capacity = bytesNeeded;
  // Assignment never keeps old contents, so the old block goes first and
  // the peak use stays at one block.
  if (memKind_ == VAR_MEM_HEAP) {
    FreeVarHeap(text_);
    text_ = kEmptyText;
    byteCapacity_ = 0;
    memKind_ = VAR_MEM_NONE;
  }
  attrib_ &= static_cast<uint8_t>(~VAR_ATTRIB_NO_CACHE);
  byteLength_ = 0;
  if (byteCapacity_) text_[0] = L'\0';
  void* block = AllocVarHeap(capacity);
  if (!block) return ReportOutOfMemory();
  text_ = static_cast<wchar_t*>(block);
  byteCapacity_ = capacity;
  memKind_ = VAR_MEM_HEAP;
  return ResultCode::Ok;
}

ResultCode Variable::StoreText(const wchar_t* text, size_t length, bool exactSize, bool enforceLimit) {
  const size_t bytesNeeded = (length + 1) * sizeof(wchar_t);
  // A text inside this variable's own buffer always fits it, so growing
  // never frees a buffer that is about to be copied from.
  if (bytesNeeded > byteCapacity_ && Reserve(bytesNeeded, exactSize, enforceLimit) != ResultCode::Ok)
    return ResultCode::Fail;
  if (text) {
    if (text != text_) std::wmemmove(text_, text, length);
    text_[length] = L'\0';
    byteLength_ = length * sizeof(wchar_t);
  } else {
    text_[0] = L'\0';
    byteLength_ = 0;
  }
  return ResultCode::Ok;
}

// ---------------------------------------------------------------------------
// Assignment

ResultCode Variable::Assign(const wchar_t* text, ptrdiff_t length, bool exactSize, bool enforceLimit) {
  Variable& var = *ResolveAlias();
  if (var.type_ == VAR_BUILTIN) return ResultCode::Ok;  // read-only: nothing is assigned
  size_t chars;
  if (length >= 0)
    chars = static_cast<size_t>(length);
  else if (!text)
    chars = 0;
  else if (text == var.text_ && !(var.attrib_ & VAR_ATTRIB_CONTENTS_OUT_OF_DATE))
    chars = var.byteLength_ / sizeof(wchar_t);
  else
    chars = TextLength(text);

  if (var.type_ == VAR_CLIPBOARD && text && Values().Clipboard.PutText) return Values().Clipboard.PutText(text, chars);
  if (chars > kMaxCharacters) return ReportOutOfMemory();
  const size_t bytesNeeded = (chars + 1) * sizeof(wchar_t);
  if (enforceLimit && bytesNeeded > Values().MaxVarCapacity && var.byteCapacity_ < bytesNeeded)
    return ReportValueError(msg::MemoryLimitReached);

  if (!chars) {
    // A given empty text releases a large buffer; a bare length of 0 keeps it.
    var.Free(text ? VAR_FREE_IF_LARGE : VAR_FREE_KEEP_BUFFER);
    var.attrib_ &= static_cast<uint8_t>(~VAR_ATTRIB_UNINITIALIZED);
    return ResultCode::Ok;
  }
  var.ReleaseObject();
  var.attrib_ &= VAR_ATTRIB_NO_CACHE;
  return var.StoreText(text, chars, exactSize, enforceLimit);
}

ResultCode Variable::Assign(std::wstring_view text) {
  return Assign(text.data() ? text.data() : kEmptyText, static_cast<ptrdiff_t>(text.size()));
}

ResultCode Variable::Assign() { return Assign(nullptr, 0); }

ResultCode Variable::AssignInteger(int64_t value) {
  Variable& var = *ResolveAlias();
  if (var.type_ == VAR_BUILTIN) return ResultCode::Ok;
  if (var.type_ != VAR_NORMAL) {
    wchar_t text[kIntegerTextChars];
    const size_t length = IntegerToText(value, text, static_cast<wchar_t>(Values().CurrentThread->IntegerFormatChar));
    return var.Assign(text, static_cast<ptrdiff_t>(length));
  }
  var.ReleaseObject();
  const bool noCache = var.attrib_ & VAR_ATTRIB_NO_CACHE;
  var.intValue_ = value;
  var.attrib_ = static_cast<uint8_t>((var.attrib_ & VAR_ATTRIB_NO_CACHE) | VAR_ATTRIB_HAS_VALID_INT64 |
                                     VAR_ATTRIB_CONTENTS_OUT_OF_DATE);
  if (!noCache && !Values().UsesSlowIntegerFormat) return ResultCode::Ok;
  const ResultCode result = var.UpdateText();
  if (noCache) var.attrib_ &= static_cast<uint8_t>(~VAR_ATTRIB_CACHE);
  return result;
}

ResultCode Variable::AssignFloat(double value) {
  Variable& var = *ResolveAlias();
  if (var.type_ == VAR_BUILTIN) return ResultCode::Ok;
  if (var.type_ != VAR_NORMAL) {
    wchar_t text[kFloatTextMaxChars];
    const size_t length = FloatToText(value, text, kFloatTextMaxChars, Values().CurrentThread->FloatFormatText);
    return var.Assign(text, static_cast<ptrdiff_t>(length));
  }
  var.ReleaseObject();
  const bool noCache = var.attrib_ & VAR_ATTRIB_NO_CACHE;
  var.floatValue_ = value;
  var.attrib_ = static_cast<uint8_t>((var.attrib_ & VAR_ATTRIB_NO_CACHE) | VAR_ATTRIB_HAS_VALID_DOUBLE |
                                     VAR_ATTRIB_CONTENTS_OUT_OF_DATE);
  if (!noCache && !Values().UsesSlowFloatFormat) return ResultCode::Ok;
  const ResultCode result = var.UpdateText();
  if (noCache) var.attrib_ &= static_cast<uint8_t>(~VAR_ATTRIB_CACHE);
  return result;
}

ResultCode Variable::AssignObject(IObject* object) {
  Variable& var = *ResolveAlias();
  if (var.type_ != VAR_NORMAL) {
    if (object) object->Release();
    return ReportValueError(msg::InvalidValue, msg::AnObject);
  }
  if (!object) {
    var.Free(VAR_FREE_KEEP_BUFFER);
    var.attrib_ &= static_cast<uint8_t>(~VAR_ATTRIB_UNINITIALIZED);
    return ResultCode::Ok;
  }
  // The old object is released last: its destructor may run script code
  // that looks at this variable, which must already hold the new value.
  IObject* old = var.attrib_ & VAR_ATTRIB_OBJECT ? var.object_ : nullptr;
  var.object_ = object;
  var.attrib_ = static_cast<uint8_t>((var.attrib_ & VAR_ATTRIB_NO_CACHE) | VAR_ATTRIB_OBJECT);
  var.byteLength_ = 0;
  if (var.byteCapacity_) var.text_[0] = L'\0';
  if (old) old->Release();
  return ResultCode::Ok;
}

ResultCode Variable::AssignToken(ExprToken& token) {
  switch (token.Symbol) {
    case ExprSymbol::Integer: return AssignInteger(token.ValueInt64);
    case ExprSymbol::Float: return AssignFloat(token.ValueDouble);
    case ExprSymbol::VariableRef: return AssignVariable(*token.Var);
    case ExprSymbol::ObjectRef: token.Object->AddRef(); return AssignObject(token.Object);
    case ExprSymbol::RawWord:
      if (token.PreParsed) {
        // 0x10 and 007 keep the text they were written with; other integer
        // literals are regenerated from the number when read.
        if (token.Text[0] != L'0') return AssignInteger(*token.PreParsed);
        Variable& var = *ResolveAlias();
        if (var.Assign(token.Text) != ResultCode::Ok) return ResultCode::Fail;
        if (var.CanCache()) {
          var.intValue_ = *token.PreParsed;
          var.attrib_ |= VAR_ATTRIB_HAS_VALID_INT64;
        }
        return ResultCode::Ok;
      }
      return Assign(token.Text);
    case ExprSymbol::String:
    case ExprSymbol::Omitted: return Assign(token.Text ? token.Text : kEmptyText);
    default: return Assign(kEmptyText, 0);
  }
}

ResultCode Variable::AssignBinaryClip(const void* data, size_t bytes) {
  Variable& var = *ResolveAlias();
  if (var.type_ == VAR_BUILTIN) return ResultCode::Ok;
  if (var.type_ == VAR_CLIPBOARD && Values().Clipboard.PutImage) return Values().Clipboard.PutImage(data, bytes);
  if (!bytes) return var.Assign(kEmptyText, 0);
  if (bytes > kMaxCharacters) return ReportOutOfMemory();
  const size_t bytesNeeded = bytes + sizeof(wchar_t);
  if (bytesNeeded > Values().MaxVarCapacity && var.byteCapacity_ < bytesNeeded)
    return ReportValueError(msg::MemoryLimitReached);
  var.ReleaseObject();
  var.attrib_ &= VAR_ATTRIB_NO_CACHE;
  if (bytesNeeded > var.byteCapacity_ && var.Reserve(bytesNeeded, false, true) != ResultCode::Ok)
    return ResultCode::Fail;
  auto* bytesOut = reinterpret_cast<unsigned char*>(var.text_);
  std::memmove(bytesOut, data, bytes);
  bytesOut[bytes] = 0;
  bytesOut[bytes + 1] = 0;
  var.byteLength_ = bytes;
  var.attrib_ |= VAR_ATTRIB_BINARY_CLIP;
  return ResultCode::Ok;
}

ResultCode Variable::AssignVariable(Variable& source) {
  Variable& src = *source.ResolveAlias();
  Variable& dst = *ResolveAlias();
  if (&src == &dst) return ResultCode::Ok;
  if (dst.type_ == VAR_BUILTIN) return ResultCode::Ok;
  if (src.type_ == VAR_CLIPBOARDALL && Values().Clipboard.ReadImage) {
    // The clipboard's image onto the clipboard would change nothing.
    if (dst.type_ == VAR_CLIPBOARD || dst.type_ == VAR_CLIPBOARDALL) return ResultCode::Ok;
    return Values().Clipboard.ReadImage(dst);
  }

  if (src.type_ != VAR_NORMAL && !(src.type_ == VAR_CLIPBOARD && !Values().Clipboard.GetText)) {
    // Built-ins and the clipboard: take the text through GetText.
    const size_t bound = src.GetText(nullptr);
    if (dst.type_ == VAR_NORMAL) {
      if (dst.Assign(nullptr, static_cast<ptrdiff_t>(bound)) != ResultCode::Ok) return ResultCode::Fail;
      dst.SetLength(src.GetText(dst.text_));
      return ResultCode::Ok;
    }
    auto* text = static_cast<wchar_t*>(AllocVarHeap((bound + 1) * sizeof(wchar_t)));
    if (!text) return ReportOutOfMemory();
    const size_t length = src.GetText(text);
    const ResultCode result = dst.Assign(text, static_cast<ptrdiff_t>(length));
    FreeVarHeap(text);
    return result;
  }

  const uint8_t attrib = src.attrib_;
  if (attrib & VAR_ATTRIB_BINARY_CLIP) return dst.AssignBinaryClip(src.text_, src.byteLength_);
  if (attrib & VAR_ATTRIB_OBJECT) {
    src.object_->AddRef();
    return dst.AssignObject(src.object_);
  }
  const bool textCurrent = !(attrib & VAR_ATTRIB_CONTENTS_OUT_OF_DATE);
  const size_t length = src.byteLength_ / sizeof(wchar_t);
  if (attrib & VAR_ATTRIB_HAS_VALID_INT64) {
    if (!textCurrent || !KeepsOwnText(src.text_, length)) return dst.AssignInteger(src.intValue_);
    if (dst.Assign(src.text_, static_cast<ptrdiff_t>(length)) != ResultCode::Ok) return ResultCode::Fail;
    if (dst.CanCache()) {
      dst.intValue_ = src.intValue_;
      dst.attrib_ |= VAR_ATTRIB_HAS_VALID_INT64;
    }
    return ResultCode::Ok;
  }
  if (attrib & VAR_ATTRIB_HAS_VALID_DOUBLE) {
    if (!textCurrent) return dst.AssignFloat(src.floatValue_);
    if (dst.Assign(src.text_, static_cast<ptrdiff_t>(length)) != ResultCode::Ok) return ResultCode::Fail;
    if (dst.CanCache()) {
      dst.floatValue_ = src.floatValue_;
      dst.attrib_ |= VAR_ATTRIB_HAS_VALID_DOUBLE;
    }
    return ResultCode::Ok;
  }
  const wchar_t* text = src.TextOf(true, false);
  if (dst.Assign(text, static_cast<ptrdiff_t>(src.byteLength_ / sizeof(wchar_t))) != ResultCode::Ok)
    return ResultCode::Fail;
  if ((attrib & VAR_ATTRIB_NOT_NUMERIC) && dst.CanCache()) dst.attrib_ |= VAR_ATTRIB_NOT_NUMERIC;
  return ResultCode::Ok;
}

// ---------------------------------------------------------------------------
// Reading

ResultCode Variable::UpdateText() {
  if (!(attrib_ & VAR_ATTRIB_CONTENTS_OUT_OF_DATE)) return ResultCode::Ok;
  // Big enough for any double in any format SetFormat accepts (1e308 in
  // "%f" alone takes 316 characters), so numbers are never cut.
  wchar_t text[kFloatTextMaxChars];
  size_t length;
  if (attrib_ & VAR_ATTRIB_HAS_VALID_INT64) {
    length = IntegerToText(intValue_, text, static_cast<wchar_t>(Values().CurrentThread->IntegerFormatChar));
  } else if (attrib_ & VAR_ATTRIB_HAS_VALID_DOUBLE) {
    length = FloatToText(floatValue_, text, kFloatTextMaxChars, Values().CurrentThread->FloatFormatText);
  } else {
    attrib_ &= static_cast<uint8_t>(~VAR_ATTRIB_CONTENTS_OUT_OF_DATE);
    return ResultCode::Ok;
  }
  if (StoreText(text, length, false, false) != ResultCode::Ok) return ResultCode::Fail;
  attrib_ &= static_cast<uint8_t>(~VAR_ATTRIB_CONTENTS_OUT_OF_DATE);
  // With a slow float format the rounded text is the value from now on.
  if (Values().UsesSlowFloatFormat) attrib_ &= static_cast<uint8_t>(~VAR_ATTRIB_HAS_VALID_DOUBLE);
  return ResultCode::Ok;
}

const wchar_t* Variable::TextOf(bool update, bool noWarning) {
  Variable& var = *ResolveAlias();
  if (var.type_ != VAR_NORMAL && var.type_ != VAR_CLIPBOARD) return kEmptyText;
  // A failed refresh leaves the old text, which is still valid to read.
  if (update && (var.attrib_ & VAR_ATTRIB_CONTENTS_OUT_OF_DATE)) static_cast<void>(var.UpdateText());
  if (!noWarning && (var.attrib_ & VAR_ATTRIB_UNINITIALIZED) && var.type_ == VAR_NORMAL) WarnUnsetVariable(var);
  return var.text_;
}

size_t Variable::Length() {
  Variable& var = *ResolveAlias();
  if (var.type_ == VAR_NORMAL || (var.type_ == VAR_CLIPBOARD && !Values().Clipboard.GetText)) {
    // A failed refresh leaves the old text, which is still valid to read.
    if (var.attrib_ & VAR_ATTRIB_CONTENTS_OUT_OF_DATE) static_cast<void>(var.UpdateText());
    return var.byteLength_ / sizeof(wchar_t);
  }
  return var.GetText(nullptr);
}

size_t Variable::Capacity() const {
  const Variable* var = ResolveAlias();
  if (var->type_ == VAR_BUILTIN || !var->byteCapacity_) return 0;
  return var->byteCapacity_ / sizeof(wchar_t) - 1;
}

void Variable::SetLength(size_t characters) {
  Variable& var = *ResolveAlias();
  if (var.type_ == VAR_BUILTIN) return;
  const size_t room = var.byteCapacity_ ? var.byteCapacity_ / sizeof(wchar_t) - 1 : 0;
  if (characters > room) characters = room;
  var.byteLength_ = characters * sizeof(wchar_t);
  if (var.byteCapacity_) var.text_[characters] = L'\0';
  var.attrib_ &= VAR_ATTRIB_NO_CACHE;
}

size_t Variable::GetText(wchar_t* buffer) {
  Variable& var = *ResolveAlias();
  switch (var.type_) {
    case VAR_BUILTIN:
      if (var.getter_) return var.getter_(buffer, var.name_);
      if (buffer) *buffer = L'\0';
      return 0;
    case VAR_CLIPBOARD:
    case VAR_CLIPBOARDALL:
      if (Values().Clipboard.GetText) return Values().Clipboard.GetText(var, buffer);
      if (var.type_ == VAR_CLIPBOARDALL) {
        if (buffer) *buffer = L'\0';
        return 0;
      }
      break;
    default: break;
  }
  // A failed refresh leaves the old text, which is still valid to read.
  if (var.attrib_ & VAR_ATTRIB_CONTENTS_OUT_OF_DATE) static_cast<void>(var.UpdateText());
  const size_t length = var.byteLength_ / sizeof(wchar_t);
  if (!length && var.type_ == VAR_NORMAL && !Values().NoEnv && !(var.attrib_ & VAR_ATTRIB_OBJECT)) {
    if (!buffer) {
      // Size includes the terminator; 0 when there is no such variable.
      const DWORD size = GetEnvironmentVariableW(var.name_, nullptr, 0);
      Values().EnvQuery = {&var, size ? size - 1 : 0, size != 0};
      return Values().EnvQuery.Length;
    }
    const EnvPairing pairing = Values().EnvQuery;
    Values().EnvQuery = {};
    // Without its length query the buffer's size is unknown, so the
    // environment is not read into it.
    if (pairing.Var == &var && pairing.Found) {
      const DWORD got = GetEnvironmentVariableW(var.name_, buffer, static_cast<DWORD>(pairing.Length + 1));
      // The value may have vanished or grown since it was measured.
      if (!got || got > pairing.Length) {
        *buffer = L'\0';
        return 0;
      }
      WarnUseEnv(var);
      return got;
    }
  }
  if (buffer) {
    std::wmemcpy(buffer, var.text_, length);
    buffer[length] = L'\0';
    if (!length && (var.attrib_ & VAR_ATTRIB_UNINITIALIZED) && var.type_ == VAR_NORMAL) WarnUnsetVariable(var);
  }
  return length;
}

// ---------------------------------------------------------------------------
// Numbers

NumericKind Variable::NumericType() {
  Variable& var = *ResolveAlias();
  if (var.type_ != VAR_NORMAL && !(var.type_ == VAR_CLIPBOARD && !Values().Clipboard.GetText))
    return WithFetchedText(var, [](const wchar_t* text) { return IsNumeric(text); });
  const uint8_t attrib = var.attrib_;
  if (attrib & VAR_ATTRIB_OBJECT) return PURE_NOT_NUMERIC;
  if (attrib & VAR_ATTRIB_HAS_VALID_INT64) return PURE_INTEGER;
  if (attrib & VAR_ATTRIB_HAS_VALID_DOUBLE) return PURE_FLOAT;
  if (attrib & VAR_ATTRIB_NOT_NUMERIC) return PURE_NOT_NUMERIC;
  const NumericKind kind = IsNumeric(var.text_);
  if (kind == PURE_NOT_NUMERIC && var.CanCache()) var.attrib_ |= VAR_ATTRIB_NOT_NUMERIC;
  return kind;
}

int64_t Variable::ToInteger(bool cache) {
  Variable& var = *ResolveAlias();
  if (var.type_ != VAR_NORMAL && !(var.type_ == VAR_CLIPBOARD && !Values().Clipboard.GetText))
    return WithFetchedText(var, [](const wchar_t* text) { return TextToInteger(text); });
  const uint8_t attrib = var.attrib_;
  if (attrib & VAR_ATTRIB_OBJECT) return 0;
  if (attrib & VAR_ATTRIB_HAS_VALID_INT64) return var.intValue_;
  if (attrib & VAR_ATTRIB_HAS_VALID_DOUBLE) return DoubleToInteger(var.floatValue_);
  const int64_t value = TextToInteger(var.text_);
  // Only integer text is cached: caching 12 for "12abc" or 1 for "1.5"
  // would change what the variable's numeric type and copies say.
  if (cache && var.CanCache() && var.NumericType() == PURE_INTEGER) {
    var.intValue_ = value;
    var.attrib_ |= VAR_ATTRIB_HAS_VALID_INT64;
  }
  return value;
}

double Variable::ToFloat(bool cache) {
  Variable& var = *ResolveAlias();
  if (var.type_ != VAR_NORMAL && !(var.type_ == VAR_CLIPBOARD && !Values().Clipboard.GetText))
    return WithFetchedText(var, [](const wchar_t* text) { return TextToDouble(text); });
  const uint8_t attrib = var.attrib_;
  if (attrib & VAR_ATTRIB_OBJECT) return 0.0;
  if (attrib & VAR_ATTRIB_HAS_VALID_DOUBLE) return var.floatValue_;
  if (attrib & VAR_ATTRIB_HAS_VALID_INT64) return static_cast<double>(var.intValue_);
  const double value = TextToDouble(var.text_);
  // Only float text is cached; integer text keeps its integer kind.
  if (cache && var.CanCache() && var.NumericType() == PURE_FLOAT) {
    var.floatValue_ = value;
    var.attrib_ |= VAR_ATTRIB_HAS_VALID_DOUBLE;
  }
  return value;
}

bool Variable::IsTrue() {
  Variable& var = *ResolveAlias();
  if (var.type_ != VAR_NORMAL && !(var.type_ == VAR_CLIPBOARD && !Values().Clipboard.GetText))
    return WithFetchedText(var, [](const wchar_t* text) { return TextIsTrue(text); });
  const uint8_t attrib = var.attrib_;
  if (attrib & VAR_ATTRIB_OBJECT) return true;
  if (attrib & VAR_ATTRIB_HAS_VALID_INT64) return var.intValue_ != 0;
  if (attrib & VAR_ATTRIB_HAS_VALID_DOUBLE) return var.floatValue_ != 0.0;  // NaN is true
  if (!var.byteLength_ && (attrib & VAR_ATTRIB_UNINITIALIZED)) WarnUnsetVariable(var);
  return TextIsTrue(var.text_);
}

// ---------------------------------------------------------------------------
// In-place changes

ResultCode Variable::Append(const wchar_t* text, size_t length) {
  Variable& var = *ResolveAlias();
  if (var.type_ != VAR_NORMAL || (var.attrib_ & (VAR_ATTRIB_OBJECT | VAR_ATTRIB_BINARY_CLIP))) return ResultCode::Fail;
  if ((var.attrib_ & VAR_ATTRIB_CONTENTS_OUT_OF_DATE) && var.UpdateText() != ResultCode::Ok) return ResultCode::Fail;
  const size_t current = var.byteLength_ / sizeof(wchar_t);
  const size_t total = current + length;
  if (length > kMaxCharacters || (total + 1) * sizeof(wchar_t) > var.byteCapacity_) return ResultCode::Fail;
  // Most appends are a few characters: a plain loop beats the library
  // call. The text never overlaps the free space it is copied into unless
  // it is the variable's own, which memmove handles.
  constexpr size_t kShortAppend = 8;
  if (length <= kShortAppend && (text < var.text_ || text > var.text_ + total)) {
    for (size_t i = 0; i < length; ++i) var.text_[current + i] = text[i];
  } else {
    std::wmemmove(var.text_ + current, text, length);
  }
  var.text_[total] = L'\0';
  var.byteLength_ = total * sizeof(wchar_t);
  var.attrib_ &= VAR_ATTRIB_NO_CACHE;
  return ResultCode::Ok;
}

ResultCode Variable::AppendGrowing(const wchar_t* text, size_t length) {
  if (Append(text, length) == ResultCode::Ok) return ResultCode::Ok;
  Variable& var = *ResolveAlias();
  if (var.type_ != VAR_NORMAL || (var.attrib_ & (VAR_ATTRIB_OBJECT | VAR_ATTRIB_BINARY_CLIP))) return ResultCode::Fail;
  if ((var.attrib_ & VAR_ATTRIB_CONTENTS_OUT_OF_DATE) && var.UpdateText() != ResultCode::Ok) return ResultCode::Fail;
  const size_t current = var.byteLength_ / sizeof(wchar_t);
  if (length > kMaxCharacters || current > kMaxCharacters - length) return ReportOutOfMemory();
  const size_t bytesNeeded = (current + length + 1) * sizeof(wchar_t);
  if (bytesNeeded > Values().MaxVarCapacity) {
    static_cast<void>(ReportValueError(msg::MemoryLimitReached));  // the variable keeps its old contents
    return ResultCode::Fail;
  }
  // Unlike an assignment, the old contents are kept: one copy into the new
  // block instead of building the whole text elsewhere and copying it again.
  size_t capacity = HeapCapacityFor(bytesNeeded, false);
  if (capacity > Values().MaxVarCapacity) capacity = Values().MaxVarCapacity;
  if (capacity < bytesNeeded) capacity = bytesNeeded;
  wchar_t* block;
  if (var.memKind_ == VAR_MEM_HEAP) {
    block = GrowHeapBlock(var.text_, capacity);
    if (!block) return ReportOutOfMemory();
  } else {
    block = static_cast<wchar_t*>(AllocVarHeap(capacity));
    if (!block) return ReportOutOfMemory();
    std::wmemcpy(block, var.text_, current);
  }
  std::wmemcpy(block + current, text, length);
  block[current + length] = L'\0';
  var.text_ = block;
  var.byteCapacity_ = capacity;
  var.memKind_ = VAR_MEM_HEAP;
  var.byteLength_ = (current + length) * sizeof(wchar_t);
  var.attrib_ = 0;
  return ResultCode::Ok;
}

ResultCode Variable::AcceptMemory(wchar_t* buffer, size_t length) {
  Variable& var = *ResolveAlias();
  if (var.type_ == VAR_BUILTIN) {
    FreeVarHeap(buffer);
    return ResultCode::Ok;
  }
  if (var.type_ == VAR_CLIPBOARD && Values().Clipboard.PutText) {
    const ResultCode result = Values().Clipboard.PutText(buffer, length);
    FreeVarHeap(buffer);
    return result;
  }
  const size_t textBytes = length * sizeof(wchar_t);
  size_t allocated = HeapBlockBytes(buffer);
  if (allocated < textBytes + sizeof(wchar_t)) allocated = textBytes + sizeof(wchar_t);
  if (allocated >= textBytes + kAcceptSlackLimit) {
    ForgetHeapBlockHint(buffer);
    if (void* shrunk = HeapReAlloc(GetProcessHeap(), 0, buffer, textBytes + sizeof(wchar_t))) {
      buffer = static_cast<wchar_t*>(shrunk);
      allocated = textBytes + sizeof(wchar_t);
    }
  }
  IObject* old = var.attrib_ & VAR_ATTRIB_OBJECT ? var.object_ : nullptr;
  if (var.memKind_ == VAR_MEM_HEAP) FreeVarHeap(var.text_);
  var.text_ = buffer;
  var.text_[length] = L'\0';
  var.byteLength_ = textBytes;
  var.byteCapacity_ = allocated;
  var.memKind_ = VAR_MEM_HEAP;
  var.attrib_ = 0;  // a new buffer: nothing cached, no address handed out
  var.intValue_ = 0;
  if (old) old->Release();
  return ResultCode::Ok;
}

void Variable::Free(int mode, bool functionExit) {
  if (type_ == VAR_ALIAS) {
    if (functionExit) {
      attrib_ |= VAR_ATTRIB_UNINITIALIZED;  // the caller's variable is not the function's to empty
      return;
    }
    aliasTarget_->Free(mode, false);
    return;
  }
  if (type_ == VAR_BUILTIN) return;
  if (mode == VAR_FREE_EXCLUDE_STATIC && (scope_ & VAR_LOCAL_STATIC)) return;
  IObject* object = attrib_ & VAR_ATTRIB_OBJECT ? object_ : nullptr;
  const bool release = memKind_ == VAR_MEM_HEAP &&
                       (mode < VAR_FREE_KEEP || (mode == VAR_FREE_IF_LARGE && byteCapacity_ > kKeepBufferLimit));
  if (release) {
    FreeVarHeap(text_);
    text_ = kEmptyText;
    byteCapacity_ = 0;
    memKind_ = VAR_MEM_NONE;
    attrib_ &= static_cast<uint8_t>(~VAR_ATTRIB_NO_CACHE);
  } else if (byteCapacity_) {
    text_[0] = L'\0';
  }
  byteLength_ = 0;
  intValue_ = 0;
  attrib_ &= VAR_ATTRIB_NO_CACHE | VAR_ATTRIB_UNINITIALIZED;
  if (functionExit) attrib_ |= VAR_ATTRIB_UNINITIALIZED;
  if (object) object->Release();
}

void Variable::StopNumberCache() {
  Variable& var = *ResolveAlias();
  if (var.type_ != VAR_NORMAL) return;
  // A failed refresh leaves the old text, which is still valid to read.
  if (var.attrib_ & VAR_ATTRIB_CONTENTS_OUT_OF_DATE) static_cast<void>(var.UpdateText());
  var.attrib_ &= static_cast<uint8_t>(~(VAR_ATTRIB_CACHE | VAR_ATTRIB_NOT_NUMERIC));
  var.attrib_ |= VAR_ATTRIB_NO_CACHE;
}

// ---------------------------------------------------------------------------
// Lists

int CompareNamesNoCase(std::wstring_view a, std::wstring_view b) {
  const int result =
      CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE);
  return result - CSTR_EQUAL;
}

VarList::~VarList() {
  FreeVarHeap(items_);
  FreeVarHeap(lazy_);
}

size_t VarList::Search(Variable* const* items, size_t count, std::wstring_view name, bool& found) {
  size_t low = 0, high = count;
  while (low < high) {
    const size_t mid = low + (high - low) / 2;
    const int order = CompareNamesNoCase(items[mid]->Name(), name);
    if (order == 0) {
      found = true;
      return mid;
    }
    if (order < 0)
      low = mid + 1;
    else
      high = mid;
  }
  found = false;
  return low;
}

Variable* VarList::Find(std::wstring_view name) const {
  bool found;
  size_t at = Search(items_, count_, name, found);
  if (found) return items_[at];
  if (lazy_) {
    at = Search(lazy_, lazyCount_, name, found);
    if (found) return lazy_[at];
  }
  return nullptr;
}

Variable* VarList::FindOrAdd(std::wstring_view name, uint8_t scope) {
  if (Variable* var = Find(name)) return var;
  if (ValidateVariableName(name) != ResultCode::Ok) return nullptr;
  uint8_t type = VAR_NORMAL;
  BuiltInGetter getter = nullptr;
  BuiltInView view = nullptr;
  if (Values().FindBuiltIn && !Values().FindBuiltIn(name, type, getter, view)) type = VAR_NORMAL;
  Variable* var = Variable::Create(name, scope);
  if (!var) {
    // Reported once here; this path answers through its own return value.
    static_cast<void>(ReportOutOfMemory());
    return nullptr;
  }
  if (type == VAR_BUILTIN)
    var->SetBuiltIn(getter, view);
  else if (type == VAR_CLIPBOARD || type == VAR_CLIPBOARDALL)
    var->SetClipboardType(type);
  return Add(var) == ResultCode::Ok ? var : nullptr;
}

ResultCode VarList::Insert(Variable* var) {
  if (Find(var->Name())) return ResultCode::Ok;
  return Add(var);
}

bool VarList::GrowMain(size_t needed) {
  if (needed <= capacity_) return true;
  auto* grown = static_cast<Variable**>(AllocVarHeap(needed * sizeof(Variable*)));
  if (!grown) return false;
  if (count_) std::memcpy(grown, items_, count_ * sizeof(Variable*));
  FreeVarHeap(items_);
  items_ = grown;
  capacity_ = needed;
  return true;
}

bool VarList::MergeLazy() {
  const size_t total = count_ + lazyCount_;
  size_t capacity = capacity_;
  while (capacity < total) capacity = capacity < kListLargeStep ? kListLargeStep : capacity + kListLargeStep;
  if (!GrowMain(capacity)) return false;
  // Merge from the back so that the main array can be its own destination.
  size_t i = count_, j = lazyCount_, k = total;
  while (j > 0) {
    if (i > 0 && CompareNamesNoCase(items_[i - 1]->Name(), lazy_[j - 1]->Name()) > 0)
      items_[--k] = items_[--i];
    else
      items_[--k] = lazy_[--j];
  }
  count_ = total;
  lazyCount_ = 0;
  return true;
}

ResultCode VarList::Add(Variable* var) {
  bool found;
  if (!lazy_ && count_ == capacity_) {
    if (capacity_ >= kListPlainLimit) {
      // Inserting into a very large array moves most of it each time; new
      // names gather in a small sorted array that is merged in one pass.
      lazy_ = static_cast<Variable**>(AllocVarHeap(kListLazyCapacity * sizeof(Variable*)));
      if (!lazy_ || !GrowMain(kListLazyModeCapacity)) return ReportOutOfMemory();
    } else {
      const size_t first = forLocals_ ? kFirstLocalCapacity : kFirstGlobalCapacity;
      const size_t next = !capacity_ ? first : capacity_ < kListSecondCapacity ? kListSecondCapacity : kListPlainLimit;
      if (!GrowMain(next)) return ReportOutOfMemory();
    }
  }
  if (lazy_) {
    const size_t at = Search(lazy_, lazyCount_, var->Name(), found);
    std::memmove(lazy_ + at + 1, lazy_ + at, (lazyCount_ - at) * sizeof(Variable*));
    lazy_[at] = var;
    if (++lazyCount_ == kListLazyCapacity && !MergeLazy()) {
      // Keep the list whole: the new entry leaves again and the caller fails.
      std::memmove(lazy_ + at, lazy_ + at + 1, (--lazyCount_ - at) * sizeof(Variable*));
      return ReportOutOfMemory();
    }
    return ResultCode::Ok;
  }
  const size_t at = Search(items_, count_, var->Name(), found);
  std::memmove(items_ + at + 1, items_ + at, (count_ - at) * sizeof(Variable*));
  items_[at] = var;
  ++count_;
  return ResultCode::Ok;
}

bool VarList::Remove(Variable* var) {
  bool found;
  size_t at = Search(items_, count_, var->Name(), found);
  if (found && items_[at] == var) {
    std::memmove(items_ + at, items_ + at + 1, (--count_ - at) * sizeof(Variable*));
    return true;
  }
  if (!lazy_) return false;
  at = Search(lazy_, lazyCount_, var->Name(), found);
  if (!found || lazy_[at] != var) return false;
  std::memmove(lazy_ + at, lazy_ + at + 1, (--lazyCount_ - at) * sizeof(Variable*));
  return true;
}

void VarList::ReleaseObjects() {
  ForEach([](Variable& var) {
    if (var.Type() == VAR_NORMAL && var.HasObject()) var.Free(VAR_FREE_KEEP);
  });
}

// ---------------------------------------------------------------------------
// Scope resolution

Variable* FindVariable(std::wstring_view name, VarList& globals, FunctionScope* function, ResolvePhase phase) {
  if (!function || IsAlwaysGlobal(name)) return globals.Find(name);
  if (Variable* local = function->Locals.Find(name)) return local;
  switch (function->Mode) {
    case SCOPE_ASSUME_GLOBAL: return globals.Find(name);
    case SCOPE_FORCE_LOCAL:
    case SCOPE_FORCE_LOCAL_STATIC: return function->DeclaredGlobals.Find(name);  // super-globals stay hidden
    case SCOPE_ASSUME_LOCAL:
    case SCOPE_ASSUME_STATIC: break;
  }
  if (Variable* declared = function->DeclaredGlobals.Find(name)) return declared;
  Variable* global = globals.Find(name);
  if (!global) return nullptr;
  // At run time (dynamic references) any existing global is visible; while
  // loading only super-globals are, so that a plain name stays local.
  if (phase == ResolvePhase::Running || (global->Scope() & VAR_SUPER_GLOBAL)) return global;
  return nullptr;
}

Variable* FindOrAddVariable(std::wstring_view name, VarList& globals, FunctionScope* function, ResolvePhase phase) {
  if (Variable* var = FindVariable(name, globals, function, phase)) return var;
  if (!function || function->Mode == SCOPE_ASSUME_GLOBAL || IsAlwaysGlobal(name))
    return globals.FindOrAdd(name, VAR_GLOBAL);
  const bool makeStatic = function->Mode == SCOPE_ASSUME_STATIC || function->Mode == SCOPE_FORCE_LOCAL_STATIC;
  return function->Locals.FindOrAdd(name, makeStatic ? VAR_LOCAL | VAR_LOCAL_STATIC : VAR_LOCAL);
}

void FinishFunctionScope(FunctionScope& function, VarList& globals) {
  if (function.Mode == SCOPE_FORCE_LOCAL || function.Mode == SCOPE_FORCE_LOCAL_STATIC) return;
  std::vector<std::pair<Variable*, Variable*>> aliases;  // local, super-global
  function.Locals.ForEach([&](Variable& local) {
    if (local.Type() != VAR_NORMAL || (local.Scope() & (VAR_DECLARED | VAR_FUNC_PARAM))) return;
    Variable* global = globals.Find(local.Name());
    if (!global) return;
    if (global->Scope() & VAR_SUPER_GLOBAL)
      aliases.emplace_back(&local, global);
    else
      WarnLocalSameAsGlobal(local);
  });
  for (auto& [local, global] : aliases) {
    function.Locals.Remove(local);
    local->SetAlias(global);
  }
}

// ---------------------------------------------------------------------------
// ListVars

namespace {

constexpr wchar_t kListVarsSeparator[] = L"\r\n--------------------------------------------------\r\n";

// Appends one ListVars line for a normal variable.
void AppendVarListLine(Variable& var, std::wstring& out) {
  out += var.Name();
  if (IObject* object = var.ObjectValue()) {
    std::wstring typeName = object->Type(), detail;
    // COM wrappers describe themselves; every other object shows its address.
    if (Values().DescribeObject) Values().DescribeObject(object, typeName, detail);
    if (detail.empty()) {
      wchar_t address[32];
      std::swprintf(address, 32, L" {address: 0x%llX}",
                    static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(object)));
      detail = address;
    }
    out += L": ";
    out += typeName;
    out += L" object";
    out += detail;
    out += L"\r\n";
    return;
  }
  const size_t length = var.Length();
  const wchar_t* text = var.TextOf(true, true);
  out += L'[';
  out += std::to_wstring(length);
  out += L" of ";
  out += std::to_wstring(var.Capacity());
  out += L"]: ";
  if (!length) {
    out += L' ';  // the value is shown in at least one place
  } else {
    out.append(text, length < kListVarsValueChars ? length : kListVarsValueChars);
    if (length > kListVarsValueChars) out += L"...";
  }
  out += L"\r\n";
}

// Appends the lines of every normal variable of a list, in list order.
void AppendVarListSection(const VarList& list, std::wstring& out) {
  list.ForEach([&](Variable& var) {
    if (var.Type() == VAR_NORMAL && out.size() < kListVarsChars) AppendVarListLine(var, out);
  });
}

}  // namespace

std::wstring BuildVarListText(const VarList* locals, std::wstring_view functionName, const VarList& globals) {
  std::wstring out;
  if (locals) {
    out += L"Local Variables for ";
    out += functionName;
    out += L"()";
    out += kListVarsSeparator;
    AppendVarListSection(*locals, out);
    out += L"\r\n\r\n";
  }
  out += L"Global Variables (alphabetical)";
  out += kListVarsSeparator;
  AppendVarListSection(globals, out);
  if (out.size() > kListVarsChars - 1) out.resize(kListVarsChars - 1);
  return out;
}
