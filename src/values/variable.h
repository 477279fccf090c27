// Variables: the record that holds a script value (text, 64-bit integer,
// double or object reference), its memory policy, the lists in which
// variables are found by name, and the scope rules that pick a list.
//
// Invariants:
// - Every operation first follows an alias to its target; a target is never
//   itself an alias.
// - The text pointer is never null and always zero-terminated: a variable
//   without memory of its own points at one shared empty string.
// - When VAR_ATTRIB_CONTENTS_OUT_OF_DATE is set, the cached number is the
//   value and the text (and length) are stale until TextOf brings them up
//   to date; otherwise a cached number always agrees with the text.
// - A variable holding an object owns one reference and has empty text.
// - Small blocks (memory kind VAR_MEM_POOL) come from a pool that is never
//   freed; heap blocks (VAR_MEM_HEAP) are owned by the variable. Variable
//   records and their names also come from the pool and live until the
//   program ends.
// - All of this runs on the one script thread; nothing here is locked.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/result_code.h"
#include "values/numeric_text.h"

class IObject;
class Variable;
struct ExprToken;

// Variable types.
enum VarType : uint8_t {
  VAR_ALIAS = 0,
  VAR_NORMAL = 1,
  VAR_CLIPBOARD = 2,
  VAR_CLIPBOARDALL = 3,
  VAR_BUILTIN = 4,
};

// Scope flags.
enum : uint8_t {
  VAR_GLOBAL = 0x01,
  VAR_LOCAL = 0x02,
  VAR_FUNC_PARAM = 0x10,
  VAR_LOCAL_STATIC = 0x20,  // not VAR_STATIC: the COM headers' VARKIND has that name
  VAR_DECLARED = 0x40,
  VAR_SUPER_GLOBAL = 0x80,
};

// Attribute flags.
enum : uint8_t {
  VAR_ATTRIB_BINARY_CLIP = 0x01,
  VAR_ATTRIB_OBJECT = 0x02,
  VAR_ATTRIB_UNINITIALIZED = 0x04,
  VAR_ATTRIB_CONTENTS_OUT_OF_DATE = 0x08,
  VAR_ATTRIB_HAS_VALID_INT64 = 0x10,
  VAR_ATTRIB_HAS_VALID_DOUBLE = 0x20,
  VAR_ATTRIB_NOT_NUMERIC = 0x40,
  VAR_ATTRIB_NO_CACHE = 0x80,
};
// The attribute bits that describe a cached number.
inline constexpr uint8_t VAR_ATTRIB_CACHE =
    VAR_ATTRIB_HAS_VALID_INT64 | VAR_ATTRIB_HAS_VALID_DOUBLE | VAR_ATTRIB_CONTENTS_OUT_OF_DATE;

// Memory kinds of the text buffer.
enum : uint8_t {
  VAR_MEM_NONE = 0,  // the shared empty string
  VAR_MEM_POOL = 1,  // a small block from the never-freed pool
  VAR_MEM_HEAP = 2,  // a heap block owned by the variable
};

// Free modes: which buffers Free releases.
enum : int {
  VAR_FREE_RELEASE = 0,         // release a heap block
  VAR_FREE_EXCLUDE_STATIC = 1,  // as 0, but leave static variables untouched
  VAR_FREE_KEEP = 2,            // keep the buffer, emptied
  VAR_FREE_KEEP_BUFFER = 3,     // keep the buffer, emptied (assigning a length of 0)
  VAR_FREE_IF_LARGE = 4,        // release a heap block only above 4096 bytes
};

// Small blocks handed out by the pool, in bytes.
inline constexpr size_t kSmallBlockTiny = 8;
inline constexpr size_t kSmallBlockShort = 16;
inline constexpr size_t kSmallBlockLarge = 128;
// Alignment (and size step) of the pool's blocks.
inline constexpr size_t kVarPoolAlignment = 8;
// Free lists of recycled small blocks, one per capacity step up to
// kSmallBlockLarge.
inline constexpr size_t kFreeSmallBlockSlots = kSmallBlockLarge / kVarPoolAlignment + 1;
// Mode 4 releases heap blocks larger than this many bytes.
inline constexpr size_t kKeepBufferLimit = 4096;
// AcceptMemory shrinks a buffer with this much slack or more.
inline constexpr size_t kAcceptSlackLimit = 65;
// Default #MaxMem limit: 64 MB.
inline constexpr size_t kDefaultMaxMem = size_t{64} * 1048576;

