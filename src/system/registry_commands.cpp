// The registry commands (see registry_commands.h).
//
// Every command turns its key name into a RegistryKey first; the older
// form, a bare root followed by the subkey as its own parameter, moves the
// later parameters up by one. Reads and writes go through the thread's
// registry view.
#include "system/registry_commands.h"

#include <windows.h>

#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/error_sink.h"
#include "base/script_line.h"
#include "exec/errors.h"
#include "exec/reg_loop.h"
#include "exec/registry_keys.h"
#include "system/file_common.h"
#include "system/messages.h"
#include "values/numeric_text.h"
#include "values/thread_settings.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

// Access the delete opens its key with: read, set values, create and
// enumerate subkeys.
constexpr REGSAM kDeleteAccess = 0x2001F;
// The value name RegDelete takes for a key's default (unnamed) value.
constexpr wchar_t kDefaultValueWord[] = L"qrv_default";
// Longest subkey name the subtree delete enumerates, terminator included.
constexpr DWORD kSubkeyNameChars = 256;

struct ViewRow {
  const wchar_t* Name;
  REGSAM View;
};
const ViewRow kViews[] = {{L"32", KEY_WOW64_32KEY}, {L"64", KEY_WOW64_64KEY}, {L"Default", 0}};

// The key and the parameters after it, wherever the older form put them.
struct KeyArgs {
  RegistryKey Key;
  bool Valid = false;
  int Next = 0;  // the index of the first parameter after the key
};

// Parses the key at `index`; a bare root takes the next parameter as subkey.
void ParseKeyArgs(const CommandArgs& args, int index, KeyArgs& out) {
  out.Valid = ParseKeyName(FileArg(args, index), KeyNameMode::SubkeyOptional, out.Key);
  out.Next = index + 1;
  if (out.Valid && !out.Key.HasSubkey) {
    out.Key.Subkey.assign(FileArg(args, index + 1));
    out.Next = index + 2;
  }
}

// A_LastError then ErrorLevel (or an exception inside Try).
ResultCode FinishRegistry(LONG code) {
  Values().CurrentThread->LastErrorCode = static_cast<uint32_t>(code == -1 ? static_cast<LONG>(GetLastError()) : code);
  return ReportOutcome(code != ERROR_SUCCESS);
}

// Two upper-case hex digits per byte.
std::wstring BytesToHex(const BYTE* data, DWORD size) {
  static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
  std::wstring text;
  text.reserve(size * 2);
  for (DWORD i = 0; i < size; ++i) {
    text += kDigits[data[i] >> 4];
    text += kDigits[data[i] & 0xF];
  }
  return text;
}

// A text's data as the variable shows it: a REG_SZ ends at its first zero;
// the strings of a REG_MULTI_SZ are joined by line feeds.
std::wstring TextData(const wchar_t* data, size_t chars, DWORD type) {
  std::wstring text(data, chars);
  if (type != REG_MULTI_SZ) return text.substr(0, text.find(L'\0'));
  while (!text.empty() && text.back() == 0) text.pop_back();
  for (wchar_t& c : text)
    if (c == 0) c = L'\n';
  return text;
}

// Reads one value as text; the platform's result code.
LONG ReadValue(HKEY handle, const std::wstring& subkey, const wchar_t* valueName, std::wstring& text) {
  HKEY key = nullptr;
  LONG code = RegOpenKeyExW(handle, subkey.c_str(), 0, KEY_READ | CurrentRegView(), &key);
  if (code != ERROR_SUCCESS) return code;
  DWORD type = 0, size = 0;
  code = RegQueryValueExW(key, valueName, nullptr, &type, nullptr, &size);
  std::unique_ptr<BYTE[]> data;
  // The value may grow between the size query and the read: ask again.
  while (code == ERROR_SUCCESS || code == ERROR_MORE_DATA) {
    data.reset(new BYTE[size + 2 * sizeof(wchar_t)]);
    code = RegQueryValueExW(key, valueName, nullptr, &type, data.get(), &size);
    if (code != ERROR_MORE_DATA) break;
  }
  RegCloseKey(key);
  if (code != ERROR_SUCCESS) return code;
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
    case REG_MULTI_SZ: text = TextData(reinterpret_cast<const wchar_t*>(data.get()), size / 2, type); break;
    case REG_BINARY: text = BytesToHex(data.get(), size); break;
    case REG_DWORD: {
      DWORD value = 0;
      if (size >= sizeof(value)) std::memcpy(&value, data.get(), sizeof(value));
      text = std::to_wstring(value);
      break;
    }
    default: return ERROR_UNSUPPORTED_TYPE;
  }
  return ERROR_SUCCESS;
}

