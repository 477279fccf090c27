// The registry loop (see reg_loop.h).
//
// Within a key the values come first, then the subkeys, each visited from
// the highest index down, so that the body may delete the item it is on
// without disturbing the indexes still to come. With recursion each subkey
// is visited before its own contents. A key that cannot be opened or
// queried simply yields no items.
#include "exec/reg_loop.h"

#include <cwctype>
#include <string_view>

#include "base/error_sink.h"
#include "base/script_line.h"
#include "exec/command_args.h"
#include "exec/loop_iteration.h"
#include "exec/registry_keys.h"
#include "values/thread_settings.h"
#include "values/values_state.h"

namespace {

inline constexpr wchar_t kParam2Invalid[] = L"Parameter #2 invalid.";
inline constexpr wchar_t kParam3Invalid[] = L"Parameter #3 invalid.";

// Longest subkey path the loop starts from.
constexpr size_t kMaxStartSubkeyChars = 1023;

// Which items the loop visits: the mode values the file loop uses too.
enum RegLoopMode : int { kValuesOnly = 1, kKeysOnly = 2, kValuesAndKeys = 3 };

struct RegLoopSetup {
  int Mode = kValuesOnly;
  bool Recurse = false;
};

// The walk's shared state.
struct RegLoopWalk {
  ScriptLine& LoopLine;
  ScriptLine* UntilLine;
  ScriptLine*& JumpToLine;
  RegLoopSetup Setup;
  HKEY Root;
  HKEY Handle;
  bool IsRemote;
  ResultCode Result = ResultCode::Ok;
};

// Mode letters: V/F values, K/D keys, R recursion; blanks ignored; false
// on any other character.
bool SetupFromLetters(std::wstring_view letters, RegLoopSetup& setup) {
  bool values = false, keys = false;
  for (const wchar_t c : letters) {
    switch (std::towupper(c)) {
      case L'V':
      case L'F': values = true; break;
      case L'K':
      case L'D': keys = true; break;
      case L'R': setup.Recurse = true; break;
      case L' ':
      case L'\t': break;
      default: return false;
    }
  }
  setup.Mode = keys ? (values ? kValuesAndKeys : kKeysOnly) : kValuesOnly;
  return true;
}

// The legacy include-subkeys value: 0 (or empty) values, 1 both, 2 keys.
bool SetupFromLegacy(std::wstring_view include, std::wstring_view recurse, RegLoopSetup& setup) {
  if (include.empty() || include == L"0")
    setup.Mode = kValuesOnly;
  else if (include == L"1")
    setup.Mode = kValuesAndKeys;
  else if (include == L"2")
    setup.Mode = kKeysOnly;
  else
    return false;
  setup.Recurse = recurse == L"1";
  return true;
}

// Points the thread at the item and runs the body once; false ends the loop.
bool VisitItem(RegLoopWalk& walk, const LoopRegItem& item) {
  Values().CurrentThread->LoopReg = &item;
  return RunIteration(walk.LoopLine, walk.UntilLine, walk.Result, walk.JumpToLine) == Iteration::Continue;
}

// One key level; false when the loop must end (Break, a jump, an error).
bool WalkKey(RegLoopWalk& walk, const std::wstring& subkey) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(walk.Handle, subkey.c_str(), 0, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | CurrentRegView(),
                    &key) != ERROR_SUCCESS)
    return true;
  DWORD valueCount = 0, keyCount = 0;
  if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &keyCount, nullptr, nullptr, &valueCount, nullptr, nullptr,
                       nullptr, nullptr) != ERROR_SUCCESS) {
    RegCloseKey(key);
    return true;
  }
  LoopRegItem item;
  item.Root = walk.Root;
  item.Handle = walk.Handle;
  item.IsRemote = walk.IsRemote;
  item.Subkey = subkey;
  wchar_t name[kRegLoopNameChars];
  bool goOn = true;
  if (walk.Setup.Mode != kKeysOnly) {
    for (DWORD i = valueCount; goOn && i-- > 0;) {
      DWORD length = kRegLoopNameChars;
      DWORD type = 0;
      if (RegEnumValueW(key, i, name, &length, nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS) continue;
      item.Name.assign(name, length);
      item.Type = static_cast<long>(type);
      item.LastWrite = FILETIME{};
      goOn = VisitItem(walk, item);
    }
  }
  if (goOn && (walk.Setup.Mode != kValuesOnly || walk.Setup.Recurse)) {
    for (DWORD i = keyCount; goOn && i-- > 0;) {
      DWORD length = kRegLoopNameChars;
      FILETIME lastWrite{};
      if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, &lastWrite) != ERROR_SUCCESS) continue;
      item.Name.assign(name, length);
      item.Type = kRegItemKey;
      item.LastWrite = lastWrite;
      if (walk.Setup.Mode != kValuesOnly) goOn = VisitItem(walk, item);
      if (!goOn || !walk.Setup.Recurse) continue;
      const std::wstring inner = subkey.empty() ? item.Name : subkey + L"\\" + item.Name;
      if (inner.size() <= kRegLoopNameChars) goOn = WalkKey(walk, inner);
    }
  }
  RegCloseKey(key);
  return goOn;
}

