// FileSelectFile and FileSelectFolder: the common Open/Save dialog and the
// shell's folder browser.
//
// Invariant: Gui().FileDialogs and Gui().FolderDialogs count the dialogs
// whose modal loop is running, raised just before the system call and
// lowered right after, as for the message boxes.
#include <windows.h>
#include <commdlg.h>
#include <shlobj.h>

#include <string>
#include <string_view>
#include <vector>

#include "base/script_context.h"
#include "base/script_line.h"
#include "exec/errors.h"
#include "gui/dialogs.h"
#include "gui/gui_messages.h"
#include "gui/gui_window.h"
#include "gui/message_box.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

// Argument positions.
enum : int { kArgOutput = 0, kArgOptions = 1, kArgStart = 2, kArgTitle = 3, kArgFilter = 4 };
enum : int { kArgFolderStart = 1, kArgFolderOptions = 2, kArgPrompt = 3 };
constexpr int kMaxFileDialogs = 4;
constexpr int kMaxFolderDialogs = 4;
// The longest start location each dialog takes.
constexpr size_t kMaxFileStart = MAX_PATH - 1;
constexpr size_t kMaxFolderStart = 524;
// The file-name buffer of the Open/Save dialog, in characters.
constexpr DWORD kFileBufferChars = 65534;

// The option bits of FileSelectFile and the dialog flags they stand for.
struct FileOptionBit {
  unsigned Bit;
  DWORD Flag;
};
constexpr FileOptionBit kFileOptionBits[] = {
    {1, OFN_FILEMUSTEXIST}, {2, OFN_PATHMUSTEXIST},    {4, OFN_ALLOWMULTISELECT},
    {8, OFN_CREATEPROMPT},  {16, OFN_OVERWRITEPROMPT}, {32, OFN_NODEREFERENCELINKS},
};

// The folder browser's option bits: set bit, flag when set, flag when clear.
struct FolderOptionBit {
  unsigned Bit;
  UINT WhenSet;
  UINT WhenClear;
};
constexpr FolderOptionBit kFolderOptionBits[] = {
    {1, 0, BIF_NONEWFOLDERBUTTON},
    {2, BIF_EDITBOX, 0},
    {4, 0, BIF_NEWDIALOGSTYLE},
};

// Where the Open/Save dialog starts: a folder and a proposed file name.
struct StartLocation {
  std::wstring Folder;
  std::wstring FileName;
};

// Whether a path names an existing directory.
bool IsDirectory(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Splits the start text into folder and file name.
StartLocation ParseStartLocation(std::wstring text) {
  if (text.size() > kMaxFileStart) text.resize(kMaxFileStart);
  StartLocation start;
  if (text.starts_with(L"::{")) {
    // A shell folder such as "::{20d04fe0-...}": what follows its "}" and
    // does not end in "\" is a file name in it.
    const size_t close = text.find(L'}');
    if (close == std::wstring::npos) {
      start.Folder = text;
      return start;
    }
    std::wstring rest = text.substr(close + 1);
    if (!rest.empty() && rest.back() != L'\\') {
      const size_t slash = rest.rfind(L'\\');
      start.FileName = slash == std::wstring::npos ? rest : rest.substr(slash + 1);
      start.Folder = text.substr(0, close + 1) + (slash == std::wstring::npos ? L"" : rest.substr(0, slash));
    } else {
      start.Folder = text;
    }
    return start;
  }
  if (text.empty() || IsDirectory(text)) {
    start.Folder = text;
    return start;
  }
  const size_t slash = text.rfind(L'\\');
  if (slash == std::wstring::npos) {
    start.FileName = text;
  } else {
    start.Folder = text.substr(0, slash);
    start.FileName = text.substr(slash + 1);
  }
  return start;
}

// The dialog's filter list: the script's filter (when given) and "All
// Files (*.*)", each a description and its patterns, NUL-separated.
std::wstring FilterList(std::wstring_view filter) {
  std::wstring list;
  if (!filter.empty()) {
    std::wstring_view patterns = filter;
    if (const size_t open = filter.find(L'('); open != std::wstring_view::npos) {
      const size_t close = filter.rfind(L')');
      patterns = close != std::wstring_view::npos && close > open ? filter.substr(open + 1, close - open - 1)
                                                                  : std::wstring_view();
    }
    std::wstring compact;
    for (wchar_t c : patterns)
      if (c != L' ') compact += c;
    list.append(filter).push_back(L'\0');
    list.append(compact).push_back(L'\0');
  }
  list.append(gui_msg::AllFiles).push_back(L'\0');
  list.append(L"*.*").push_back(L'\0');
  list.push_back(L'\0');
  return list;
}

// The lines a multi-select answer becomes: the folder, then each file.
std::wstring MultiSelectLines(const wchar_t* buffer, bool folderFirst) {
  std::vector<std::wstring> parts;
  for (const wchar_t* part = buffer; *part; part += wcslen(part) + 1) parts.emplace_back(part);
  if (parts.empty()) return {};
  if (folderFirst && parts.size() == 1) {
    // One file chosen: the dialog gave its full path, which splits into
    // the folder (a drive root keeps its "\") and the name.
    const std::wstring& path = parts[0];
    const size_t slash = path.rfind(L'\\');
    if (slash != std::wstring::npos) {
      const bool root = slash == 2 && path[1] == L':';
      parts = {path.substr(0, root ? slash + 1 : slash), path.substr(slash + 1)};
    }
  }
  std::wstring lines;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i) lines += L'\n';
    lines += parts[i];
  }
  return lines;
}

