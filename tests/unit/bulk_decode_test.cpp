// Tests of whole-buffer decoding: for every code page and every kind of
// text (plain ASCII, mixed, long non-ASCII runs that are cut into pieces,
// broken UTF-8, double-byte text whose second bytes look like ASCII) the
// units must equal one conversion of the whole by the system, whether the
// bytes lie apart or at the end of the output's own room.
#include "system/bulk_decode.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// The system's conversion of all the bytes at once: the expected text.
std::wstring Reference(const Bytes& bytes, uint32_t codePage) {
  if (bytes.empty()) return {};
  std::wstring out(bytes.size(), L'\0');
  const int made = MultiByteToWideChar(codePage, 0, reinterpret_cast<const char*>(bytes.data()),
                                       static_cast<int>(bytes.size()), out.data(), static_cast<int>(out.size()));
  out.resize(made > 0 ? static_cast<size_t>(made) : 0);
  return out;
}

// DecodeBytes with the bytes in a buffer of their own.
std::wstring Apart(const Bytes& bytes, uint32_t codePage) {
  std::wstring out(bytes.size() + 1, L'\0');
  const ptrdiff_t made = DecodeBytes(out.data(), bytes.data(), bytes.size(), codePage);
  EXPECT_GE(made, 0);
  out.resize(made > 0 ? static_cast<size_t>(made) : 0);
  return out;
}

// DecodeBytes with the bytes in the last bytes of the output's room, as
// FileRead puts them.
std::wstring InPlace(const Bytes& bytes, uint32_t codePage) {
  std::vector<wchar_t> room(bytes.size() + 1);
  uint8_t* at = reinterpret_cast<uint8_t*>(room.data()) + bytes.size() + sizeof(wchar_t);
  if (!bytes.empty()) std::memcpy(at, bytes.data(), bytes.size());
  const ptrdiff_t made = DecodeBytes(room.data(), at, bytes.size(), codePage);
  EXPECT_GE(made, 0);
  return std::wstring(room.data(), made > 0 ? static_cast<size_t>(made) : 0);
}

// The UTF-8 bytes of a text.
Bytes Utf8(const std::wstring& text) {
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  Bytes out(static_cast<size_t>(size));
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), reinterpret_cast<char*>(out.data()), size,
                      nullptr, nullptr);
  return out;
}

// Bytes drawn from `alphabet`, in runs so that ASCII and other stretches
// of every length occur.
Bytes Random(std::mt19937& rng, size_t size, const Bytes& alphabet) {
  Bytes out;
  std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
  while (out.size() < size) out.push_back(alphabet[pick(rng)]);
  return out;
}

// Every byte value, weighted towards ASCII.
Bytes AllBytesAlphabet() {
  Bytes alphabet;
  for (int b = 0; b < 256; ++b) alphabet.push_back(static_cast<uint8_t>(b));
  for (int b = 0x20; b < 0x7F; ++b) alphabet.push_back(static_cast<uint8_t>(b));
  return alphabet;
}

struct Case {
  const char* Name;
  Bytes Data;
};

