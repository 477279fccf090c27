// Helpers shared by the window commands (see automation_support.h).
#include "automation/automation_support.h"

#include <cwchar>

#include "exec/exec_state.h"
#include "values/variable.h"

namespace {

// Room for a class name, as the platform limits it.
constexpr int kClassNameChars = 257;

// The global ErrorLevel variable.
Variable* ErrorLevelVariable() { return Values().Globals.FindOrAdd(L"ErrorLevel", VAR_GLOBAL); }

}  // namespace

std::wstring_view ArgView(const CommandArgs& args, int i) {
  return i < args.Count && args.Text[i] ? std::wstring_view(args.Text[i], args.Length[i]) : std::wstring_view();
}

bool PumpMessages(int waitMs) {
  if (Exec().Hooks.PumpMessages) return Exec().Hooks.PumpMessages(waitMs);
  Sleep(waitMs < 0 ? 10u : static_cast<DWORD>(waitMs));
  return false;
}

void SleepWinDelay() {
  const int32_t delay = CurrentSettings().WinDelay;
  if (delay >= 0) PumpMessages(delay);
}

void SetErrorLevelNumber(int64_t value) {
  if (Variable* var = ErrorLevelVariable()) static_cast<void>(var->AssignInteger(value));
}

void SetErrorLevelText(std::wstring_view text) {
  if (Variable* var = ErrorLevelVariable()) static_cast<void>(var->Assign(text));
}

std::wstring HandleText(HWND window) {
  wchar_t buffer[24];
  swprintf(buffer, 24, L"0x%llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window)));
  return buffer;
}

bool ParseWholeNumber(std::wstring_view text, uint64_t& value) {
  size_t i = 0;
  while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'-' || text[i] == L'+')) negative = text[i++] == L'-';
  unsigned base = 10;
  if (i + 1 < text.size() && text[i] == L'0' && (text[i + 1] == L'x' || text[i + 1] == L'X')) {
    base = 16;
    i += 2;
  }
  uint64_t result = 0;
  size_t digits = 0;
  for (; i < text.size(); ++i, ++digits) {
    const wchar_t c = text[i];
    unsigned digit = 0;
    if (c >= L'0' && c <= L'9')
      digit = static_cast<unsigned>(c - L'0');
    else if (base == 16 && c >= L'a' && c <= L'f')
      digit = static_cast<unsigned>(c - L'a' + 10);
    else if (base == 16 && c >= L'A' && c <= L'F')
      digit = static_cast<unsigned>(c - L'A' + 10);
    else
      break;
    result = result * base + digit;
  }
  value = negative ? 0 - result : result;
  return digits > 0;
}

int64_t WholeNumberOr0(std::wstring_view text) {
  uint64_t value = 0;
  return ParseWholeNumber(text, value) ? static_cast<int64_t>(value) : 0;
}

bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

size_t FindNoCase(std::wstring_view text, std::wstring_view part, size_t from) {
  if (part.empty()) return from <= text.size() ? from : std::wstring_view::npos;
  for (size_t i = from; i + part.size() <= text.size(); ++i)
    if (EqualsNoCase(text.substr(i, part.size()), part)) return i;
  return std::wstring_view::npos;
}

ResultCode AssignOutput(CommandArgs& args, int i, std::wstring_view text) {
  Variable* var = i < args.Count ? args.Var[i] : nullptr;
  return var ? var->Assign(text) : ResultCode::Ok;
}

std::wstring WindowClassName(HWND window) {
  wchar_t buffer[kClassNameChars];
  const int length = GetClassNameW(window, buffer, kClassNameChars);
  return length > 0 ? std::wstring(buffer, static_cast<size_t>(length)) : std::wstring();
}

std::wstring WindowTitle(HWND window) {
  const int length = GetWindowTextLengthW(window);
  if (length <= 0) return {};
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const int got = GetWindowTextW(window, text.data(), length + 1);
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return text;
}
