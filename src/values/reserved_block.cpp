// Reserved address ranges for large arrays (see reserved_block.h).
#include "values/reserved_block.h"

#include <windows.h>

#include <cstdint>
#include <cstring>

namespace reserved_block {
namespace {

// The start of the range holds its size; the block follows, aligned for
// any field type.
struct Header {
  size_t ReservedBytes;
};
constexpr size_t kHeaderBytes = 64;
static_assert(sizeof(Header) <= kHeaderBytes);

// A new block's range: eight times what it holds, and at least 64 MB, so a
// doubling array moves rarely. Address space is plentiful on 64-bit Windows
// and a reservation takes no memory until pages are committed.
constexpr size_t kGrowthRoom = 8;
constexpr size_t kMinReservedBytes = 64 * 1024 * 1024;
constexpr size_t kGranularity = 64 * 1024;

Header* HeaderOf(void* block) { return reinterpret_cast<Header*>(static_cast<char*>(block) - kHeaderBytes); }

bool Commit(Header* header, size_t bytes) {
  return VirtualAlloc(header, kHeaderBytes + bytes, MEM_COMMIT, PAGE_READWRITE) != nullptr;
}

size_t RoundedUp(size_t bytes) { return (bytes + kGranularity - 1) / kGranularity * kGranularity; }

}  // namespace

void* Allocate(size_t bytes) {
  if (bytes > SIZE_MAX / kGrowthRoom - kGranularity - kHeaderBytes) return nullptr;
  const size_t needed = RoundedUp(kHeaderBytes + bytes);
  size_t reserved = RoundedUp(needed * kGrowthRoom);
  if (reserved < kMinReservedBytes) reserved = kMinReservedBytes;
  void* range = VirtualAlloc(nullptr, reserved, MEM_RESERVE, PAGE_NOACCESS);
  if (!range) {
    // Short of address space: a range of just the size asked for.
    reserved = needed;
    range = VirtualAlloc(nullptr, reserved, MEM_RESERVE, PAGE_NOACCESS);
    if (!range) return nullptr;
  }
  auto* header = static_cast<Header*>(range);
  if (!Commit(header, bytes)) {
    VirtualFree(range, 0, MEM_RELEASE);
    return nullptr;
  }
  header->ReservedBytes = reserved;
  return static_cast<char*>(range) + kHeaderBytes;
}

void* Resize(void* block, size_t oldBytes, size_t bytes) {
  if (!block) return Allocate(bytes);
  Header* header = HeaderOf(block);
  if (bytes <= header->ReservedBytes - kHeaderBytes) return Commit(header, bytes) ? block : nullptr;
  void* moved = Allocate(bytes);
  if (!moved) return nullptr;
  std::memcpy(moved, block, oldBytes < bytes ? oldBytes : bytes);
  Free(block);
  return moved;
}

void Free(void* block) {
  if (block) VirtualFree(HeaderOf(block), 0, MEM_RELEASE);
}

}  // namespace reserved_block
