// ComState: what the COM subsystem keeps between calls: whether failures are
// reported, and the names script objects have been asked for through
// IDispatch (a name's DISPID is its position in the list plus one, for the
// life of the process, so a client may cache it).
#pragma once
#include <windows.h>
#include <oaidl.h>

#include <string>
#include <unordered_map>
#include <vector>

// Characters of the class-name buffer, terminator included.
inline constexpr size_t kComTypeNameChars = 64;

struct ComState {
  // The show-COM-errors switch: written by ComObjError, read by every report.
  bool ShowErrors = true;
  // Whether Startup initialised COM (and Exit must uninitialise it).
  bool Initialized = false;
  // The coclass name a wrapper last reported as its type; Type() answers a
  // pointer into it, valid until the next wrapper is asked.
  wchar_t TypeName[kComTypeNameChars] = L"";
  // Names handed out as DISPIDs by script objects' GetIDsOfNames; written
  // on the first request for a new name, never shrunk.
  std::vector<std::wstring> DispNames;
  // Lower-cased name to DISPID, matching DispNames.
  std::unordered_map<std::wstring, DISPID> DispIds;
};

namespace state_detail {
// The one instance; reach it through Com().
extern ComState com;
}  // namespace state_detail

inline ComState& Com() { return state_detail::com; }
