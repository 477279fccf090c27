// Registry key names as scripts write them: the root-key table, key-name
// parsing (an optional remote computer, the root word, the subkey), the
// value-type names, and the thread's registry view. Shared by the registry
// loop here and the registry commands of the system subsystem.
//
// Invariant: a RegistryKey that holds a remote connection closes it when it
// goes away, so no caller can leak one on an early return.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

// How the subkey part of a key name is read.
enum class KeyNameMode {
  RootOnly = 0,        // a root key alone; a following subkey is an error
  SubkeyEmpty = 1,     // an absent subkey reads as the empty string
  SubkeyOptional = 2,  // an absent subkey reads as none
};

// A parsed key name.
class RegistryKey {
 public:
  RegistryKey() = default;
  ~RegistryKey();
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  HKEY Root = nullptr;    // the root constant, which names the root
  HKEY Handle = nullptr;  // what subkeys open from: the root, or a remote connection
  bool IsRemote = false;  // Handle is a connection this record closes
  bool HasSubkey = false;
  std::wstring Subkey;
};

// Parses a key name; false when it is invalid (bad root word, bad remote
// computer part, a subkey where none may be, a failed connection).
bool ParseKeyName(std::wstring_view text, KeyNameMode mode, RegistryKey& key);

// The long name of a root constant ("HKEY_CURRENT_USER"); "" for any other handle.
const wchar_t* RootKeyLongName(HKEY root);

// Item type of a subkey in the registry loop.
inline constexpr long kRegItemKey = -2;

// The type name the registry loop shows: "REG_SZ" ... "REG_QWORD" for
// the platform types 1 to 11, "KEY" for a subkey, "" for anything else.
const wchar_t* RegTypeName(long type);

// The value types RegWrite accepts by name; false for any other name.
bool RegWriteTypeOf(std::wstring_view name, DWORD& type);

// The running thread's registry view (0, KEY_WOW64_32KEY or KEY_WOW64_64KEY).
REGSAM CurrentRegView();
