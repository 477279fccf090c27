// The image loader and LoadPicture (see pictures.h).
//
// Invariant: every path releases what it opened (modules, global memory,
// the GDI+ session, OLE pictures) before returning, success or not.
#include "gui/pictures.h"

#include <windows.h>
#include <ole2.h>
#include <olectl.h>
#include <shellapi.h>

#include <cwchar>
#include <string>
#include <vector>

#include "values/variable.h"

namespace {

#pragma pack(push, 2)
// An icon group's directory entry, as resources store it.
struct GroupIconEntry {
  BYTE Width, Height, ColorCount, Reserved;
  WORD Planes, BitCount;
  DWORD BytesInRes;
  WORD Id;
};
struct GroupIconDir {
  WORD Reserved, Type, Count;
  GroupIconEntry Entries[1];
};
#pragma pack(pop)

// Icon resource version CreateIconFromResourceEx expects.
constexpr DWORD kIconResourceVersion = 0x30000;
// The GDI+ background for transparent pixels: opaque black is what the
// Picture control expects of a flattened image.
constexpr DWORD kGdiPlusBackground = 0xFF000000;

// The lower-case extension after the last ".".
std::wstring ExtensionOf(std::wstring_view file) {
  const size_t dot = file.rfind(L'.');
  std::wstring ext = dot == std::wstring_view::npos ? std::wstring() : std::wstring(file.substr(dot + 1));
  for (auto& c : ext) c = static_cast<wchar_t>(towlower(c));
  return ext;
}

// Whether a word starts with the prefix, ignoring case.
bool StartsNoCase(std::wstring_view text, std::wstring_view prefix) {
  return text.size() >= prefix.size() && _wcsnicmp(text.data(), prefix.data(), prefix.size()) == 0;
}

struct EnumGroup {
  int Wanted = 1;
  int Seen = 0;
  LPWSTR Found = nullptr;
  std::wstring FoundName;
};

// Picks the n-th icon group of a module.
BOOL CALLBACK TakeNthGroup(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) {
  auto* state = reinterpret_cast<EnumGroup*>(param);
  if (++state->Seen < state->Wanted) return TRUE;
  if (IS_INTRESOURCE(name)) {
    state->Found = name;
  } else {
    state->FoundName = name;
    state->Found = state->FoundName.data();
  }
  return FALSE;
}

// An icon taken from a module's resources at the size closest above the target.
HICON IconFromResourceFile(std::wstring_view file, int iconNumber, int width, int height) {
  HMODULE module = file.empty() ? GetModuleHandleW(nullptr)
                                : LoadLibraryExW(std::wstring(file).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  HICON icon = nullptr;
  if (module) {
    EnumGroup state;
    state.Wanted = iconNumber < 1 ? 1 : iconNumber;
    LPCWSTR groupName = nullptr;
    if (iconNumber < 0) {
      groupName = MAKEINTRESOURCEW(-iconNumber);
    } else {
      EnumResourceNamesW(module, MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */, TakeNthGroup,
                         reinterpret_cast<LONG_PTR>(&state));
      groupName = state.Found;
    }
    HRSRC groupInfo = groupName ? FindResourceW(module, groupName, MAKEINTRESOURCEW(14)) : nullptr;
    const auto* dir =
        groupInfo ? static_cast<const GroupIconDir*>(LockResource(LoadResource(module, groupInfo))) : nullptr;
    if (dir && dir->Count > 0) {
      const int target = width > 0 ? width : height > 0 ? height : GetSystemMetrics(SM_CXICON);
      int best = -1, bestWidth = 0, largest = 0, largestWidth = -1;
      for (int i = 0; i < dir->Count; ++i) {
        const int w = dir->Entries[i].Width ? dir->Entries[i].Width : 256;
        if (w >= target && (best < 0 || w < bestWidth)) {
          best = i;
          bestWidth = w;
        }
        if (w > largestWidth) {
          largest = i;
          largestWidth = w;
        }
      }
      if (best < 0) best = largest;
      HRSRC imageInfo =
          FindResourceW(module, MAKEINTRESOURCEW(dir->Entries[best].Id), MAKEINTRESOURCEW(3) /* RT_ICON */);
      if (imageInfo) {
        auto* bits = static_cast<BYTE*>(LockResource(LoadResource(module, imageInfo)));
        if (bits)
          icon = CreateIconFromResourceEx(bits, SizeofResource(module, imageInfo), TRUE, kIconResourceVersion, 0, 0,
                                          LR_DEFAULTCOLOR);
      }
    }
    if (!file.empty()) FreeLibrary(module);
  }
  if (!icon && !file.empty()) {
    const UINT index = iconNumber >= 1   ? static_cast<UINT>(iconNumber - 1)
                       : iconNumber < -1 ? static_cast<UINT>(iconNumber)
                                         : 0;
    icon = ExtractIconW(GetModuleHandleW(nullptr), std::wstring(file).c_str(), index);
    if (reinterpret_cast<UINT_PTR>(icon) <= 1) icon = nullptr;
  }
  return icon;
}

// GDI+ through its flat interface, loaded at run time.
HBITMAP LoadWithGdiPlus(const std::wstring& file) {
  struct StartupInput {
    UINT32 Version = 1;
    void* DebugCallback = nullptr;
    BOOL SuppressBackgroundThread = FALSE;
    BOOL SuppressExternalCodecs = FALSE;
  };
  using StartupFn = int(WINAPI*)(ULONG_PTR*, const StartupInput*, void*);
  using ShutdownFn = void(WINAPI*)(ULONG_PTR);
  using FromFileFn = int(WINAPI*)(const wchar_t*, void**);
  using ToHbitmapFn = int(WINAPI*)(void*, HBITMAP*, DWORD);
  using DisposeFn = int(WINAPI*)(void*);
  HMODULE module = LoadLibraryW(L"gdiplus.dll");
  if (!module) return nullptr;
  auto proc = [&](const char* name) { return reinterpret_cast<void*>(GetProcAddress(module, name)); };
  auto startup = reinterpret_cast<StartupFn>(proc("GdiplusStartup"));
  auto shutdown = reinterpret_cast<ShutdownFn>(proc("GdiplusShutdown"));
  auto fromFile = reinterpret_cast<FromFileFn>(proc("GdipCreateBitmapFromFile"));
  auto toHbitmap = reinterpret_cast<ToHbitmapFn>(proc("GdipCreateHBITMAPFromBitmap"));
  auto dispose = reinterpret_cast<DisposeFn>(proc("GdipDisposeImage"));
  HBITMAP result = nullptr;
  ULONG_PTR token = 0;
  StartupInput input;
  if (startup && shutdown && fromFile && toHbitmap && dispose && startup(&token, &input, nullptr) == 0) {
    void* bitmap = nullptr;
    if (fromFile(file.c_str(), &bitmap) == 0 && bitmap) {
      if (toHbitmap(bitmap, &result, kGdiPlusBackground) != 0) result = nullptr;
      dispose(bitmap);
    }
    shutdown(token);
  }
  FreeLibrary(module);
  return result;
}

// The OLE picture loader for JPEG and GIF: a bitmap copy the caller owns.
HBITMAP LoadWithOle(const std::wstring& file, int width, int height) {
  HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  const DWORD size = GetFileSize(handle, nullptr);
  HBITMAP result = nullptr;
  HGLOBAL memory = size && size != INVALID_FILE_SIZE ? GlobalAlloc(GMEM_MOVEABLE, size) : nullptr;
  if (memory) {
    void* data = GlobalLock(memory);
    DWORD read = 0;
    const bool ok = data && ReadFile(handle, data, size, &read, nullptr) && read == size;
    GlobalUnlock(memory);
    IStream* stream = nullptr;
    if (ok && SUCCEEDED(CreateStreamOnHGlobal(memory, TRUE, &stream))) {
      memory = nullptr;  // the stream owns it now
      IPicture* picture = nullptr;
      if (SUCCEEDED(OleLoadPicture(stream, static_cast<LONG>(size), FALSE, IID_IPicture,
                                   reinterpret_cast<void**>(&picture)))) {
        OLE_HANDLE bitmap = 0;
        if (SUCCEEDED(picture->get_Handle(&bitmap)))
          result = static_cast<HBITMAP>(CopyImage(reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(bitmap)), IMAGE_BITMAP,
                                                  width, height, (width || height) ? 0 : LR_COPYRETURNORG));
        picture->Release();
      }
      stream->Release();
    }
    if (memory) GlobalFree(memory);
  }
  CloseHandle(handle);
  return result;
}

// The handle a "HBITMAP:"/"HICON:" source gives, or null when it is not one.
bool ReadHandleSource(std::wstring_view source, HANDLE& handle, int& type, bool& shared) {
  std::wstring_view rest;
  if (StartsNoCase(source, L"hicon:")) {
    type = IMAGE_ICON;
    rest = source.substr(6);
  } else if (StartsNoCase(source, L"hbitmap:")) {
    type = IMAGE_BITMAP;
    rest = source.substr(8);
  } else {
    return false;
  }
  shared = !rest.empty() && rest[0] == L'*';
  if (shared) rest.remove_prefix(1);
  std::wstring number(rest);
  handle = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(wcstoull(number.c_str(), nullptr, 0)));
  return true;
}

}  // namespace

