// Built-in variables: the table's order and lookup, the getter protocol
// (bound without a buffer, value with one), the ISO week, and the clipboard
// image written to the clipboard and read back.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "exec/exec_state.h"
#include "system/clipboard.h"
#include "values/builtin_vars.h"
#include "values/builtin_vars_getters.h"
#include "values/thread_settings.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

// Every group is strictly ascending by the comparison lookups use.
TEST(BuiltInTable, GroupsAreSortedWithoutDuplicates) {
  for (std::span<const BuiltInVarEntry> group : {BuiltInPrefixedGroup(), BuiltInOtherGroup()}) {
    for (size_t i = 1; i < group.size(); ++i)
      EXPECT_LT(CompareNamesNoCase(group[i - 1].Name, group[i].Name), 0)
          << "out of order: " << static_cast<const void*>(group[i].Name);
  }
}

// Every entry is found by its own name in any case; the clipboard entries
// carry their variable types and no getter.
TEST(BuiltInTable, EveryEntryIsFoundInAnyCase) {
  for (const BuiltInVarEntry& entry : BuiltInPrefixedGroup()) {
    for (const std::wstring& name : {L"A_" + std::wstring(entry.Name), L"a_" + std::wstring(entry.Name)}) {
      uint8_t type = 0;
      BuiltInGetter getter = nullptr;
      BuiltInView view = nullptr;
      std::wstring upper = name;
      for (wchar_t& c : upper) c = static_cast<wchar_t>(towupper(c));
      for (const std::wstring& form : {name, upper}) {
        ASSERT_TRUE(LookupBuiltIn(form, type, getter, view));
        EXPECT_EQ(type, VAR_BUILTIN);
        EXPECT_EQ(getter, entry.Getter);
        EXPECT_EQ(view, entry.View);
      }
    }
  }
  uint8_t type = 0;
  BuiltInGetter getter = nullptr;
  BuiltInView view = nullptr;
  ASSERT_TRUE(LookupBuiltIn(L"clipboard", type, getter, view));
  EXPECT_EQ(type, VAR_CLIPBOARD);
  EXPECT_EQ(getter, nullptr);
  ASSERT_TRUE(LookupBuiltIn(L"CLIPBOARDALL", type, getter, view));
  EXPECT_EQ(type, VAR_CLIPBOARDALL);
}

// Names outside the table are ordinary variables, and the groups do not mix.
TEST(BuiltInTable, OtherNamesAreNotBuiltIn) {
  const wchar_t* const kNotBuiltIn[] = {L"A_Foo",    L"A_",     L"Index",   L"A_True", L"A_Clipboard",
                                        L"ComSpecX", L"AIndex", L"B_Index", L"Truth"};
  for (const wchar_t* name : kNotBuiltIn) {
    uint8_t type = 0;
    BuiltInGetter getter = nullptr;
    BuiltInView view = nullptr;
    EXPECT_FALSE(LookupBuiltIn(name, type, getter, view)) << static_cast<const void*>(name);
  }
}

// A built-in name creates a type-4 variable that reads through its getter.
TEST(BuiltInTable, VariablesAreBoundWhenCreated) {
  VarList list;
  Variable* var = list.FindOrAdd(L"a_ptrsize", VAR_GLOBAL);
  ASSERT_NE(var, nullptr);
  EXPECT_EQ(var->Type(), VAR_BUILTIN);
  EXPECT_NE(var->Getter(), nullptr);
  wchar_t text[8];
  EXPECT_EQ(var->GetText(text), 1u);
  EXPECT_STREQ(text, L"8");
  // Read-only: an assignment changes nothing.
  EXPECT_EQ(var->Assign(L"5"), ResultCode::Ok);
  EXPECT_EQ(var->GetText(text), 1u);
  EXPECT_STREQ(text, L"8");
}

// The protocol for every getter: the length answered without a buffer is
// never less than what is written with one, and the written text is
// terminated at the length returned.
TEST(BuiltInGetters, SizingBoundsTheValue) {
  for (const BuiltInVarEntry& entry : BuiltInPrefixedGroup()) {
    const std::wstring name = L"A_" + std::wstring(entry.Name);
    const size_t bound = entry.Getter(nullptr, name.c_str());
    std::vector<wchar_t> buffer(bound + 1, L'\x7F');
    const size_t written = entry.Getter(buffer.data(), name.c_str());
    EXPECT_LE(written, bound) << static_cast<const void*>(entry.Name);
    EXPECT_EQ(buffer[written], L'\0');
    EXPECT_EQ(std::wcslen(buffer.data()), written);
  }
}

