// dlgprobe: a stand-in for the interpreter in the harness self-tests. It is a
// GUI-subsystem program like qrv.exe, writes to inherited stdout/stderr, and
// does one of a few scripted things so qrvrun can be tested against it:
//
//   dlgprobe.exe msgbox STYLE TITLE TEXT [msgbox ...]   one message box after another;
//                                                       prints "pressed N" per box and
//                                                       exits with the last result
//   dlgprobe.exe echo OUT ERR CODE                      writes OUT and ERR, exits CODE
//   dlgprobe.exe sleep                                  never returns
//   dlgprobe.exe cat                                    copies stdin to stdout, exits 0
//   dlgprobe.exe where                                  prints its working folder, exits 0
//   dlgprobe.exe child ARGS...                          runs a copy of itself with ARGS,
//                                                       exits with its exit code
//
// STYLE is ok, okcancel, yesno, yesnocancel or retrycancel. TITLE, TEXT, OUT
// and ERR understand the escapes `n, `r, `t, `` and `uXXXX, so tests can use
// any character without depending on how Wine converts the Unix command line.
// The escape character is the backtick so Windows paths pass through as written.
// Arguments after a complete command are ignored, because the script-test
// runner appends a script path when dlgprobe stands in for the interpreter.

#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr int kExitUsage = 64;
constexpr int kExitCannotStart = 65;
constexpr wchar_t kEscape = L'`';

struct StyleName {
  const wchar_t* name;
  UINT flags;
};

const StyleName kStyles[] = {
    {L"ok", MB_OK},
    {L"okcancel", MB_OKCANCEL},
    {L"yesno", MB_YESNO},
    {L"yesnocancel", MB_YESNOCANCEL},
    {L"retrycancel", MB_RETRYCANCEL},
};

// Expands the backtick escapes described in the file header.
std::wstring Unescape(const std::wstring& text) {
  std::wstring out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != kEscape || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    wchar_t next = text[++i];
    if (next == L'n') {
      out += L'\n';
    } else if (next == L'r') {
      out += L'\r';
    } else if (next == L't') {
      out += L'\t';
    } else if (next == L'u' && i + 4 < text.size()) {
      out += static_cast<wchar_t>(std::wcstoul(text.substr(i + 1, 4).c_str(), nullptr, 16));
      i += 4;
    } else {
      out += next;
    }
  }
  return out;
}

// Writes UTF-8 text to one of the standard handles.
void WriteStd(DWORD which, const std::wstring& text) {
  HANDLE handle = GetStdHandle(which);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE || text.empty()) return;
  int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
  DWORD written = 0;
  WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

// Copies standard input to standard output byte for byte, until the input ends.
int CopyInput() {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  char buffer[4096];
  DWORD got = 0;
  while (input && input != INVALID_HANDLE_VALUE && ReadFile(input, buffer, sizeof buffer, &got, nullptr) && got) {
    DWORD written = 0;
    WriteFile(output, buffer, got, &written, nullptr);
  }
  return 0;
}

// Prints the working folder and a line break.
int PrintWorkingFolder() {
  wchar_t folder[MAX_PATH];
  DWORD length = GetCurrentDirectoryW(MAX_PATH, folder);
  WriteStd(STD_OUTPUT_HANDLE, std::wstring(folder, length < MAX_PATH ? length : 0) + L"\n");
  return 0;
}

// Maps a style name to MessageBox flags; false when unknown.
bool LookUpStyle(const std::wstring& name, UINT& flags) {
  for (const auto& style : kStyles)
    if (name == style.name) {
      flags = style.flags;
      return true;
    }
  return false;
}

// Shows the message boxes given as groups of "msgbox STYLE TITLE TEXT".
int RunMessageBoxes(const std::vector<std::wstring>& args, size_t first) {
  int result = kExitUsage;
  for (size_t i = first; i < args.size() && args[i] == L"msgbox"; i += 4) {
    UINT flags = 0;
    if (i + 3 >= args.size() || !LookUpStyle(args[i + 1], flags)) return kExitUsage;
    result =
        MessageBoxW(nullptr, Unescape(args[i + 3]).c_str(), Unescape(args[i + 2]).c_str(), flags | MB_SETFOREGROUND);
    WriteStd(STD_OUTPUT_HANDLE, L"pressed " + std::to_wstring(result) + L"\n");
  }
  return result;
}

// Quotes one argument for CreateProcessW (the probe's own arguments are simple).
std::wstring Quote(const std::wstring& arg) {
  std::wstring out = L"\"";
  for (wchar_t c : arg) {
    if (c == L'"') out += L'\\';
    out += c;
  }
  return out + L"\"";
}

// Runs a copy of this program with the remaining arguments and returns its exit code.
int RunChild(const std::vector<std::wstring>& args, size_t first) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring commandLine = Quote(self);
  for (size_t i = first; i < args.size(); ++i) commandLine += L" " + Quote(args[i]);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  // Hand our (inherited) standard handles on, as the interpreter does for programs it runs.
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process = {};
  // Under load Wine now and then fails a start in passing, as qrvrun knows:
  // tried a few times before the child counts as not startable.
  constexpr int kStartTries = 5;
  constexpr DWORD kRetryPauseMs = 200;
  bool started = false;
  for (int attempt = 0; attempt < kStartTries && !started; ++attempt) {
    if (attempt) Sleep(kRetryPauseMs);
    started = CreateProcessW(self, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
  }
  if (!started) return kExitCannotStart;
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  return static_cast<int>(code);
}

}  // namespace

// Dispatches on the first argument; see the file header.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::vector<std::wstring> args(argv, argv + argc);
  LocalFree(argv);
  if (args.size() < 2) return kExitUsage;
  const std::wstring& mode = args[1];
  if (mode == L"msgbox") return RunMessageBoxes(args, 1);
  if (mode == L"child") return RunChild(args, 2);
  if (mode == L"sleep") {
    for (;;) Sleep(INFINITE);
  }
  if (mode == L"cat") return CopyInput();
  if (mode == L"where") return PrintWorkingFolder();
  if (mode == L"echo" && args.size() >= 5) {
    WriteStd(STD_OUTPUT_HANDLE, Unescape(args[2]));
    WriteStd(STD_ERROR_HANDLE, Unescape(args[3]));
    return std::wcstol(args[4].c_str(), nullptr, 10);
  }
  return kExitUsage;
}