SIZE ImageSize(HANDLE image, int type) {
  SIZE size = {0, 0};
  if (!image) return size;
  if (type == IMAGE_BITMAP) {
    BITMAP info = {};
    if (GetObjectW(image, sizeof(info), &info)) size = {info.bmWidth, info.bmHeight};
    return size;
  }
  ICONINFO info = {};
  if (!GetIconInfo(static_cast<HICON>(image), &info)) return size;
  BITMAP bits = {};
  if (info.hbmColor && GetObjectW(info.hbmColor, sizeof(bits), &bits)) {
    size = {bits.bmWidth, bits.bmHeight};
  } else if (info.hbmMask && GetObjectW(info.hbmMask, sizeof(bits), &bits)) {
    size = {bits.bmWidth, bits.bmHeight / 2};
  }
  if (info.hbmColor) DeleteObject(info.hbmColor);
  if (info.hbmMask) DeleteObject(info.hbmMask);
  return size;
}

HBITMAP IconToBitmap(HICON icon, bool destroyIcon) {
  const SIZE size = ImageSize(icon, IMAGE_ICON);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = size.cx;
  info.bmiHeader.biHeight = size.cy;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap && bits) {
    HGDIOBJ old = SelectObject(dc, bitmap);
    DrawIconEx(dc, 0, 0, icon, size.cx, size.cy, 0, nullptr, DI_NORMAL);
    SelectObject(dc, old);
    GdiFlush();
    auto* pixels = static_cast<DWORD*>(bits);
    const size_t count = static_cast<size_t>(size.cx) * static_cast<size_t>(size.cy);
    bool hasAlpha = false;
    for (size_t i = 0; i < count && !hasAlpha; ++i) hasAlpha = (pixels[i] & 0xFF000000) != 0;
    if (!hasAlpha) {
      // The mask decides: set bits are transparent, the rest opaque.
      ICONINFO iconInfo = {};
      std::vector<DWORD> mask(count, 0);
      bool haveMask = false;
      if (GetIconInfo(icon, &iconInfo)) {
        haveMask = iconInfo.hbmMask && GetDIBits(dc, iconInfo.hbmMask, 0, static_cast<UINT>(size.cy), mask.data(),
                                                 &info, DIB_RGB_COLORS) > 0;
        if (iconInfo.hbmColor) DeleteObject(iconInfo.hbmColor);
        if (iconInfo.hbmMask) DeleteObject(iconInfo.hbmMask);
      }
      for (size_t i = 0; i < count; ++i)
        pixels[i] = (haveMask && (mask[i] & 0x00FFFFFF)) ? 0 : (pixels[i] | 0xFF000000);
    }
  }
  DeleteDC(dc);
  if (destroyIcon) DestroyIcon(icon);
  return bitmap;
}