// Stores a dialog's answer (or "" when there is none) in the output variable.
ResultCode StoreAnswer(CommandArgs& args, const std::wstring& answer) {
  Variable* output = args.Var[kArgOutput];
  return output ? output->Assign(answer) : ResultCode::Ok;
}

// A dialog the user cancelled: ErrorLevel 1, which is an answer, not an
// error, so it never throws.
ResultCode StoreCancelled() { return Values().Globals.FindOrAdd(L"ErrorLevel", VAR_GLOBAL)->Assign(L"1"); }

// The working folder as it is now.
std::wstring CurrentFolder() {
  const DWORD length = GetCurrentDirectoryW(0, nullptr);
  std::wstring folder(length, L'\0');
  folder.resize(GetCurrentDirectoryW(length, folder.data()));
  return folder;
}

// Selects the folder the script asked for once the browser is up.
int CALLBACK BrowseCallback(HWND dialog, UINT message, LPARAM, LPARAM data) {
  if (message == BFFM_INITIALIZED && data) SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, data);
  return 0;
}

// The item list of a root folder text, or null for the desktop (or a
// folder the shell cannot parse).
LPITEMIDLIST ParseRootFolder(std::wstring root) {
  if (root.empty()) return nullptr;
  IShellFolder* desktop = nullptr;
  if (FAILED(SHGetDesktopFolder(&desktop))) return nullptr;
  LPITEMIDLIST list = nullptr;
  if (FAILED(desktop->ParseDisplayName(nullptr, nullptr, root.data(), nullptr, &list, nullptr))) list = nullptr;
  desktop->Release();
  return list;
}

}  // namespace

