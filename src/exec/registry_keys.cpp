// Registry key names and type names (see registry_keys.h).
#include "exec/registry_keys.h"

#include <iterator>

#include "values/thread_settings.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

// Longest root word a key name may have.
constexpr size_t kMaxRootWordChars = 19;
// A remote computer's name (backslashes included) must be shorter than this.
constexpr size_t kMaxComputerChars = 128;

struct RootKeyRow {
  const wchar_t* Short;
  const wchar_t* Long;
  HKEY Handle;
};
const RootKeyRow kRootKeys[] = {
    {L"HKLM", L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {L"HKCR", L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {L"HKCC", L"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
    {L"HKCU", L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {L"HKU", L"HKEY_USERS", HKEY_USERS},
};

// The platform's value types 0 to 11, by number.
const wchar_t* const kTypeNames[] = {L"",
                                     L"REG_SZ",
                                     L"REG_EXPAND_SZ",
                                     L"REG_BINARY",
                                     L"REG_DWORD",
                                     L"REG_DWORD_BIG_ENDIAN",
                                     L"REG_LINK",
                                     L"REG_MULTI_SZ",
                                     L"REG_RESOURCE_LIST",
                                     L"REG_FULL_RESOURCE_DESCRIPTOR",
                                     L"REG_RESOURCE_REQUIREMENTS_LIST",
                                     L"REG_QWORD"};

struct WriteTypeRow {
  const wchar_t* Name;
  DWORD Type;
};
const WriteTypeRow kWriteTypes[] = {
    {L"REG_SZ", REG_SZ},       {L"REG_EXPAND_SZ", REG_EXPAND_SZ}, {L"REG_BINARY", REG_BINARY},
    {L"REG_DWORD", REG_DWORD}, {L"REG_MULTI_SZ", REG_MULTI_SZ},
};

// The root constant of a root word, or null.
HKEY RootOfWord(std::wstring_view word) {
  for (const RootKeyRow& row : kRootKeys)
    if (EqualsNoCase(word, row.Short) || EqualsNoCase(word, row.Long)) return row.Handle;
  return nullptr;
}

// Whether c separates a remote computer's name from the root in this mode.
bool IsComputerSeparator(wchar_t c, KeyNameMode mode) {
  switch (mode) {
    case KeyNameMode::RootOnly: return c == L':';
    case KeyNameMode::SubkeyEmpty: return c == L'\\';
    case KeyNameMode::SubkeyOptional: return c == L'\\' || c == L':';
  }
  return false;
}

}  // namespace

RegistryKey::~RegistryKey() {
  if (IsRemote && Handle) RegCloseKey(Handle);
}

// Remote computer, root word, subkey, then the connection.
bool ParseKeyName(std::wstring_view text, KeyNameMode mode, RegistryKey& key) {
  std::wstring computer;
  if (text.starts_with(L"\\\\")) {
    size_t end = 2;
    while (end < text.size() && !IsComputerSeparator(text[end], mode)) ++end;
    if (end >= text.size() || end == 2 || end >= kMaxComputerChars) return false;
    computer.assign(text.substr(0, end));
    const bool colon = text[end] == L':';
    text.remove_prefix(end + 1);
    if (colon)
      while (!text.empty() && (text.front() == L' ' || text.front() == L'\t')) text.remove_prefix(1);
  }
  const size_t slash = text.find(L'\\');
  const std::wstring_view word = text.substr(0, slash);
  if (word.size() > kMaxRootWordChars) return false;
  key.Root = RootOfWord(word);
  if (!key.Root) return false;
  key.HasSubkey = slash != std::wstring_view::npos;
  if (key.HasSubkey) {
    if (mode == KeyNameMode::RootOnly) return false;
    key.Subkey.assign(text.substr(slash + 1));
  } else {
    key.Subkey.clear();
    key.HasSubkey = mode == KeyNameMode::SubkeyEmpty;
  }
  key.Handle = key.Root;
  if (computer.empty()) return true;
  HKEY remote = nullptr;
  if (RegConnectRegistryW(computer.c_str(), key.Root, &remote) != ERROR_SUCCESS) {
    key.Handle = nullptr;
    return false;
  }
  key.Handle = remote;
  key.IsRemote = true;
  return true;
}

const wchar_t* RootKeyLongName(HKEY root) {
  for (const RootKeyRow& row : kRootKeys)
    if (row.Handle == root) return row.Long;
  return L"";
}

const wchar_t* RegTypeName(long type) {
  if (type == kRegItemKey) return L"KEY";
  if (type < 1 || type >= static_cast<long>(std::size(kTypeNames))) return L"";
  return kTypeNames[type];
}

bool RegWriteTypeOf(std::wstring_view name, DWORD& type) {
  for (const WriteTypeRow& row : kWriteTypes) {
    if (EqualsNoCase(name, row.Name)) {
      type = row.Type;
      return true;
    }
  }
  return false;
}

REGSAM CurrentRegView() { return Values().CurrentThread->RegistryView; }
