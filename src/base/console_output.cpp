// Standard output and error writers.
#include "base/console_output.h"

#include <string>

std::string ToUtf8(std::wstring_view text) {
  if (text.empty()) return std::string();
  int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
  return out;
}

bool WriteToStdHandle(DWORD which, std::wstring_view text) {
  HANDLE handle = GetStdHandle(which);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
  std::string bytes = ToUtf8(text);
  const char* at = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    DWORD written = 0;
    DWORD chunk = left > 0x10000000 ? 0x10000000 : static_cast<DWORD>(left);
    if (!WriteFile(handle, at, chunk, &written, nullptr) || written == 0) return false;
    at += written;
    left -= written;
  }
  return true;
}
