// Whole-buffer decoding (see bulk_decode.h).
//
// Why decoding in place is safe: output unit j never comes from a byte
// before input byte j (no code page makes more units than bytes), so with
// the input starting count bytes or more after the output, every unit is
// written below the bytes not yet read. The converter gets each piece as a
// copy, since it may not read and write the same memory.
#include "system/bulk_decode.h"

#include <windows.h>
#include <emmintrin.h>

#include <cstring>
#include <memory>

namespace {

// A piece handed to the converter ends with this many ASCII bytes in a
// row: more than any character's sequence is long, and the rest of the run
// is widened directly.
constexpr size_t kAsciiTail = 8;

// How the bytes of a code page can be cut into pieces.
enum class Layout {
  Utf8,        // ASCII maps to itself; a piece may end after any ASCII byte
  SingleByte,  // ASCII maps to itself; every byte is a character
  AsciiLead,   // ASCII maps to itself up to the first other byte, after which bytes pair up
  Opaque,      // none of the above is known: one conversion of everything
};

// Code pages (inclusive ranges) whose bytes below 0x80 are ASCII.
struct CodePageRange {
  uint32_t First;
  uint32_t Last;
  Layout Kind;
};
constexpr CodePageRange kLayouts[] = {
    {437, 437, Layout::SingleByte},     {737, 737, Layout::SingleByte},     {775, 775, Layout::SingleByte},
    {850, 850, Layout::SingleByte},     {852, 852, Layout::SingleByte},     {855, 855, Layout::SingleByte},
    {857, 858, Layout::SingleByte},     {860, 866, Layout::SingleByte},     {869, 869, Layout::SingleByte},
    {874, 874, Layout::SingleByte},     {932, 932, Layout::AsciiLead},      {936, 936, Layout::AsciiLead},
    {949, 949, Layout::AsciiLead},      {950, 950, Layout::AsciiLead},      {1250, 1258, Layout::SingleByte},
    {20127, 20127, Layout::SingleByte}, {28591, 28599, Layout::SingleByte}, {28603, 28603, Layout::SingleByte},
    {28605, 28605, Layout::SingleByte}, {54936, 54936, Layout::AsciiLead},  {65001, 65001, Layout::Utf8},
};

// The layout of a code page the system can decode; Opaque for the rest,
// which then fail in the converter as they always did.
Layout LayoutOf(uint32_t codePage) {
  for (const CodePageRange& range : kLayouts)
    if (codePage >= range.First && codePage <= range.Last)
      return IsValidCodePage(codePage) ? range.Kind : Layout::Opaque;
  return Layout::Opaque;
}

// Widens the ASCII bytes at the start of in[0, count) into out; returns how
// many there were. Sixteen bytes are loaded before their 32 are stored,
// which keeps the in-place case safe.
size_t WidenAscii(wchar_t* out, const uint8_t* in, size_t count) {
  size_t i = 0;
  const __m128i zero = _mm_setzero_si128();
  for (; i + 16 <= count; i += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    if (_mm_movemask_epi8(bytes)) break;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi8(bytes, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), _mm_unpackhi_epi8(bytes, zero));
  }
  for (; i < count && in[i] < 0x80; ++i) out[i] = in[i];
  return i;
}

// The length of the piece starting at in (a non-ASCII byte): up to and
// including the first kAsciiTail ASCII bytes in a row, or all of it. The
// converter ends a character cut short by the end of its input differently
// from one cut short by the next byte, so a piece never ends where a
// character that started in it could still be going on.
size_t PieceLength(const uint8_t* in, size_t count, Layout layout) {
  if (layout != Layout::Utf8 && layout != Layout::SingleByte) return count;
  size_t run = 0;
  for (size_t i = 0; i < count; ++i) {
    run = in[i] < 0x80 ? run + 1 : 0;
    if (run == kAsciiTail) return i + 1;
  }
  return count;
}

}  // namespace

ptrdiff_t DecodeBytes(wchar_t* out, const uint8_t* in, size_t count, uint32_t codePage) {
  const Layout layout = LayoutOf(codePage);
  std::unique_ptr<uint8_t[]> copy;
  size_t copyBytes = 0;
  size_t taken = 0, made = 0;
  while (taken < count) {
    if (layout != Layout::Opaque) {
      const size_t ascii = WidenAscii(out + made, in + taken, count - taken);
      taken += ascii;
      made += ascii;
      if (taken == count) break;
    }
    const size_t piece = PieceLength(in + taken, count - taken, layout);
    if (piece > copyBytes) {
      copy.reset(new (std::nothrow) uint8_t[piece]);
      if (!copy) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return -1;
      }
      copyBytes = piece;
    }
    std::memcpy(copy.get(), in + taken, piece);
    const int units = MultiByteToWideChar(codePage, 0, reinterpret_cast<const char*>(copy.get()),
                                          static_cast<int>(piece), out + made, static_cast<int>(piece));
    if (units <= 0) return -1;
    taken += piece;
    made += static_cast<size_t>(units);
  }
  return static_cast<ptrdiff_t>(made);
}