HANDLE LoadPictureFromSource(std::wstring_view source, int width, int height, int& type, int iconNumber,
                             bool useGdiPlus) {
  type = -1;
  if (source.empty()) return nullptr;
  HANDLE image = nullptr;
  bool shared = false;
  bool keepAspect = (width == -1 && height != 0 && height != -1) || (height == -1 && width != 0 && width != -1);
  if (!keepAspect && (width == -1 || height == -1)) width = height = 0;
  const std::wstring file(source);
  bool loadedFromOwnFile = false;
  if (ReadHandleSource(source, image, type, shared)) {
    if (!image) return nullptr;
  } else {
    const std::wstring ext = ExtensionOf(source);
    const bool resourceFile = iconNumber >= 2 || iconNumber < 0 || ext == L"exe" || ext == L"dll" || ext == L"icl" ||
                              ext == L"cpl" || ext == L"scr";
    if (resourceFile) {
      image = IconFromResourceFile(source, iconNumber, keepAspect ? -1 : width, keepAspect ? -1 : height);
      if (!image) return nullptr;
      type = IMAGE_ICON;
    } else {
      type = ext == L"ico"                      ? IMAGE_ICON
             : (ext == L"cur" || ext == L"ani") ? IMAGE_CURSOR
             : ext == L"bmp"                    ? IMAGE_BITMAP
                                                : -1;
      if (type != -1 && !useGdiPlus) {
        image = LoadImageW(nullptr, file.c_str(), static_cast<UINT>(type), keepAspect ? 0 : width,
                           keepAspect ? 0 : height, LR_LOADFROMFILE | LR_CREATEDIBSECTION);
        loadedFromOwnFile = image && type != IMAGE_BITMAP;
      }
      if (!image) {
        if (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES) return nullptr;
        if (iconNumber == 1) {
          image = IconFromResourceFile(source, 1, width, height);
          if (image) type = IMAGE_ICON;
        }
      }
      if (!image) {
        type = IMAGE_BITMAP;
        if (!useGdiPlus && (ext == L"jpg" || ext == L"jpeg" || ext == L"gif")) {
          image = LoadWithOle(file, keepAspect ? 0 : width, keepAspect ? 0 : height);
          if (image && !keepAspect) width = height = 0;  // already at its size
        } else {
          image = LoadWithGdiPlus(file);
        }
        if (!image) return nullptr;
      }
    }
  }
  if (keepAspect) {
    const SIZE own = ImageSize(image, type);
    if (own.cx > 0 && own.cy > 0) {
      if (width == -1)
        width = static_cast<int>(static_cast<double>(own.cx) / own.cy * height + 0.5);
      else
        height = static_cast<int>(static_cast<double>(own.cy) / own.cx * width + 0.5);
    }
    if (loadedFromOwnFile) {
      HANDLE again = LoadImageW(nullptr, file.c_str(), static_cast<UINT>(type), width, height, LR_LOADFROMFILE);
      if (again) {
        DestroyIcon(static_cast<HICON>(image));
        return again;
      }
    }
  }
  if (width || height || shared) {
    const UINT flags = shared ? 0 : (LR_COPYDELETEORG | LR_COPYRETURNORG);
    HANDLE copy = CopyImage(image, static_cast<UINT>(type == IMAGE_CURSOR ? IMAGE_ICON : type), width, height, flags);
    if (!copy) return shared ? nullptr : image;
    image = copy;
  }
  if (iconNumber >= 1 && type == IMAGE_BITMAP) {
    ICONINFO info = {};
    info.fIcon = TRUE;
    info.hbmColor = static_cast<HBITMAP>(image);
    info.hbmMask = static_cast<HBITMAP>(image);
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(image);
    image = icon;
    type = IMAGE_ICON;
  }
  return image;
}

