// Opening the clipboard, reading its text or dropped files, writing text,
// and the hooks through which the Clipboard and ClipboardAll variables
// reach it.
//
// A read of `Clipboard` comes as two calls (size, then text): the sizing
// call reads the whole text and closes the clipboard at once, and the text
// call hands over exactly what was measured, so the clipboard is never left
// open between the two and the text never outgrows the room reserved for it.
#include "system/clipboard.h"

#include <shellapi.h>

#include <cstring>

#include "base/error_sink.h"
#include "base/script_context.h"
#include "exec/exec_state.h"
#include "script/script_state.h"
#include "system/system_state.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

// Opening attempts stop when no more than this is left of the time-out.
constexpr int64_t kOpenGiveUpMs = 5;
// #ClipboardTimeout values with a meaning of their own.
constexpr int kRetryForever = -1;
constexpr int kNoRetry = 0;
// Room for one dropped file's name.
constexpr UINT kDroppedNameChars = 999;

// Reports a clipboard failure on the running line.
ResultCode ReportClipboardError(const wchar_t* message) { return ReportLineError(Script().CurrentLine, message); }

// The window the clipboard is opened for.
HWND ClipboardOwner() { return Exec().Hooks.MainWindow ? Exec().Hooks.MainWindow() : nullptr; }

// The dropped files of an HDROP, joined by CR LF.
std::wstring DroppedFileList(HDROP drop) {
  std::wstring text;
  const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  wchar_t name[kDroppedNameChars + 1];
  for (UINT i = 0; i < count; ++i) {
    const UINT length = DragQueryFileW(drop, i, name, kDroppedNameChars + 1);
    if (i) text += L"\r\n";
    text.append(name, length);
  }
  return text;
}

// Reads the text out of the open clipboard; false after reporting.
bool TakeOpenClipboardText(bool isText, std::wstring& text) {
  HANDLE data = GetClipboardData(isText ? CF_UNICODETEXT : CF_HDROP);
  void* locked = data ? GlobalLock(data) : nullptr;
  if (!locked) {
    CloseClipboardIfOpen();
    static_cast<void>(ReportClipboardError(clipboard_msg::GlobalLockFailed));
    return false;
  }
  if (isText) {
    // The block may lack a terminator; it never reaches past its size.
    const size_t room = GlobalSize(data) / sizeof(wchar_t);
    const auto* chars = static_cast<const wchar_t*>(locked);
    text.assign(chars, wcsnlen(chars, room));
  } else {
    text = DroppedFileList(static_cast<HDROP>(locked));
  }
  GlobalUnlock(data);
  CloseClipboardIfOpen();
  return true;
}

// GetText for Clipboard and ClipboardAll: ClipboardAll reads as empty text.
size_t GetClipboardVariableText(Variable& var, wchar_t* buffer) {
  ClipboardState& clip = System().Clipboard;
  if (var.Type() != VAR_CLIPBOARD) {
    if (buffer) *buffer = L'\0';
    return 0;
  }
  if (!buffer) {
    clip.PendingText.clear();
    clip.HasPendingText = ReadClipboardText(clip.PendingText);
    return clip.PendingText.size();
  }
  // A text call without its sizing call has no known room: write nothing.
  const size_t length = clip.HasPendingText ? clip.PendingText.size() : 0;
  std::wmemcpy(buffer, clip.PendingText.data(), length);
  buffer[length] = L'\0';
  clip.PendingText.clear();
  clip.HasPendingText = false;
  return length;
}

// Assignment of a ClipboardAll image to a variable.
ResultCode ReadImageIntoVariable(Variable& target) {
  std::vector<unsigned char> image;
  if (!ReadClipboardImage(image)) return ResultCode::Fail;
  // A variable holds whole 2-byte characters.
  if (image.size() % sizeof(wchar_t)) image.push_back(0);
  return target.AssignBinaryClip(image.data(), image.size());
}

}  // namespace

bool OpenClipboardWithRetries() {
  ClipboardState& clip = System().Clipboard;
  if (clip.IsOpen) return true;
  const DWORD start = GetTickCount();
  HWND owner = ClipboardOwner();
  while (!OpenClipboard(owner)) {
    const int timeout = Loader().Directives.ClipboardTimeout;
    if (timeout == kNoRetry) return false;
    if (timeout != kRetryForever) {
      const int64_t left = static_cast<int64_t>(timeout) - static_cast<int64_t>(GetTickCount() - start);
      if (left <= kOpenGiveUpMs) return false;
    }
    if (Exec().Hooks.PumpMessagesOnce)
      Exec().Hooks.PumpMessagesOnce(false);
    else
      Sleep(1);
  }
  clip.IsOpen = true;
  return true;
}

void CloseClipboardIfOpen() {
  ClipboardState& clip = System().Clipboard;
  if (!clip.IsOpen) return;
  CloseClipboard();
  clip.IsOpen = false;
}

bool ReadClipboardText(std::wstring& text) {
  text.clear();
  const bool hasText = IsClipboardFormatAvailable(CF_UNICODETEXT);
  if (!hasText && !IsClipboardFormatAvailable(CF_HDROP)) return true;
  if (!OpenClipboardWithRetries()) {
    static_cast<void>(ReportClipboardError(clipboard_msg::CantOpenForReading));
    return false;
  }
  return TakeOpenClipboardText(hasText, text);
}

ResultCode WriteClipboardText(const wchar_t* text, size_t length) {
  HGLOBAL block = nullptr;
  if (length) {
    block = GlobalAlloc(GMEM_MOVEABLE, (length + 1) * sizeof(wchar_t));
    if (!block) return ReportClipboardError(clipboard_msg::GlobalAllocFailed);
    auto* chars = static_cast<wchar_t*>(GlobalLock(block));
    if (!chars) {
      GlobalFree(block);
      return ReportClipboardError(clipboard_msg::GlobalLockFailed);
    }
    std::wmemcpy(chars, text, length);
    chars[length] = L'\0';
    GlobalUnlock(block);
  }
  if (!OpenClipboardWithRetries()) {
    if (block) GlobalFree(block);
    return ReportClipboardError(clipboard_msg::CantOpenForWriting);
  }
  if (!EmptyClipboard()) {
    CloseClipboardIfOpen();
    if (block) GlobalFree(block);
    return ReportClipboardError(clipboard_msg::EmptyClipboardFailed);
  }
  // The system owns the block once SetClipboardData takes it.
  if (block && !SetClipboardData(CF_UNICODETEXT, block)) {
    CloseClipboardIfOpen();
    GlobalFree(block);
    return ReportClipboardError(clipboard_msg::SetClipboardDataFailed);
  }
  CloseClipboardIfOpen();
  return ResultCode::Ok;
}

void InstallClipboardVariables() {
  ClipboardSeam& seam = Values().Clipboard;
  seam.PutText = WriteClipboardText;
  seam.PutImage = WriteClipboardImage;
  seam.GetText = GetClipboardVariableText;
  seam.ReadImage = ReadImageIntoVariable;
}
