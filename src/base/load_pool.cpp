// A bump allocator over large blocks taken from the heap and never returned.
#include "base/load_pool.h"

#include "base/base_state.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kBlockSize = 64 * 1024;
constexpr size_t kAlignment = alignof(std::max_align_t);

}  // namespace

void* PoolAlloc(size_t bytes) {
  bytes = (bytes + kAlignment - 1) & ~(kAlignment - 1);
  if (bytes > kBlockSize / 4) {
    void* alone = std::calloc(1, bytes);
    if (!alone) throw std::bad_alloc();
    return alone;
  }
  if (bytes > Base().PoolLeft) {
    Base().PoolBlock = static_cast<char*>(std::calloc(1, kBlockSize));
    if (!Base().PoolBlock) throw std::bad_alloc();
    Base().PoolLeft = kBlockSize;
  }
  void* result = Base().PoolBlock;
  Base().PoolBlock += bytes;
  Base().PoolLeft -= bytes;
  return result;
}

wchar_t* PoolCopy(std::wstring_view text) {
  auto* copy = static_cast<wchar_t*>(PoolAlloc((text.size() + 1) * sizeof(wchar_t)));
  if (!text.empty()) std::memcpy(copy, text.data(), text.size() * sizeof(wchar_t));
  copy[text.size()] = L'\0';
  return copy;
}
