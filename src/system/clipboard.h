// The clipboard as script variables: opening it with retries, reading its
// text (or its list of dropped files), writing text, saving and restoring
// its whole contents as a ClipboardAll image, ClipWait, and OnClipboardChange.
//
// Invariants: the clipboard is open only inside one operation; every path
// that opens it closes it before the operation returns, failures included.
// Errors are reported once, where they are found, with the texts of
// clipboard_msg, and the operation answers Fail (or an empty value for a
// read, which has no other way to say so).
//
// The ClipboardAll image is a byte string of records, little-endian:
//   format (4 bytes), size (8 bytes, readers use the low 32 bits), data;
// a 4-byte zero format ends it.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/result_code.h"
#include "exec/command_args.h"
#include "objects/builtin_functions.h"

class Variable;

// The messages of the clipboard code.
namespace clipboard_msg {
inline constexpr wchar_t CantOpenForReading[] = L"Can't open clipboard for reading.";
inline constexpr wchar_t CantOpenForWriting[] = L"Can't open clipboard for writing.";
inline constexpr wchar_t GlobalLockFailed[] = L"GlobalLock";
inline constexpr wchar_t GlobalAllocFailed[] = L"GlobalAlloc";
inline constexpr wchar_t EmptyClipboardFailed[] = L"EmptyClipboard";
inline constexpr wchar_t SetClipboardDataFailed[] = L"SetClipboardData";
inline constexpr wchar_t OutOfMemory[] = L"Out of memory.";
}  // namespace clipboard_msg

// Sizes of the image's parts.
inline constexpr size_t kImageFormatBytes = 4;
inline constexpr size_t kImageSizeBytes = 8;
inline constexpr size_t kImageRecordHeader = kImageFormatBytes + kImageSizeBytes;

// Opens the clipboard for the main window, retrying for the #ClipboardTimeout
// while the message loop runs (new threads barred). Nothing is reported.
bool OpenClipboardWithRetries();
// Closes the clipboard if this program has it open.
void CloseClipboardIfOpen();

// The text `Clipboard` reads: the Unicode text, else the dropped files'
// paths joined by CR LF; empty when there is neither. False after reporting
// a failure.
bool ReadClipboardText(std::wstring& text);
// Replaces the clipboard's contents with text (empty text empties it).
ResultCode WriteClipboardText(const wchar_t* text, size_t length);

// The whole clipboard as an image; empty when it holds nothing to keep.
// False after reporting a failure.
bool ReadClipboardImage(std::vector<unsigned char>& image);
// Puts every record of an image on the clipboard, stopping at the end mark
// or at a record that would pass the end of the bytes given.
ResultCode WriteClipboardImage(const void* data, size_t bytes);

// Makes Clipboard and ClipboardAll reach the system clipboard.
void InstallClipboardVariables();

// ClipWait [, SecondsToWait, 1]
ResultCode CmdClipWait(ScriptLine& line, CommandArgs& args);

// The OnClipboardChange registration function.
BuiltInFamily ClipboardFunctions();
// Window-message filter: runs the change handlers for MSG_CLIPBOARD_CHANGED.
bool FilterClipboardMessage(MSG& msg);
// The main window's clipboard notifications (WM_DRAWCLIPBOARD,
// WM_CLIPBOARDUPDATE, WM_CHANGECBCHAIN).
LRESULT HandleClipboardNotice(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Once the script is loaded and the main window exists: finds the change
// label and turns notification on when there are handlers.
void StartClipboardWatch();
// Exit: leaves the viewer chain or removes the listener.
void StopClipboardWatch();