// Reads a built-in variable: with a buffer, writes the value and returns its
// length; without, returns an upper bound of that length. name is the name as
// written in the script.
using BuiltInGetter = size_t (*)(wchar_t* buffer, const wchar_t* name);

// Reads a built-in variable in place, for the variables whose text already
// lies in memory of its own (the line of a read loop, the field of a parse
// loop): the text, terminated, which stays as it is while the line that
// reads it runs; null when there is none, and the getter is asked instead.
// Spares the evaluator a copy of text it only reads.
using BuiltInView = const wchar_t* (*)();

// Largest capacity of one variable in bytes (#MaxMem). Written by the
// #MaxMem directive while the script loads (and by tests); read on every
// assignment that enforces the limit.
// Sets Values().MaxVarCapacity from a number of megabytes, clamped to 1..4095.
void SetMaxMem(double megabytes);

// #NoEnv: when false, an empty normal variable reads as the environment
// variable of the same name. Written by the #NoEnv directive at load time.

// Whether the script has a SetFormat line for Integer or Float that is not
// a literal "...Fast" kind; such a format must be applied when a number is
// assigned, not when it is read. Written by the line parser at load time.

// Hooks through which Clipboard and ClipboardAll reach the system clipboard;
// installed by the clipboard module. While a hook is null the variable keeps
// its value in its own buffer like a normal variable (ClipboardAll reads as
// empty).
struct ClipboardSeam {
  // Puts text on the clipboard.
  ResultCode (*PutText)(const wchar_t* text, size_t length) = nullptr;
  // Puts a saved clipboard image (ClipboardAll format) on the clipboard.
  ResultCode (*PutImage)(const void* data, size_t bytes) = nullptr;
  // Reads the clipboard for GetText on the variable (same contract).
  size_t (*GetText)(Variable& var, wchar_t* buffer) = nullptr;
  // Stores the clipboard's whole image (ClipboardAll) in a variable.
  ResultCode (*ReadImage)(Variable& target) = nullptr;
};

// Finds a built-in variable by name: sets its type (VAR_BUILTIN, VAR_CLIPBOARD
// or VAR_CLIPBOARDALL) and, for VAR_BUILTIN, its getter. Installed by the
// built-in variable table; while null no name is built-in.
using BuiltInLookup = bool (*)(std::wstring_view name, uint8_t& type, BuiltInGetter& getter, BuiltInView& view);

// Seams for the #Warn checks. The warning modes arrive with the #Warn
// directive; until then these do nothing.
// A never-assigned variable is being read.
void WarnUnsetVariable(Variable& var);
// An empty variable is being read from the environment.
void WarnUseEnv(Variable& var);
// An undeclared local has the name of a global.
void WarnLocalSameAsGlobal(Variable& var);

// Counts of real allocations behind variables, so that tests can show the
// hot path stays off the heap.
struct VarMemoryCounters {
  uint64_t HeapAllocations = 0;  // heap blocks for contents and list arrays
  uint64_t PoolChunks = 0;       // chunks the pool took from the heap
};
const VarMemoryCounters& GetVarMemoryCounters();

// Heap blocks that a variable can own; AcceptMemory requires its buffer to
// come from AllocVarHeap.
void* AllocVarHeap(size_t bytes);
void FreeVarHeap(void* block);
// Must be called before a block from AllocVarHeap is freed or moved by any
// other means than FreeVarHeap.
void ForgetHeapBlockHint(void* block);
// The bytes a block from AllocVarHeap may be counted on for: as many as were
// requested for a small block, else what the heap says it holds.
size_t HeapBlockBytes(void* block);

// A variable's complete state, moved aside while a recursive call of its
// function runs (the variable then starts empty and never-assigned).
struct VarState {
  int64_t Number;
  wchar_t* Text;
  size_t LengthOrAlias;
  size_t Capacity;
  uint8_t MemoryKind;
  uint8_t Attrib;
  uint8_t Type;
};

