#include <sys/mman.h>

#include <cstdint>
#include <new>

#include "framework/compact_tree.h"

namespace zsepa::framework {
namespace {

constexpr size_t kHugePage = 2u << 20;

// What a block of `size` bytes maps: whole huge pages from a huge page on.
size_t Mapped(size_t size) {
  return size >= kHugePage ? (size + kHugePage - 1) & ~(kHugePage - 1) : size;
}

}  // namespace

// Blocks of a huge page or more start on a huge-page boundary and are marked
// for huge pages (where the system has them), so that filling one costs a
// few page faults instead of one per 4 KiB; only the tree's own mappings are
// marked, the process's allocator is left as it is.
void* ArenaBlock(size_t size) {
  const bool huge = size >= kHugePage;
  size = Mapped(size);
  void* memory =
      ::mmap(nullptr, huge ? size + kHugePage : size, PROT_READ | PROT_WRITE,
             MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (memory == MAP_FAILED) throw std::bad_alloc();
  if (!huge) return memory;
  auto* start = static_cast<char*>(memory);
  const auto address = reinterpret_cast<uintptr_t>(start);
  const size_t lead = (kHugePage - address % kHugePage) % kHugePage;
  // Unmapping the unaligned ends cannot fail in a way that matters: at worst
  // they stay mapped, unused.
  if (lead > 0) ::munmap(start, lead);
  ::munmap(start + lead + size, kHugePage - lead);
#ifdef MADV_HUGEPAGE
  ::madvise(start + lead, size, MADV_HUGEPAGE);  // advice only
#endif
  return start + lead;
}

void FreeArenaBlock(void* block, size_t size) noexcept {
  ::munmap(block, Mapped(size));
}

}  // namespace zsepa::framework
