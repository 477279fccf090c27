// TextLength must agree with wcslen for every length and starting
// alignment, and must not read into the page after a text that ends at a
// page boundary.
#include "base/text_length.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <vector>

TEST(TextLength, AgreesWithWcslenAtEveryAlignment) {
  std::vector<wchar_t> storage(160, L'x');
  for (size_t start = 0; start < 16; ++start) {
    for (size_t length = 0; length < 64; ++length) {
      wchar_t* text = storage.data() + start;
      std::fill(storage.begin(), storage.end(), L'x');
      text[length] = L'\0';
      // A unit whose high byte alone is zero is not a terminator.
      if (length > 1) text[length - 1] = static_cast<wchar_t>(0x0100);
      ASSERT_EQ(TextLength(text), std::wcslen(text)) << "start " << start << " length " << length;
    }
  }
}

TEST(TextLength, TextEndingAtAPageBoundaryIsReadSafely) {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  const size_t page = info.dwPageSize;
  auto* base = static_cast<char*>(VirtualAlloc(nullptr, page * 2, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  ASSERT_NE(base, nullptr);
  DWORD old = 0;
  ASSERT_TRUE(VirtualProtect(base + page, page, PAGE_NOACCESS, &old));
  auto* end = reinterpret_cast<wchar_t*>(base + page);
  for (size_t length : {0u, 1u, 6u, 7u, 8u, 100u}) {
    wchar_t* text = end - length - 1;
    for (size_t i = 0; i < length; ++i) text[i] = L'a';
    text[length] = L'\0';
    EXPECT_EQ(TextLength(text), length);
  }
  VirtualFree(base, 0, MEM_RELEASE);
}