class Variable {
 public:
  // A record on the pool with a pool copy of the name; null when out of memory.
  static Variable* Create(std::wstring_view name, uint8_t scope, uint8_t type = VAR_NORMAL);
  // name must outlive the record (Create copies it to the pool).
  Variable(const wchar_t* name, uint8_t scope, uint8_t type = VAR_NORMAL);
  // Records from Create are never destroyed; others release what they own.
  ~Variable();
  Variable(const Variable&) = delete;
  Variable& operator=(const Variable&) = delete;

  // Replaces the value with text; length -1 measures it; a null text with a
  // length reserves that many characters and leaves the empty string.
  ResultCode Assign(const wchar_t* text, ptrdiff_t length = -1, bool exactSize = false, bool enforceLimit = true);
  ResultCode Assign(std::wstring_view text);
  // Makes the variable empty, keeping its buffer.
  ResultCode Assign();
  // Stores a number; its text is made when first needed.
  ResultCode AssignInteger(int64_t value);
  ResultCode AssignFloat(double value);
  // Stores an object, taking over the caller's reference.
  ResultCode AssignObject(IObject* object);
  // Copies another variable's value.
  ResultCode AssignVariable(Variable& source);
  // Stores an expression value: numbers stay numbers, a variable is copied,
  // an object gains a reference, an integer literal written with a leading
  // "0" keeps its text beside the number, anything else is text.
  ResultCode AssignToken(ExprToken& token);
  // Stores a saved clipboard image (bytes, not text).
  ResultCode AssignBinaryClip(const void* data, size_t bytes);

  // The text (never null); brings stale text up to date when update is set.
  const wchar_t* TextOf(bool update = true, bool noWarning = false);
  // Length in characters, after bringing the text up to date.
  size_t Length();
  // Capacity in characters, excluding the terminator (0 without a buffer).
  size_t Capacity() const;
  // Sets the length after a command filled the buffer itself.
  void SetLength(size_t characters);
  // Copies the text into buffer and returns its length; with a null buffer
  // returns the length needed (an upper bound for built-ins). An empty normal
  // variable reads the environment unless #NoEnv is in effect; the text
  // query must follow its length query.
  size_t GetText(wchar_t* buffer);

  // Integer, float or not numeric, from the flags when they tell; a text
  // found not numeric is remembered unless caching is stopped.
  NumericKind NumericType();
  // The value as a number; cache stores a number parsed from text.
  int64_t ToInteger(bool cache);
  double ToFloat(bool cache);
  // Appends in place; Fail (nothing reported) when the capacity is short.
  ResultCode Append(const wchar_t* text, size_t length);
  // Appends, growing the buffer by the capacity rules when it is too small
  // and keeping the contents (one copy). Fail after reporting an error, or
  // for a variable that cannot be appended to in place (then nothing changed).
  ResultCode AppendGrowing(const wchar_t* text, size_t length);
  // Takes ownership of an AllocVarHeap buffer holding length characters and
  // a terminator.
  ResultCode AcceptMemory(wchar_t* buffer, size_t length);
  // Releases or empties the contents (VAR_FREE_* modes).
  void Free(int mode = VAR_FREE_RELEASE, bool functionExit = false);
  // Brings the text up to date and stops caching numbers: the address of the
  // contents has been handed out.
  void StopNumberCache();
  // The truth rule.
  bool IsTrue();

  // Whether the value is an object, and that object (null otherwise).
  bool HasObject() const;
  IObject* ObjectValue() const;

  // The record's own fields (no alias resolution).
  const wchar_t* Name() const { return name_; }
  uint8_t Type() const { return type_; }
  uint8_t Scope() const { return scope_; }
  uint8_t Attrib() const { return attrib_; }
  uint8_t MemoryKind() const { return memKind_; }
  void AddScope(uint8_t flags) { scope_ |= flags; }
  void RemoveScope(uint8_t flags) { scope_ &= static_cast<uint8_t>(~flags); }
  // Length and capacity in bytes, as stored (no alias resolution, no update).
  size_t ByteLength() const { return type_ == VAR_ALIAS || type_ == VAR_BUILTIN ? 0 : byteLength_; }
  size_t ByteCapacity() const { return type_ == VAR_BUILTIN ? 0 : byteCapacity_; }

