// Shell shortcuts (see file_shortcuts.h).
//
// Both commands bracket their work with CoInitialize/CoUninitialize and
// release every interface on every path, so a failure part way leaves no
// object behind and reports ErrorLevel 1.
#include "system/file_shortcuts.h"

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cwctype>
#include <string>

#include "system/file_common.h"
#include "values/numeric_text.h"
#include "values/variable.h"

namespace {

enum : int {
  kGetLink = 0,
  kGetTarget = 1,
  kGetDir = 2,
  kGetArgs = 3,
  kGetDescription = 4,
  kGetIcon = 5,
  kGetIconNumber = 6,
  kGetRunState = 7,
};
enum : int {
  kCreateTarget = 0,
  kCreateLink = 1,
  kCreateDir = 2,
  kCreateArgs = 3,
  kCreateDescription = 4,
  kCreateIcon = 5,
  kCreateKey = 6,
  kCreateIconNumber = 7,
  kCreateRunState = 8,
};

// Room for the texts a shortcut holds (the description and arguments may
// be longer than a path).
constexpr int kLinkTextChars = 1024;

// The shell-link object and its file interface, released together.
class LinkObject {
 public:
  LinkObject() {
    initialized_ = SUCCEEDED(CoInitialize(nullptr));
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link_))))
      link_ = nullptr;
    if (link_ && FAILED(link_->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file_)))) file_ = nullptr;
  }
  ~LinkObject() {
    if (file_) file_->Release();
    if (link_) link_->Release();
    if (initialized_) CoUninitialize();
  }
  LinkObject(const LinkObject&) = delete;
  LinkObject& operator=(const LinkObject&) = delete;

  bool Ready() const { return link_ && file_; }
  IShellLinkW* Link() const { return link_; }
  IPersistFile* File() const { return file_; }

 private:
  bool initialized_ = false;
  IShellLinkW* link_ = nullptr;
  IPersistFile* file_ = nullptr;
};

// Stores a text in an output variable when the script named one.
void Put(CommandArgs& args, int index, const std::wstring& text) {
  if (index < args.Count && args.Var[index]) static_cast<void>(args.Var[index]->Assign(text));
}

// The hotkey word: Ctrl+Alt with a letter, a digit or F1..F24; 0 when the
// word names no such key.
WORD ShortcutHotkey(std::wstring_view word) {
  if (word.size() == 1) {
    const wchar_t c = static_cast<wchar_t>(std::towupper(word[0]));
    if ((c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9'))
      return static_cast<WORD>(c | ((HOTKEYF_CONTROL | HOTKEYF_ALT) << 8));
    return 0;
  }
  if (word.size() >= 2 && word.size() <= 3 && std::towupper(word[0]) == L'F') {
    const std::wstring digits(word.substr(1));
    if (IsNumeric(digits.c_str(), false, false, false) != PURE_INTEGER) return 0;
    const int64_t n = TextToInteger(digits.c_str());
    if (n < 1 || n > 24) return 0;
    return static_cast<WORD>((VK_F1 + n - 1) | ((HOTKEYF_CONTROL | HOTKEYF_ALT) << 8));
  }
  return 0;
}

}  // namespace

// Empties the outputs, loads the link, then fills the outputs asked for.
ResultCode CmdFileGetShortcut(ScriptLine& /*line*/, CommandArgs& args) {
  for (int i = kGetTarget; i <= kGetRunState; ++i) Put(args, i, L"");
  const wchar_t* linkFile = args[kGetLink];
  if (!*linkFile) return FinishFileCommand(true, ERROR_INVALID_PARAMETER);
  if (GetFileAttributesW(linkFile) == INVALID_FILE_ATTRIBUTES) return FinishFileCommand(true, GetLastError());
  LinkObject shell;
  if (!shell.Ready() || FAILED(shell.File()->Load(linkFile, STGM_READ))) return FinishFileCommand(true, GetLastError());
  wchar_t text[kLinkTextChars];
  IShellLinkW* link = shell.Link();
  if (SUCCEEDED(link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH))) Put(args, kGetTarget, text);
  if (SUCCEEDED(link->GetWorkingDirectory(text, kLinkTextChars))) Put(args, kGetDir, text);
  if (SUCCEEDED(link->GetArguments(text, kLinkTextChars))) Put(args, kGetArgs, text);
  if (SUCCEEDED(link->GetDescription(text, kLinkTextChars))) Put(args, kGetDescription, text);
  int iconIndex = 0;
  if (SUCCEEDED(link->GetIconLocation(text, kLinkTextChars, &iconIndex))) {
    Put(args, kGetIcon, text);
    Put(args, kGetIconNumber, *text ? std::to_wstring(iconIndex + 1) : std::wstring());
  }
  int showCommand = 0;
  if (SUCCEEDED(link->GetShowCmd(&showCommand))) Put(args, kGetRunState, std::to_wstring(showCommand));
  return FinishFileCommand(false, 0);
}

// Sets every part given, then saves the link file.
ResultCode CmdFileCreateShortcut(ScriptLine& /*line*/, CommandArgs& args) {
  LinkObject shell;
  if (!shell.Ready()) return FinishFileCommand(true, GetLastError());
  IShellLinkW* link = shell.Link();
  bool ok = SUCCEEDED(link->SetPath(args[kCreateTarget]));
  if (ok && *args[kCreateDir]) ok = SUCCEEDED(link->SetWorkingDirectory(args[kCreateDir]));
  if (ok && *args[kCreateArgs]) ok = SUCCEEDED(link->SetArguments(args[kCreateArgs]));
  if (ok && *args[kCreateDescription]) ok = SUCCEEDED(link->SetDescription(args[kCreateDescription]));
  if (ok && *args[kCreateIcon]) {
    const int64_t number = *args[kCreateIconNumber] ? TextToInteger(args[kCreateIconNumber]) : 1;
    ok = SUCCEEDED(link->SetIconLocation(args[kCreateIcon], static_cast<int>(number - 1)));
  }
  if (ok && *args[kCreateKey]) {
    const WORD hotkey = ShortcutHotkey(FileArg(args, kCreateKey));
    ok = hotkey && SUCCEEDED(link->SetHotkey(hotkey));
  }
  if (ok && *args[kCreateRunState])
    ok = SUCCEEDED(link->SetShowCmd(static_cast<int>(TextToInteger(args[kCreateRunState]))));
  if (ok) ok = SUCCEEDED(shell.File()->Save(args[kCreateLink], TRUE));
  return FinishFileCommand(!ok, ok ? 0 : GetLastError());
}