// The value of a hex digit, or -1.
int HexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

// Pairs of hex digits as bytes; false on an odd length or another character.
bool HexToBytes(std::wstring_view text, std::vector<BYTE>& bytes) {
  if (text.size() % 2) return false;
  bytes.reserve(text.size() / 2);
  for (size_t i = 0; i < text.size(); i += 2) {
    const int high = HexDigit(text[i]), low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0) return false;
    bytes.push_back(static_cast<BYTE>(high << 4 | low));
  }
  return true;
}

// Lines to zero-separated strings with a final double zero; one trailing
// line feed is dropped first and an empty text is no bytes at all.
std::wstring MultiStringData(std::wstring_view text) {
  if (!text.empty() && text.back() == L'\n') text.remove_suffix(1);
  if (text.empty()) return {};
  std::wstring data(text);
  for (wchar_t& c : data)
    if (c == L'\n') c = 0;
  data += L'\0';
  data += L'\0';
  return data;
}

// Writes one value of the given type; the platform's result code.
LONG WriteValue(HKEY key, const wchar_t* valueName, DWORD type, std::wstring_view value) {
  auto set = [&](const void* data, size_t bytes) {
    return RegSetValueExW(key, valueName, 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(bytes));
  };
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
      const std::wstring text(value);
      return set(text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    }
    case REG_DWORD: {
      const std::wstring text(value);
      const auto number = static_cast<DWORD>(TextToInteger(text.c_str()));
      return set(&number, sizeof(number));
    }
    case REG_BINARY: {
      std::vector<BYTE> bytes;
      if (!HexToBytes(value, bytes)) return ERROR_INVALID_PARAMETER;
      return set(bytes.data(), bytes.size());
    }
    case REG_MULTI_SZ: {
      const std::wstring data = MultiStringData(value);
      return set(data.c_str(), data.size() * sizeof(wchar_t));
    }
    default: return ERROR_INVALID_PARAMETER;
  }
}

// Deletes every subkey of an open key, depth first. Stops at the first
// subkey that cannot be removed: asking for index 0 again would find the
// same subkey forever.
LONG DeleteSubkeys(HKEY key) {
  wchar_t name[kSubkeyNameChars];
  for (;;) {
    DWORD length = kSubkeyNameChars;
    LONG code = RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (code == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (code != ERROR_SUCCESS) return code;
    HKEY child = nullptr;
    code = RegOpenKeyExW(key, name, 0, kDeleteAccess | CurrentRegView(), &child);
    if (code != ERROR_SUCCESS) return code;
    code = DeleteSubkeys(child);
    RegCloseKey(child);
    if (code == ERROR_SUCCESS) code = RegDeleteKeyW(key, name);
    if (code != ERROR_SUCCESS) return code;
  }
}

// Removes a key from its parent: a non-default view needs the view-aware
// call, looked up once because older systems lack it.
LONG DeleteKeyItself(HKEY handle, const std::wstring& subkey) {
  using DeleteKeyEx = LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);
  static const auto deleteKeyEx = reinterpret_cast<DeleteKeyEx>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"advapi32"), "RegDeleteKeyExW")));
  const REGSAM view = CurrentRegView();
  if (view && deleteKeyEx) return deleteKeyEx(handle, subkey.c_str(), view, 0);
  return RegDeleteKeyW(handle, subkey.c_str());
}