// The texts every code page is tried on.
std::vector<Case> Cases() {
  std::mt19937 rng(12345);
  std::vector<Case> cases;
  cases.push_back({"empty", {}});
  cases.push_back({"one byte", {'a'}});
  cases.push_back({"one high byte", {0xE9}});
  std::string ascii;
  for (int i = 0; i < 5000; ++i) ascii += "line " + std::to_string(i) + " of plain text\r\n";
  cases.push_back({"plain ASCII", Bytes(ascii.begin(), ascii.end())});
  std::wstring mixed;
  for (int i = 0; i < 3000; ++i)
    mixed += L"row " + std::to_wstring(i) + (i % 5 ? L" gr\u00FC\u00DFe \u20AC\U0001F600\n" : L" plain\n");
  cases.push_back({"mixed UTF-8", Utf8(mixed)});
  // Long stretches without any ASCII byte.
  std::wstring wide;
  for (int i = 0; i < 70000; ++i) wide += static_cast<wchar_t>(0x4E00 + i % 5000);
  wide += L"\U0001F600";
  for (int i = 0; i < 40000; ++i) wide += (i % 3) ? L"\u00E9" : L"\U0001F601";
  cases.push_back({"long non-ASCII runs", Utf8(wide)});
  // Sequences cut short, stray continuation bytes and overlong forms, next
  // to ASCII runs of every length.
  Bytes broken;
  const Bytes bad[] = {{0xE2, 0x82}, {0x80}, {0xBF, 0xBF},      {0xF0, 0x9F, 0x98},
                       {0xC0, 0xAF}, {0xFF}, {0xED, 0xA0, 0x80}};
  for (int i = 0; i < 4000; ++i) {
    const Bytes& piece = bad[i % 7];
    broken.insert(broken.end(), piece.begin(), piece.end());
    for (int k = 0; k < i % 40; ++k) broken.push_back(static_cast<uint8_t>('a' + k % 26));
  }
  cases.push_back({"broken UTF-8", broken});
  Bytes longBroken;
  for (int i = 0; i < 100000; ++i) longBroken.push_back(static_cast<uint8_t>(i % 9 ? 0x80 + i % 64 : 0xE3));
  cases.push_back({"long broken run", longBroken});
  cases.push_back({"random bytes", Random(rng, 300000, AllBytesAlphabet())});
  // Mostly ASCII: pieces end after short runs of it, next to every byte.
  Bytes mostlyAscii = AllBytesAlphabet();
  for (int copies = 0; copies < 12; ++copies)
    for (int b = 0x20; b < 0x7F; ++b) mostlyAscii.push_back(static_cast<uint8_t>(b));
  cases.push_back({"random mostly ASCII", Random(rng, 300000, mostlyAscii)});
  // Double-byte pairs whose second byte is ASCII ('@', '\\', letters).
  Bytes pairs;
  for (int i = 0; i < 30000; ++i) {
    pairs.push_back(static_cast<uint8_t>(0x81 + i % 30));
    pairs.push_back(static_cast<uint8_t>(0x40 + i % 60));
    if (i % 4 == 0) pairs.push_back('x');
  }
  cases.push_back({"double-byte pairs", pairs});
  return cases;
}

// The code pages tried: UTF-8, single-byte ones, double-byte ones and one
// whose bytes below 0x80 are not ASCII.
constexpr uint32_t kCodePages[] = {65001, 1252, 1251, 437, 28591, 932, 936, 949, 950, 37};

TEST(BulkDecode, EqualsOneConversionOfTheWhole) {
  const std::vector<Case> cases = Cases();
  for (const uint32_t codePage : kCodePages) {
    if (!IsValidCodePage(codePage)) continue;
    for (const Case& c : cases) {
      const std::wstring wanted = Reference(c.Data, codePage);
      EXPECT_TRUE(Apart(c.Data, codePage) == wanted) << c.Name << " in " << codePage << " (apart)";
      EXPECT_TRUE(InPlace(c.Data, codePage) == wanted) << c.Name << " in " << codePage << " (in place)";
    }
  }
}

TEST(BulkDecode, PlainAsciiIsWidenedUnitForUnit) {
  for (const size_t size : {size_t{1}, size_t{15}, size_t{16}, size_t{17}, size_t{4097}}) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i % 128);
    const std::wstring got = InPlace(bytes, 65001);
    ASSERT_EQ(got.size(), size);
    for (size_t i = 0; i < size; ++i) ASSERT_EQ(got[i], static_cast<wchar_t>(i % 128)) << "at " << i;
  }
}

TEST(BulkDecode, UnknownCodePageFails) {
  const Bytes bytes = {'a', 'b', 'c'};
  wchar_t out[4] = {};
  SetLastError(0);
  EXPECT_EQ(DecodeBytes(out, bytes.data(), bytes.size(), 12345), -1);
  EXPECT_NE(GetLastError(), 0u);
}

}  // namespace
