// The load-time pool: memory for records that live until the process ends
// (script lines, argument records, labels, copied texts). Nothing taken from
// it is ever freed, so allocation is a pointer bump.
#pragma once
#include <cstddef>
#include <new>
#include <string_view>

// Returns zeroed memory aligned for any record; never null (throws
// std::bad_alloc only when the system is out of memory).
void* PoolAlloc(size_t bytes);

// A zero-terminated copy of the text in the pool.
wchar_t* PoolCopy(std::wstring_view text);

// Constructs a record in the pool.
template <typename T, typename... Args>
T* PoolNew(Args&&... args) {
  return new (PoolAlloc(sizeof(T))) T(static_cast<Args&&>(args)...);
}

// An array of default-constructed records in the pool.
template <typename T>
T* PoolNewArray(size_t count) {
  T* items = static_cast<T*>(PoolAlloc(sizeof(T) * (count ? count : 1)));
  for (size_t i = 0; i < count; ++i) new (items + i) T();
  return items;
}