size_t GetRegView(wchar_t* buffer, const wchar_t*) {
  const REGSAM view = CurrentRegView();
  return PutBuiltInText(buffer, view == KEY_WOW64_64KEY ? L"64" : view == KEY_WOW64_32KEY ? L"32" : L"Default");
}

const BuiltInVarDef kRegistryVariables[] = {
    {L"A_RegView", GetRegView},
};

}  // namespace

// Inside a registry loop a lone output variable reads the loop's item.
ResultCode CmdRegRead(ScriptLine& line, CommandArgs& args) {
  Variable* output = args.Var[0];
  if (output) static_cast<void>(output->Assign());
  std::wstring text;
  LONG code = ERROR_INVALID_PARAMETER;
  const LoopRegItem* item = Values().CurrentThread->LoopReg;
  if (line.ArgTotal <= 1 && item) {
    code = ReadValue(item->Handle, item->Subkey, item->Name.c_str(), text);
  } else {
    KeyArgs key;
    ParseKeyArgs(args, 1, key);
    if (key.Valid) code = ReadValue(key.Key.Handle, key.Key.Subkey, args[key.Next], text);
  }
  if (code == ERROR_SUCCESS && output) static_cast<void>(output->Assign(text));
  return FinishRegistry(code);
}

// Creates the key when missing, then writes the value.
ResultCode CmdRegWrite(ScriptLine& /*line*/, CommandArgs& args) {
  DWORD type = 0;
  KeyArgs key;
  ParseKeyArgs(args, 1, key);
  if (!key.Valid || !RegWriteTypeOf(FileArg(args, 0), type)) return FinishRegistry(ERROR_INVALID_PARAMETER);
  HKEY opened = nullptr;
  LONG code = RegCreateKeyExW(key.Key.Handle, key.Key.Subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_WRITE | CurrentRegView(), nullptr, &opened, nullptr);
  if (code == ERROR_SUCCESS) {
    code = WriteValue(opened, args[key.Next], type, FileArg(args, key.Next + 1));
    RegCloseKey(opened);
  }
  return FinishRegistry(code);
}

// A value, the default value, or the key with its whole subtree.
ResultCode CmdRegDelete(ScriptLine& /*line*/, CommandArgs& args) {
  KeyArgs key;
  ParseKeyArgs(args, 0, key);
  const std::wstring_view valueName = FileArg(args, key.Next);
  const bool wholeKey = valueName.empty();
  // A root key itself is never deleted.
  if (!key.Valid || (wholeKey && key.Key.Subkey.empty())) return FinishRegistry(ERROR_INVALID_PARAMETER);
  HKEY opened = nullptr;
  LONG code = RegOpenKeyExW(key.Key.Handle, key.Key.Subkey.c_str(), 0, kDeleteAccess | CurrentRegView(), &opened);
  if (code != ERROR_SUCCESS) return FinishRegistry(code);
  if (!wholeKey) {
    const std::wstring name(EqualsNoCase(valueName, kDefaultValueWord) ? std::wstring_view() : valueName);
    code = RegDeleteValueW(opened, name.c_str());
    RegCloseKey(opened);
    return FinishRegistry(code);
  }
  code = DeleteSubkeys(opened);
  RegCloseKey(opened);
  if (code == ERROR_SUCCESS) code = DeleteKeyItself(key.Key.Handle, key.Key.Subkey);
  return FinishRegistry(code);
}

// The view every later registry access of this thread uses.
ResultCode CmdSetRegView(ScriptLine& line, CommandArgs& args) {
  for (const ViewRow& row : kViews) {
    if (EqualsNoCase(FileArg(args, 0), row.Name)) {
      Values().CurrentThread->RegistryView = static_cast<uint32_t>(row.View);
      return ResultCode::Ok;
    }
  }
  return ReportLineError(&line, system_msg::Param1Invalid, ERROR_KIND_ERROR, FileArg(args, 0));
}

std::span<const BuiltInVarDef> RegistryVariables() { return kRegistryVariables; }