namespace {

// LoadPicture(Filename [, Options, ImageType]).
ResultCode BifLoadPicture(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool) {
  wchar_t buffer[kFloatTextChars];
  const std::wstring file = ParamText(*params[0], buffer);
  int width = 0, height = 0, iconNumber = 0;
  bool gdiPlus = false, widthGiven = false, heightGiven = false;
  if (ParamGiven(params, count, 1)) {
    std::wstring options = ParamText(*params[1], buffer);
    size_t i = 0;
    while (i < options.size()) {
      while (i < options.size() && (options[i] == L' ' || options[i] == L'\t')) ++i;
      size_t end = i;
      while (end < options.size() && options[end] != L' ' && options[end] != L'\t') ++end;
      std::wstring_view word(options.data() + i, end - i);
      if (StartsNoCase(word, L"GDI+"))
        gdiPlus = word.size() == 4 || word[4] != L'0';
      else if (StartsNoCase(word, L"Icon"))
        iconNumber = _wtoi(std::wstring(word.substr(4)).c_str());
      else if (StartsNoCase(word, L"W") && word.size() > 1)
        widthGiven = true, width = _wtoi(std::wstring(word.substr(1)).c_str());
      else if (StartsNoCase(word, L"H") && word.size() > 1)
        heightGiven = true, height = _wtoi(std::wstring(word.substr(1)).c_str());
      i = end;
    }
  }
  if (widthGiven && !heightGiven && width > 0) height = -1;
  if (heightGiven && !widthGiven && height > 0) width = -1;
  int type = -1;
  HANDLE image = LoadPictureFromSource(file, width, height, type, iconNumber, gdiPlus);
  Variable* typeVar = count > 2 && params[2]->Symbol == ExprSymbol::VariableRef ? params[2]->Var : nullptr;
  if (image && !typeVar && type != IMAGE_BITMAP) {
    image = IconToBitmap(static_cast<HICON>(image), true);
    type = IMAGE_BITMAP;
  }
  if (typeVar && image) static_cast<void>(typeVar->AssignInteger(type));
  result.SetInteger(static_cast<int64_t>(reinterpret_cast<UINT_PTR>(image)));
  return ResultCode::Ok;
}

const BuiltInFunctionDef kPictureFunctions[] = {
    {L"LoadPicture", 1, 3, BifLoadPicture},
};

}  // namespace

BuiltInFamily PictureFunctions() {
  return {kPictureFunctions, sizeof(kPictureFunctions) / sizeof(kPictureFunctions[0])};
}