  // The integer a normal variable holds, read without resolving anything;
  // false when it holds anything else (or is an alias).
  bool PeekInteger(int64_t& value) const {
    if (type_ != VAR_NORMAL ||
        (attrib_ & (VAR_ATTRIB_HAS_VALID_INT64 | VAR_ATTRIB_OBJECT)) != VAR_ATTRIB_HAS_VALID_INT64)
      return false;
    value = intValue_;
    return true;
  }

  // Follows aliases to the target. Inline: nearly every variable access
  // passes here.
  Variable* ResolveAlias() {
    Variable* var = this;
    while (var->type_ == VAR_ALIAS) var = var->aliasTarget_;
    return var;
  }
  const Variable* ResolveAlias() const {
    const Variable* var = this;
    while (var->type_ == VAR_ALIAS) var = var->aliasTarget_;
    return var;
  }
  // Makes this variable an alias of target (resolved first); its own object
  // reference is released, its buffer kept for when it stops being one.
  void SetAlias(Variable* target);
  // Makes an alias a normal, never-assigned variable again.
  void RemoveAlias();
  // Moves the whole state (buffer, object reference, alias) into `saved`
  // and leaves the variable a never-assigned empty normal variable.
  void MoveStateTo(VarState& saved);
  // Releases what the variable holds now and takes back a moved state.
  void RestoreState(const VarState& saved);
  // Makes this a built-in variable read through getter.
  void SetBuiltIn(BuiltInGetter getter, BuiltInView view = nullptr);
  // Makes this the Clipboard or ClipboardAll variable.
  void SetClipboardType(uint8_t type);
  // The getter of a built-in variable, else null.
  BuiltInGetter Getter() const { return type_ == VAR_BUILTIN ? getter_ : nullptr; }
  // The in-place reader of a built-in variable, else null.
  BuiltInView View() const { return type_ == VAR_BUILTIN ? view_ : nullptr; }

 private:
  // Copies text into the buffer, growing it by the capacity rules; flags are
  // the caller's business.
  ResultCode StoreText(const wchar_t* text, size_t length, bool exactSize, bool enforceLimit);
  // Makes the buffer able to hold bytesNeeded; contents are not kept.
  ResultCode Reserve(size_t bytesNeeded, bool exactSize, bool enforceLimit);
  // Formats the cached number into the text (out of date only).
  ResultCode UpdateText();
  // Releases the held object, if any, clearing the flag.
  void ReleaseObject();
  // Whether numbers may be cached in this variable.
  bool CanCache() const;

  union {
    int64_t intValue_;
    double floatValue_;
    IObject* object_;
    BuiltInView view_;  // VAR_BUILTIN
  };
  wchar_t* text_;
  union {
    size_t byteLength_;
    Variable* aliasTarget_;
  };
  union {
    size_t byteCapacity_;
    BuiltInGetter getter_;
  };
  uint8_t memKind_ = VAR_MEM_NONE;
  uint8_t attrib_ = VAR_ATTRIB_UNINITIALIZED;
  uint8_t scope_;
  uint8_t type_;
  const wchar_t* name_;
};

// Ordinal case-insensitive comparison used for every name lookup.
int CompareNamesNoCase(std::wstring_view a, std::wstring_view b);

// True when two names or words are equal without regard to case.
inline bool EqualsNoCase(std::wstring_view a, std::wstring_view b) { return CompareNamesNoCase(a, b) == 0; }

// A list of variables sorted by case-insensitive name and searched by binary
// search. It holds pointers: the records live on the pool for the life of the
// program, so a list may also hold records that another list created.
class VarList {
 public:
  // Slots reserved by the first growth.
  static constexpr size_t kFirstGlobalCapacity = 1000;
  static constexpr size_t kFirstLocalCapacity = 100;

  // forLocals picks the smaller first growth of a function's list.
  explicit VarList(bool forLocals = false) : forLocals_(forLocals) {}
  // Frees the arrays; the records live on.
  ~VarList();
  VarList(const VarList&) = delete;
  VarList& operator=(const VarList&) = delete;