// Restores the enclosing registry loop's item when this loop ends.
class LoopRegGuard {
 public:
  LoopRegGuard() : saved_(Values().CurrentThread->LoopReg) {}
  ~LoopRegGuard() { Values().CurrentThread->LoopReg = saved_; }
  LoopRegGuard(const LoopRegGuard&) = delete;
  LoopRegGuard& operator=(const LoopRegGuard&) = delete;

 private:
  const LoopRegItem* saved_;
};

// Argument i as a view.
std::wstring_view ArgAt(const CommandArgs& args, int i) {
  return i < args.Count && args.Text[i] ? std::wstring_view(args.Text[i], args.Length[i]) : std::wstring_view();
}

}  // namespace

// Checks the mode, parses the key name and walks from the starting key.
ResultCode RunRegLoop(ScriptLine& loopLine, ScriptLine* untilLine, CommandArgs& args, bool legacy,
                      ScriptLine*& jumpToLine) {
  RegistryKey key;
  RegLoopSetup setup;
  bool parsed = false;
  if (legacy) {
    // A root word that already holds a subkey moves the later arguments up.
    parsed = ParseKeyName(ArgAt(args, 0), KeyNameMode::SubkeyOptional, key);
    const bool shifted = parsed && key.HasSubkey;
    const int includeArg = shifted ? 1 : 2;
    if (!SetupFromLegacy(ArgAt(args, includeArg), ArgAt(args, includeArg + 1), setup))
      return ReportLineError(&loopLine, shifted ? kParam2Invalid : kParam3Invalid, ERROR_KIND_ERROR,
                             ArgAt(args, includeArg));
    if (parsed && !shifted) key.Subkey.assign(ArgAt(args, 1));
  } else {
    if (!SetupFromLetters(ArgAt(args, 2), setup))
      return ReportLineError(&loopLine, kParam3Invalid, ERROR_KIND_ERROR, ArgAt(args, 2));
    parsed = ParseKeyName(ArgAt(args, 1), KeyNameMode::SubkeyEmpty, key);
  }
  if (!parsed) return ResultCode::Ok;
  std::wstring subkey = key.Subkey;
  if (subkey.size() > kMaxStartSubkeyChars) subkey.resize(kMaxStartSubkeyChars);
  if (!subkey.empty() && subkey.back() == L'\\') subkey.pop_back();
  RegLoopWalk walk{loopLine, untilLine, jumpToLine, setup, key.Root, key.Handle, key.IsRemote};
  LoopRegGuard guard;
  WalkKey(walk, subkey);
  return walk.Result;
}
