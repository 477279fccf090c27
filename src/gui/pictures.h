// The one image loader: a file (BMP, ICO, CUR, ANI, GIF, JPEG, PNG, or an
// icon from an EXE/DLL) or a handle given as "HBITMAP:"/"HICON:" text, at a
// wanted size; and the LoadPicture function built on it.
#pragma once
#include <windows.h>

#include <string_view>

#include "objects/builtin_functions.h"

// Loads an image. width/height: 0 = the image's own, -1 = keep the aspect
// from the other. iconNumber: 0 none, n >= 1 the n-th icon group, negative
// a resource identifier. `type` receives IMAGE_BITMAP, IMAGE_ICON or
// IMAGE_CURSOR. Returns null on any failure (nothing is reported). A handle
// marked shared ("*") is returned as a copy, so the caller always owns it.
HANDLE LoadPictureFromSource(std::wstring_view source, int width, int height, int& type, int iconNumber,
                             bool useGdiPlus);

// The pixel size of a bitmap, icon or cursor.
SIZE ImageSize(HANDLE image, int type);

// An icon or cursor drawn into a 32-bit bitmap with transparency; destroys
// the icon when told to.
HBITMAP IconToBitmap(HICON icon, bool destroyIcon);

// The LoadPicture function.
BuiltInFamily PictureFunctions();