  // The variable of that name (any case), or null.
  Variable* Find(std::wstring_view name) const;
  // Finds the name, or creates a variable with this scope. A new name is
  // checked first (null after the error has been reported) and takes its
  // type from the built-in table.
  Variable* FindOrAdd(std::wstring_view name, uint8_t scope);
  // Adds an existing record (Ok when a variable of that name is already
  // there, which is left in place); Fail only when out of memory.
  ResultCode Insert(Variable* var);
  // Takes a record out of the list (the record itself lives on).
  bool Remove(Variable* var);
  // Variables in the list, both arrays together.
  size_t Count() const { return count_ + lazyCount_; }
  // Slots of the main array (the lazy array has its own fixed size).
  size_t Capacity() const { return capacity_; }
  // Entries waiting in the lazy array.
  size_t LazyCount() const { return lazyCount_; }
  // Empties every variable that holds an object, releasing the objects.
  void ReleaseObjects();

  // Visits every variable in name order (main and lazy arrays merged).
  template <typename Visit>
  void ForEach(Visit&& visit) const {
    size_t i = 0, j = 0;
    while (i < count_ || j < lazyCount_) {
      if (j >= lazyCount_ || (i < count_ && CompareNamesNoCase(items_[i]->Name(), lazy_[j]->Name()) < 0))
        visit(*items_[i++]);
      else
        visit(*lazy_[j++]);
    }
  }

 private:
  // Binary search of one sorted array: the index of the name, or where it
  // would go (found tells which).
  static size_t Search(Variable* const* items, size_t count, std::wstring_view name, bool& found);
  // Adds var at its sorted place (the name is known to be absent).
  ResultCode Add(Variable* var);
  // Makes the main array hold at least `needed` slots by the growth policy.
  bool GrowMain(size_t needed);
  // Moves the lazy array's entries into the main array in one pass.
  bool MergeLazy();

  Variable** items_ = nullptr;
  size_t count_ = 0;
  size_t capacity_ = 0;
  Variable** lazy_ = nullptr;  // exists once the list outgrew 9999 entries
  size_t lazyCount_ = 0;
  bool forLocals_;
};

// How ListVars shows an object: its type name and the detail after it
// (" {address: 0x...}", or the COM wrapper's fields). Installed by the object
// model; while null every object is an "Object" shown by its address.
using ObjectDescriber = void (*)(IObject* object, std::wstring& typeName, std::wstring& detail);

// Characters of the ListVars text, terminator included.
inline constexpr size_t kListVarsChars = 65534;
// Characters of a value ListVars shows before "...".
inline constexpr size_t kListVarsValueChars = 60;

// The ListVars text: the running function's normal locals (when locals is
// not null) and then the normal globals, one line each.
std::wstring BuildVarListText(const VarList* locals, std::wstring_view functionName, const VarList& globals);

// Scope modes of a user-defined function (set by its declarations).
enum FunctionScopeMode : uint8_t {
  SCOPE_ASSUME_LOCAL = 0,
  SCOPE_ASSUME_GLOBAL = 1,
  SCOPE_ASSUME_STATIC = 2,
  SCOPE_FORCE_LOCAL = 3,
  SCOPE_FORCE_LOCAL_STATIC = 4,  // force-local that also assumes static
};

// The variables of one user-defined function as name lookup sees them.
// Seam: the functions code owns one per function and fills it from the
// declarations; until it exists no function scope is ever current.
struct FunctionScope {
  VarList Locals{true};           // parameters, declared locals and statics, undeclared locals
  VarList DeclaredGlobals{true};  // globals named by a `global` declaration in the function
  FunctionScopeMode Mode = SCOPE_ASSUME_LOCAL;
};

// When a name is being resolved: while the script loads, or at run time
// (dynamic references).
enum class ResolvePhase { Loading, Running };

// The scope names resolve in: the function being defined (while loading) or
// run (at run time). Installed by the functions code; while null every name
// is global.
using CurrentScopeHook = FunctionScope* (*)();

// Finds a variable by the scope rules, without creating one.
Variable* FindVariable(std::wstring_view name, VarList& globals, FunctionScope* function, ResolvePhase phase);
// Finds or creates a variable by the scope rules; null after a name error.
Variable* FindOrAddVariable(std::wstring_view name, VarList& globals, FunctionScope* function, ResolvePhase phase);
// After loading: undeclared locals named like super-globals become aliases
// of them and leave the local list; those named like ordinary globals get
// the #Warn check.
void FinishFunctionScope(FunctionScope& function, VarList& globals);
