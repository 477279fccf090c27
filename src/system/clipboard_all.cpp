// ClipboardAll: saving every clipboard format as one image and putting an
// image back. Formats the system rebuilds from others (the ANSI and OEM
// texts, bitmaps and enhanced metafiles) are not saved, and of the two
// device-independent bitmap formats only the first one met is kept.
//
// Invariant: a record whose data grew between the sizing pass and the
// writing pass is left out rather than written past the room measured.
#include <windows.h>

#include <cstring>

#include "base/error_sink.h"
#include "base/script_context.h"
#include "system/clipboard.h"
#include "values/variable.h"

namespace {

// Registered formats lie above this.
constexpr UINT kFirstRegisteredFormat = 0xC000;
// Room for a registered format's name.
constexpr int kFormatNameChars = 260;
// The flags of the blocks an image is put back in (GMEM_MOVEABLE | GMEM_DDESHARE).
constexpr UINT kImageBlockFlags = 0x42;
// Formats the system makes from the ones that are kept.
constexpr UINT kRebuiltFormats[] = {CF_TEXT, CF_BITMAP, CF_OEMTEXT, CF_ENHMETAFILE, CF_DSPENHMETAFILE};
// Registered formats that belong to OLE objects of the source program.
constexpr const wchar_t* kSkippedNames[] = {L"ObjectLink", L"OwnerLink", L"Native", L"Embed Source"};
constexpr wchar_t kLinkSourcePrefix[] = L"Link Source";
// Registered formats that are kept as empty entries.
constexpr const wchar_t* kEmptyEntryNames[] = {L"MSDEVColumnSelect", L"MSDEVLineSelect"};

// What to do with one format.
enum class FormatAction { Skip, Empty, Fetch };

// Reports a failure on the running line.
ResultCode ReportImageError(const wchar_t* message) { return ReportLineError(Script().CurrentLine, message); }

// Whether a registered format's name is one of the names given.
template <size_t N>
bool NameIsOneOf(const wchar_t* name, const wchar_t* const (&names)[N]) {
  for (const wchar_t* candidate : names)
    if (_wcsicmp(name, candidate) == 0) return true;
  return false;
}

// Decides a format by the rules of the image.
FormatAction ActionFor(UINT format) {
  for (UINT rebuilt : kRebuiltFormats)
    if (format == rebuilt) return FormatAction::Skip;
  if (format < kFirstRegisteredFormat) return FormatAction::Fetch;
  wchar_t name[kFormatNameChars + 1] = L"";
  if (!GetClipboardFormatNameW(format, name, kFormatNameChars + 1)) return FormatAction::Fetch;
  if (_wcsnicmp(name, kLinkSourcePrefix, wcslen(kLinkSourcePrefix)) == 0 || NameIsOneOf(name, kSkippedNames))
    return FormatAction::Skip;
  if (NameIsOneOf(name, kEmptyEntryNames)) return FormatAction::Empty;
  return FormatAction::Fetch;
}

// One format to save: its number and data handle (null for an empty entry).
struct SavedFormat {
  UINT Format;
  HANDLE Data;
  size_t Size;
};

// The formats of the open clipboard to save, in enumeration order.
std::vector<SavedFormat> FormatsToSave(size_t& total) {
  std::vector<SavedFormat> formats;
  bool dibSeen = false;
  total = kImageFormatBytes;
  for (UINT format = EnumClipboardFormats(0); format; format = EnumClipboardFormats(format)) {
    const FormatAction action = ActionFor(format);
    if (action == FormatAction::Skip) continue;
    if (action == FormatAction::Empty) {
      formats.push_back({format, nullptr, 0});
      total += kImageRecordHeader;
      continue;
    }
    const bool isDib = format == CF_DIB || format == CF_DIBV5;
    if (isDib && dibSeen) continue;
    HANDLE data = GetClipboardData(format);
    if (!data) continue;
    if (isDib) dibSeen = true;
    const size_t size = GlobalSize(data);
    formats.push_back({format, data, size});
    total += kImageRecordHeader + size;
  }
  return formats;
}

// Appends a little-endian number of `bytes` bytes.
void PutNumber(std::vector<unsigned char>& out, uint64_t value, size_t bytes) {
  for (size_t i = 0; i < bytes; ++i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

// Reads a little-endian number.
uint64_t GetNumber(const unsigned char* at, size_t bytes) {
  uint64_t value = 0;
  for (size_t i = bytes; i-- > 0;) value = (value << 8) | at[i];
  return value;
}

// Puts one record's data on the open clipboard; false after reporting.
bool PutRecord(UINT format, const unsigned char* data, size_t size) {
  HGLOBAL block = GlobalAlloc(kImageBlockFlags, size ? size : 1);
  if (!block) {
    CloseClipboardIfOpen();
    static_cast<void>(ReportImageError(clipboard_msg::OutOfMemory));
    return false;
  }
  void* locked = GlobalLock(block);
  if (!locked) {
    GlobalFree(block);
    CloseClipboardIfOpen();
    static_cast<void>(ReportImageError(clipboard_msg::GlobalLockFailed));
    return false;
  }
  if (size) std::memcpy(locked, data, size);
  GlobalUnlock(block);
  // The system owns the block once it is taken.
  if (!SetClipboardData(format, block)) GlobalFree(block);
  return true;
}

}  // namespace

bool ReadClipboardImage(std::vector<unsigned char>& image) {
  image.clear();
  if (!OpenClipboardWithRetries()) {
    static_cast<void>(ReportImageError(clipboard_msg::CantOpenForReading));
    return false;
  }
  size_t total = 0;
  const std::vector<SavedFormat> formats = FormatsToSave(total);
  if (formats.empty()) {
    CloseClipboardIfOpen();
    return true;
  }
  image.reserve(total);
  for (const SavedFormat& saved : formats) {
    if (!saved.Data) {
      PutNumber(image, saved.Format, kImageFormatBytes);
      PutNumber(image, 0, kImageSizeBytes);
      continue;
    }
    const void* locked = GlobalLock(saved.Data);
    const size_t size = GlobalSize(saved.Data);
    // A record that grew since it was measured no longer fits its room.
    if (locked && size <= saved.Size) {
      PutNumber(image, saved.Format, kImageFormatBytes);
      PutNumber(image, size, kImageSizeBytes);
      const auto* bytes = static_cast<const unsigned char*>(locked);
      image.insert(image.end(), bytes, bytes + size);
    }
    if (locked) GlobalUnlock(saved.Data);
  }
  CloseClipboardIfOpen();
  PutNumber(image, 0, kImageFormatBytes);
  return true;
}

ResultCode WriteClipboardImage(const void* data, size_t bytes) {
  if (!OpenClipboardWithRetries()) return ReportImageError(clipboard_msg::CantOpenForWriting);
  if (!EmptyClipboard()) {
    CloseClipboardIfOpen();
    return ReportImageError(clipboard_msg::EmptyClipboardFailed);
  }
  const auto* at = static_cast<const unsigned char*>(data);
  const unsigned char* end = at + bytes;
  while (static_cast<size_t>(end - at) >= kImageFormatBytes) {
    const auto format = static_cast<UINT>(GetNumber(at, kImageFormatBytes));
    if (!format) break;
    at += kImageFormatBytes;
    if (static_cast<size_t>(end - at) < kImageSizeBytes) break;
    // Only the low 32 bits of the size count.
    const auto size = static_cast<size_t>(static_cast<uint32_t>(GetNumber(at, kImageSizeBytes)));
    at += kImageSizeBytes;
    if (size > static_cast<size_t>(end - at)) break;
    if (!PutRecord(format, at, size)) return ResultCode::Fail;
    at += size;
  }
  CloseClipboardIfOpen();
  return ResultCode::Ok;
}