// Numbers follow the thread's integer format; fixed-width parts keep theirs.
TEST(BuiltInGetters, IntegerFormatApplies) {
  ThreadSettings& thread = *Values().CurrentThread;
  const int64_t savedIndex = thread.LoopIndex;
  const char savedFormat = thread.IntegerFormatChar;
  thread.LoopIndex = 26;
  wchar_t text[32];
  builtin::Index(text, L"A_Index");
  EXPECT_STREQ(text, L"26");
  thread.IntegerFormatChar = 'H';
  builtin::Index(text, L"A_Index");
  EXPECT_STREQ(text, L"0x1A");
  thread.IntegerFormatChar = 'h';
  builtin::Index(text, L"A_Index");
  EXPECT_STREQ(text, L"0x1a");
  // A_LastError is decimal whatever the format, and signed.
  const uint32_t savedError = thread.LastErrorCode;
  thread.LastErrorCode = 0xFFFFFFFEu;
  builtin::LastError(text, L"A_LastError");
  EXPECT_STREQ(text, L"-2");
  thread.LastErrorCode = savedError;
  thread.IntegerFormatChar = savedFormat;
  thread.LoopIndex = savedIndex;
}

// Getters that serve several names tell them apart by the name given.
TEST(BuiltInGetters, SharedGettersFollowTheName) {
  ThreadSettings& thread = *Values().CurrentThread;
  const uint16_t saved = thread.CoordModes;
  thread.CoordModes = static_cast<uint16_t>((1 << 2) | (2 << 6));  // Mouse Client, Caret Screen
  wchar_t text[32];
  const struct {
    const wchar_t* Name;
    const wchar_t* Value;
  } kCases[] = {{L"A_CoordModePixel", L"Window"},
                {L"A_CoordModeMouse", L"Client"},
                {L"A_CoordModeToolTip", L"Window"},
                {L"a_coordmodecaret", L"Screen"},
                {L"A_CoordModeMenu", L"Window"}};
  for (const auto& c : kCases) {
    builtin::CoordMode(text, c.Name);
    EXPECT_STREQ(text, c.Value);
  }
  thread.CoordModes = saved;
  builtin::ScreenSize(text, L"A_ScreenWidth");
  EXPECT_EQ(std::wstring(text), std::to_wstring(GetSystemMetrics(SM_CXSCREEN)));
  builtin::ScreenSize(text, L"a_screenheight");
  EXPECT_EQ(std::wstring(text), std::to_wstring(GetSystemMetrics(SM_CYSCREEN)));
}

// The float format shows without its "%" and final "f".
TEST(BuiltInGetters, FormatFloatText) {
  ThreadSettings& thread = *Values().CurrentThread;
  const ThreadSettings saved = thread;
  wchar_t text[40];
  builtin::FormatFloat(text, L"A_FormatFloat");
  EXPECT_STREQ(text, L"0.6");
  ASSERT_EQ(thread.ApplySetFormat(L"Float", L"0.3e"), ResultCode::Ok);
  builtin::FormatFloat(text, L"A_FormatFloat");
  EXPECT_STREQ(text, L"0.3e");
  thread = saved;
}

// ISO weeks at the year's edges.
TEST(BuiltInGetters, IsoWeekAtYearEdges) {
  const struct {
    WORD Year, Month, Day, WeekDay;
    int Expected;
  } kCases[] = {
      {2021, 1, 4, 1, 202101},   {2021, 1, 1, 5, 202053}, {2020, 12, 31, 4, 202053}, {2019, 12, 30, 1, 202001},
      {2018, 1, 1, 1, 201801},   {2016, 1, 3, 0, 201553}, {2015, 12, 31, 4, 201553}, {2026, 12, 10, 4, 202650},
      {2024, 12, 30, 1, 202501}, {2027, 1, 1, 5, 202653},
  };
  for (const auto& c : kCases) {
    SYSTEMTIME date = {};
    date.wYear = c.Year;
    date.wMonth = c.Month;
    date.wDay = c.Day;
    date.wDayOfWeek = c.WeekDay;
    EXPECT_EQ(builtin::IsoYearWeek(date), c.Expected) << c.Year << "-" << c.Month << "-" << c.Day;
  }
}