ResultCode CmdFileSelectFile(ScriptLine& line, CommandArgs& args) {
  if (Gui().FileDialogs >= kMaxFileDialogs) return GuiFail(line, gui_msg::MaxFileDialogs);
  // Options: an optional "M" (multi-select) or "S" (save), then option bits.
  std::wstring_view options = args[kArgOptions];
  const wchar_t mode = options.empty() ? L'\0' : static_cast<wchar_t>(towupper(options[0]));
  if (mode == L'M' || mode == L'S') options.remove_prefix(1);
  const unsigned bits = static_cast<unsigned>(NumberOf(options));
  DWORD flags = OFN_EXPLORER | OFN_HIDEREADONLY;
  for (const FileOptionBit& option : kFileOptionBits)
    if (bits & option.Bit) flags |= option.Flag;
  if (mode == L'M') flags |= OFN_ALLOWMULTISELECT;
  const bool save = mode == L'S' || ((flags & OFN_OVERWRITEPROMPT) && !(flags & OFN_CREATEPROMPT));

  const StartLocation start = ParseStartLocation(args[kArgStart]);
  std::vector<wchar_t> buffer(kFileBufferChars + 1, L'\0');
  start.FileName.copy(buffer.data(), std::min<size_t>(start.FileName.size(), kFileBufferChars));
  const std::wstring title =
      *args[kArgTitle] ? std::wstring(args[kArgTitle]) : gui_msg::SelectFileTitle + Script().ScriptFileName;
  const std::wstring filters = FilterList(args[kArgFilter]);

  OPENFILENAMEW dialog = {};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = DialogOwner();
  dialog.lpstrFilter = filters.c_str();
  dialog.lpstrFile = buffer.data();
  dialog.nMaxFile = kFileBufferChars;
  dialog.lpstrInitialDir = start.Folder.empty() ? nullptr : start.Folder.c_str();
  dialog.lpstrTitle = title.c_str();
  dialog.Flags = flags;

  const std::wstring workingFolder = CurrentFolder();
  RequestDialogSetup(0);
  ++Gui().FileDialogs;
  const BOOL chosen = save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog);
  --Gui().FileDialogs;
  // The dialog may have moved the process's working folder.
  SetCurrentDirectoryW(workingFolder.c_str());

  if (!chosen) {
    const bool failed = CommDlgExtendedError() != 0;
    if (StoreAnswer(args, L"") != ResultCode::Ok) return ResultCode::Fail;
    return failed ? ReportOutcome(true) : StoreCancelled();
  }
  std::wstring answer;
  if (mode == L'M')
    answer = MultiSelectLines(buffer.data(), true);
  else if (flags & OFN_ALLOWMULTISELECT)
    answer = MultiSelectLines(buffer.data(), false);
  else
    answer = buffer.data();
  if (StoreAnswer(args, answer) != ResultCode::Ok) return ResultCode::Fail;
  return ReportOutcome(false);
}

ResultCode CmdFileSelectFolder(ScriptLine& line, CommandArgs& args) {
  if (StoreAnswer(args, L"") != ResultCode::Ok) return ResultCode::Fail;
  if (Gui().FolderDialogs >= kMaxFolderDialogs) return GuiFail(line, gui_msg::MaxFolderDialogs);
  IMalloc* allocator = nullptr;
  if (FAILED(SHGetMalloc(&allocator)) || !allocator) return ReportOutcome(true);
  allocator->Release();

  // "ROOT*SELECTED": the browser's root and the folder selected in it.
  std::wstring startText = args[kArgFolderStart];
  if (startText.size() > kMaxFolderStart) startText.resize(kMaxFolderStart);
  std::wstring root = startText, selected;
  if (const size_t star = startText.find(L'*'); star != std::wstring::npos) {
    root = startText.substr(0, star);
    selected = startText.substr(star + 1);
    if (!root.empty() && (root.back() == L' ' || root.back() == L'\t')) root.pop_back();
  }
  const unsigned bits = *args[kArgFolderOptions] ? static_cast<unsigned>(NumberOf(args[kArgFolderOptions])) : 1;
  UINT flags = 0;
  for (const FolderOptionBit& option : kFolderOptionBits)
    flags |= (bits & option.Bit) ? option.WhenSet : option.WhenClear;
  const std::wstring title =
      *args[kArgPrompt] ? std::wstring(args[kArgPrompt]) : gui_msg::SelectFolderTitle + Script().ScriptFileName;

  wchar_t display[MAX_PATH] = L"";
  BROWSEINFOW browse = {};
  browse.hwndOwner = DialogOwner();
  browse.pidlRoot = ParseRootFolder(root);
  browse.pszDisplayName = display;
  browse.lpszTitle = title.c_str();
  browse.ulFlags = flags;
  browse.lpfn = BrowseCallback;
  browse.lParam = selected.empty() ? 0 : reinterpret_cast<LPARAM>(selected.c_str());

  RequestDialogSetup(0);
  ++Gui().FolderDialogs;
  LPITEMIDLIST chosen = SHBrowseForFolderW(&browse);
  --Gui().FolderDialogs;
  if (browse.pidlRoot) CoTaskMemFree(const_cast<LPITEMIDLIST>(browse.pidlRoot));
  if (!chosen) return StoreCancelled();
  wchar_t path[MAX_PATH] = L"";
  const bool found = SHGetPathFromIDListW(chosen, path);
  CoTaskMemFree(chosen);
  if (!found) return ReportOutcome(true);
  if (StoreAnswer(args, path) != ResultCode::Ok) return ResultCode::Fail;
  return ReportOutcome(false);
}
