// Reserved blocks keep their contents however they grow or shrink, grow in
// place while their range suffices, and move with their contents beyond it.
#include "values/reserved_block.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace {

void Fill(void* block, size_t bytes) {
  auto* words = static_cast<uint64_t*>(block);
  for (size_t i = 0; i < bytes / sizeof(uint64_t); ++i) words[i] = i * 2654435761u;
}

bool Holds(const void* block, size_t bytes) {
  const auto* words = static_cast<const uint64_t*>(block);
  for (size_t i = 0; i < bytes / sizeof(uint64_t); ++i)
    if (words[i] != i * 2654435761u) return false;
  return true;
}

}  // namespace

TEST(ReservedBlock, GrowsInPlaceAndKeepsItsContents) {
  const size_t first = reserved_block::kMinBytes;
  void* block = reserved_block::Allocate(first);
  ASSERT_NE(block, nullptr);
  Fill(block, first);
  void* grown = reserved_block::Resize(block, first, first * 4);
  ASSERT_EQ(grown, block);  // well within the reserved range
  EXPECT_TRUE(Holds(grown, first));
  Fill(grown, first * 4);  // the new part is committed and writable
  EXPECT_TRUE(Holds(grown, first * 4));
  void* shrunk = reserved_block::Resize(grown, first * 4, first);
  ASSERT_NE(shrunk, nullptr);
  EXPECT_TRUE(Holds(shrunk, first));
  reserved_block::Free(shrunk);
}

TEST(ReservedBlock, MovesWithItsContentsBeyondItsRange) {
  const size_t first = reserved_block::kMinBytes;
  void* block = reserved_block::Allocate(first);
  ASSERT_NE(block, nullptr);
  Fill(block, first);
  // Far past any range made for the first size.
  const size_t large = 1024u * 1024u * 1024u;
  void* moved = reserved_block::Resize(block, first, large);
  ASSERT_NE(moved, nullptr);
  EXPECT_TRUE(Holds(moved, first));
  static_cast<char*>(moved)[large - 1] = 1;  // the whole size is usable
  reserved_block::Free(moved);
}

TEST(ReservedBlock, ImpossibleSizesFailWithoutHarm) {
  EXPECT_EQ(reserved_block::Allocate(SIZE_MAX / 2), nullptr);
  void* block = reserved_block::Allocate(reserved_block::kMinBytes);
  ASSERT_NE(block, nullptr);
  Fill(block, reserved_block::kMinBytes);
  EXPECT_EQ(reserved_block::Resize(block, reserved_block::kMinBytes, SIZE_MAX / 2), nullptr);
  EXPECT_TRUE(Holds(block, reserved_block::kMinBytes));  // left as it was
  reserved_block::Free(block);
  reserved_block::Free(nullptr);
}