// The clipboard needs an owner window for SetClipboardData to be taken:
// a hidden window stands in for the main window while a test runs.
class ClipboardImage : public ::testing::Test {
 protected:
  void SetUp() override {
    owner_ = CreateWindowExW(0, L"STATIC", L"clipboard test", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(owner_, nullptr);
    savedHook_ = Exec().Hooks.MainWindow;
    Exec().Hooks.MainWindow = [] { return owner_; };
  }
  void TearDown() override {
    Exec().Hooks.MainWindow = savedHook_;
    DestroyWindow(owner_);
    owner_ = nullptr;
  }
  static inline HWND owner_ = nullptr;
  HWND (*savedHook_)() = nullptr;
};

// Puts text and a registered format on the clipboard directly.
void PutTwoFormats(const wchar_t* text, UINT extra, const unsigned char* bytes, size_t size) {
  ASSERT_TRUE(OpenClipboard(Exec().Hooks.MainWindow()));
  EmptyClipboard();
  const size_t textBytes = (std::wcslen(text) + 1) * sizeof(wchar_t);
  HGLOBAL textBlock = GlobalAlloc(GMEM_MOVEABLE, textBytes);
  std::memcpy(GlobalLock(textBlock), text, textBytes);
  GlobalUnlock(textBlock);
  SetClipboardData(CF_UNICODETEXT, textBlock);
  HGLOBAL extraBlock = GlobalAlloc(GMEM_MOVEABLE, size);
  std::memcpy(GlobalLock(extraBlock), bytes, size);
  GlobalUnlock(extraBlock);
  SetClipboardData(extra, extraBlock);
  CloseClipboard();
}

// The bytes of one format on the clipboard.
std::vector<unsigned char> FormatBytes(UINT format) {
  std::vector<unsigned char> bytes;
  if (!OpenClipboard(nullptr)) return bytes;
  if (HANDLE data = GetClipboardData(format)) {
    const auto* p = static_cast<const unsigned char*>(GlobalLock(data));
    if (p) bytes.assign(p, p + GlobalSize(data));
    GlobalUnlock(data);
  }
  CloseClipboard();
  return bytes;
}

// An image saved through a file, the clipboard emptied, the image put
// back: the text and the second format come back byte for byte.
TEST_F(ClipboardImage, SurvivesAFileRoundTrip) {
  const UINT extra = RegisterClipboardFormatW(L"Quorivance Test Format");
  const unsigned char kBytes[] = {1, 2, 3, 0, 255, 7};
  PutTwoFormats(L"saved text", extra, kBytes, sizeof(kBytes));

  std::vector<unsigned char> image;
  ASSERT_TRUE(ReadClipboardImage(image));
  ASSERT_GE(image.size(), kImageFormatBytes);
  wchar_t path[MAX_PATH];
  GetTempPathW(MAX_PATH, path);
  std::wstring file = std::wstring(path) + L"qrv_clip_unit.bin";
  HANDLE out = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD done = 0;
  WriteFile(out, image.data(), static_cast<DWORD>(image.size()), &done, nullptr);
  CloseHandle(out);

  ASSERT_EQ(WriteClipboardText(L"", 0), ResultCode::Ok);
  EXPECT_EQ(CountClipboardFormats(), 0);

  std::vector<unsigned char> fromFile(image.size());
  HANDLE in = CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ReadFile(in, fromFile.data(), static_cast<DWORD>(fromFile.size()), &done, nullptr);
  CloseHandle(in);
  DeleteFileW(file.c_str());
  ASSERT_EQ(WriteClipboardImage(fromFile.data(), fromFile.size()), ResultCode::Ok);

  std::wstring text;
  ASSERT_TRUE(ReadClipboardText(text));
  EXPECT_EQ(text, L"saved text");
  std::vector<unsigned char> back = FormatBytes(extra);
  ASSERT_GE(back.size(), sizeof(kBytes));
  EXPECT_EQ(std::memcmp(back.data(), kBytes, sizeof(kBytes)), 0);
}

// An image whose last record announces more data than it holds stops
// before that record; an image of nothing empties the clipboard.
TEST_F(ClipboardImage, TruncatedRecordIsLeftOut) {
  const UINT extra = RegisterClipboardFormatW(L"Quorivance Test Format");
  std::vector<unsigned char> image;
  auto put = [&image](uint64_t value, size_t bytes) {
    for (size_t i = 0; i < bytes; ++i) image.push_back(static_cast<unsigned char>(value >> (8 * i)));
  };
  const wchar_t kText[] = L"kept";
  put(CF_UNICODETEXT, kImageFormatBytes);
  put(sizeof(kText), kImageSizeBytes);
  const auto* textBytes = reinterpret_cast<const unsigned char*>(kText);
  image.insert(image.end(), textBytes, textBytes + sizeof(kText));
  put(extra, kImageFormatBytes);
  put(100, kImageSizeBytes);  // only 3 bytes follow
  image.insert(image.end(), {9, 9, 9});
  ASSERT_EQ(WriteClipboardImage(image.data(), image.size()), ResultCode::Ok);
  std::wstring text;
  ASSERT_TRUE(ReadClipboardText(text));
  EXPECT_EQ(text, L"kept");
  EXPECT_FALSE(IsClipboardFormatAvailable(extra));

  const unsigned char kEnd[4] = {0, 0, 0, 0};
  ASSERT_EQ(WriteClipboardImage(kEnd, sizeof(kEnd)), ResultCode::Ok);
  EXPECT_EQ(CountClipboardFormats(), 0);
  std::vector<unsigned char> none;
  ASSERT_TRUE(ReadClipboardImage(none));
  EXPECT_TRUE(none.empty());
}

}  // namespace
