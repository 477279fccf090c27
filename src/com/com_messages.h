// The COM subsystem's fixed message texts, in one place.
#pragma once

namespace com_msg {
inline constexpr wchar_t NoValidObject[] = L"No valid COM object!";
// The report of a failed call: the code, then the system's text for it.
inline constexpr wchar_t CodeFormat[] = L"0x%08X - ";
}  // namespace com_msg
