// Memory for large arrays that grow by doubling. A block's address range is
// reserved well beyond its size, so growing commits more pages where the
// block already is: no copy of the whole array into fresh memory, whose
// every page the system would have to supply again.
#pragma once
#include <cstddef>

namespace reserved_block {

// Arrays of at least this many bytes are worth a block of their own.
inline constexpr size_t kMinBytes = 256 * 1024;

// A block of `bytes` usable bytes, or null when memory runs out.
void* Allocate(size_t bytes);
// The block with room for `bytes`, in place while its reserved range
// suffices, else moved with its first min(oldBytes, bytes) bytes. Null when
// memory runs out; the block is then left as it was.
void* Resize(void* block, size_t oldBytes, size_t bytes);
// Gives the block's whole range back; null is allowed.
void Free(void* block);

}  // namespace reserved_block
